// ConvertCatalogue: the layout step, then the HTML writer over the sheet it gives.
#include "convert/catalogue.h"

#include <utility>

#include "convert/html_writer.h"
#include "convert/sheet_layout.h"

namespace picsheet {

void ConvertCatalogue(CatalogueView& view, PictureLocaliser& localiser,
                      const CatalogueOptions& options, std::string pageText,
                      CatalogueSummary* summary) {
  ConvertSheet(view, localiser, options, LayOutSheet(std::move(pageText), options), summary);
}

void ConvertSheet(CatalogueView& view, PictureLocaliser& localiser, const CatalogueOptions& options,
                  const Sheet& sheet, CatalogueSummary* summary) {
  localiser.Plan(sheet);
  CatalogueSummary counts;
  WriteHtmlSheet(sheet, view, localiser, options.keepGoing, summary != nullptr ? *summary : counts);
}

}  // namespace picsheet
