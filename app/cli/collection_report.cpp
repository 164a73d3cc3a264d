// CollectionReport: the lines picsheet-cli prints for each catalogue saved or left out.
#include "app/cli/collection_report.h"

#include <iostream>
#include <utility>

#include "app/core/error_message.h"
#include "base/windows1251.h"

namespace picsheet {

CollectionReport::CollectionReport(TerminalView& terminal, const std::vector<CollectionItem>& items,
                                   bool summaries)
    : terminal_(terminal), items_(items), summaries_(summaries), streaming_(items.size() > 1) {}

void CollectionReport::CatalogueStarted(std::size_t index, std::size_t count,
                                        const CollectionItem& item) {
  current_ = index;
  terminal_.CatalogueStarted(index, count, item);
}

void CollectionReport::CatalogueSaved(std::size_t, const std::string& pagePath,
                                      const CatalogueSummary& summary) {
  unreported_.push_back({pagePath, summary});
  if (streaming_) PrintSaved();
}

void CollectionReport::CatalogueSkipped(std::size_t, const Error& error) {
  leftOut_ = true;
  // The reason in words says more than the message, but for a page that holds no catalogue,
  // whose reason only describes the answer.
  const std::string reason = !error.reason().empty() && error.kind() != ErrorKind::kNoCatalogue
                                 ? error.reason()
                                 : MessageForDisplay(error.what());
  terminal_.EndLive();
  std::cerr << "skipped: " << CurrentSource() << ": " << Utf8OrWindows1251(reason) << std::endl;
}

void CollectionReport::PrintSaved() {
  terminal_.EndLive();
  for (const SavedPage& page : unreported_) {
    std::cout << page.path << '\n';
    // Scripts read the path lines; a person at a terminal also gets the counts.
    if (summaries_) std::cout << "summary: " << FormatSummary(page.summary) << '\n';
    std::cout.flush();
    for (const Error& error : page.summary.leftOut) {
      std::cerr << "skipped: " << DescribeFailure(error) << '\n';
    }
    leftOut_ = leftOut_ || !page.summary.leftOut.empty();
  }
  unreported_.clear();
}

std::string CollectionReport::CurrentSource() const {
  return SourceForDisplay(items_.at(current_).source);
}

}  // namespace picsheet
