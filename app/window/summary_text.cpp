// SummaryText: the run's counts in the window's Russian words.
#include "app/window/summary_text.h"

namespace picsheet {

QString SummaryText(const CatalogueSummary& summary) {
  // "Name: count" needs no plural forms, which Russian would choose by the count's last digits.
  return QStringLiteral(
             "Ячеек: %1, изображений сохранено: %2, пустых ячеек для пропущенных номеров: %3, "
             "повторов в стопке: %4, повторов пропущено: %5, оберток перенесено в конец: %6, "
             "изображений не получено: %7")
      .arg(summary.cells)
      .arg(summary.pictures)
      .arg(summary.emptyCells)
      .arg(summary.stackedRepeats)
      .arg(summary.skippedRepeats)
      .arg(summary.wrappersMoved)
      .arg(summary.leftOut.size());
}

}  // namespace picsheet
