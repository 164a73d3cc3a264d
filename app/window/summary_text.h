// The window's Russian form of a run's summary (the command line keeps its English one).
#pragma once

#include <QString>

#include "convert/catalogue.h"

namespace picsheet {

// "Ячеек: 9, изображений сохранено: 8, ..." with every count of summary.
QString SummaryText(const CatalogueSummary& summary);

}  // namespace picsheet
