// The converter's view and localiser as a run gives them: the lines kept for saving, the
// pictures taken from the run's queue.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/picture_queue.h"
#include "app/core/run_flow.h"
#include "convert/catalogue.h"
#include "images/localise.h"

namespace picsheet {

// Passes every line on to the user's view and keeps the run's own copy, which is what gets
// saved: the page's bytes never go through a widget's text.
class RecordingView final : public CatalogueView {
 public:
  explicit RecordingView(RunView& view) : view_(view) {}
  void ClearLines() override {
    lines_.clear();
    view_.ClearLines();
  }
  void AppendLine(std::string_view line) override {
    lines_.emplace_back(line);
    view_.AppendLine(line);
  }
  void SetStatus(std::string_view status) override { view_.SetStatus(status); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  RunView& view_;
  std::vector<std::string> lines_;
};

// Every picture of the sheet is taken from the queue by its place (the sheet's pictures were
// queued from firstInQueue on), saved in its turn, and counted for the view. A stopped run goes
// no further than the picture under way.
class RunLocaliser final : public PictureLocaliser {
 public:
  RunLocaliser(const SessionFolder& folder, PictureQueue& queue, std::size_t firstInQueue,
               RunView& view)
      : folder_(folder), queue_(queue), first_(firstInQueue), view_(view) {}

  void Plan(const Sheet& sheet) override;
  SavedPicture LocaliseImage(const Sheet& sheet, std::size_t slot,
                             long double printedHeight) override;

 private:
  const SessionFolder& folder_;
  PictureQueue& queue_;
  const std::size_t first_;
  RunView& view_;
  int total_ = 0;
  int saved_ = 0;
};

}  // namespace picsheet
