// RunConversion: a collection of one catalogue; FormatSummary.
#include "app/core/run_flow.h"

#include "app/core/collection_run.h"
#include "app/core/session_name.h"

namespace picsheet {
namespace {

// The collection's view for a run of one: its calls go to the single run's view as they are.
class SingleView final : public CollectionView {
 public:
  explicit SingleView(RunView& view) : view_(view) {}
  void ClearLines() override { view_.ClearLines(); }
  void AppendLine(std::string_view line) override { view_.AppendLine(line); }
  void SetStatus(std::string_view status) override { view_.SetStatus(status); }
  void PictureProgress(int saved, int total) override { view_.PictureProgress(saved, total); }

 private:
  RunView& view_;
};

}  // namespace

std::string RunConversion(const RunRequest& request, RunState& state, RunView& view) {
  const CollectionItem item{request.source, request.saveName.empty()
                                                ? DeriveSessionName(request.source)
                                                : request.saveName};
  SingleView single(view);
  return RunCollection(request, {item}, state, single).savedPages.front();
}

namespace {
std::string Counted(int count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}
}  // namespace

std::string FormatSummary(const CatalogueSummary& summary) {
  return Counted(summary.cells, "cell", "cells") + ", " +
         Counted(summary.pictures, "picture saved", "pictures saved") + ", " +
         Counted(summary.emptyCells, "empty cell for a missing number",
                 "empty cells for missing numbers") +
         ", " + Counted(summary.stackedRepeats, "repeat stacked", "repeats stacked") + ", " +
         Counted(summary.skippedRepeats, "repeat skipped", "repeats skipped") + ", " +
         Counted(summary.wrappersMoved, "wrapper moved to the end", "wrappers moved to the end") +
         ", " +
         Counted(static_cast<int>(summary.leftOut.size()), "picture left out", "pictures left out");
}

}  // namespace picsheet
