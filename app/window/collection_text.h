// The window's texts for a run of several catalogues: the catalogue's place, the names the
// pages are saved under, and what a run that failed or kept going left out.
#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <vector>

#include "app/core/collection_run.h"
#include "app/window/run_worker.h"

namespace picsheet {

// Catalogue index (from 0) of count, as the status bar shows it: "Каталог k из n".
QString CataloguePlace(int index, int count);

// The save names of the plan's pages, ", "-joined.
QString PlannedNames(const CollectionPlan& plan);

// One line per catalogue, its source and the name its page is saved under, then the plan's
// notes.
QString PlanDetails(const CollectionPlan& plan);

// The plan's notes on one line, "; "-joined; empty when it has none.
QString PlanNotes(const CollectionPlan& plan);

// A text about one catalogue of several: "SOURCE: TEXT".
QString AboutCatalogue(const std::string& source, const QString& text);

// What the window lists after a run that kept going: the box's text, its informative text and
// one line per picture or catalogue left out. A single catalogue's pictures are listed as they
// always were; of several, each line names its catalogue's source.
struct LeftOutReport {
  QString text;
  QString informative;
  QStringList lines;
};
LeftOutReport DescribeLeftOut(const std::vector<LeftOutItem>& leftOut, std::size_t catalogues);

}  // namespace picsheet
