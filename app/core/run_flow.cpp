#include "app/core/run_flow.h"

#include <memory>
#include <vector>

#include "app/core/memory_tuning.h"
#include "app/core/page_file.h"
#include "app/core/picture_pipeline.h"
#include "app/core/picture_plan.h"
#include "app/core/picture_prefetcher.h"
#include "app/core/session_name.h"
#include "convert/source.h"
#include "images/localise.h"

namespace picsheet {
namespace {

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

// Reports every saved picture to the view.
class CountingLocaliser final : public PictureLocaliser {
 public:
  CountingLocaliser(PictureLocaliser& inner, RunView& view, int total)
      : inner_(inner), view_(view), total_(total) {}
  std::string LocaliseImage(const std::string& pictureUrl, const long double& cellWidth,
                            long double& printedHeight, std::int32_t orientation,
                            std::int32_t rotationAngle, std::string pictureName) override {
    std::string path = inner_.LocaliseImage(pictureUrl, cellWidth, printedHeight, orientation,
                                            rotationAngle, std::move(pictureName));
    view_.PictureProgress(++saved_, total_);
    return path;
  }

 private:
  PictureLocaliser& inner_;
  RunView& view_;
  int total_;
  int saved_ = 0;
};

// The localiser of one run. With more than one picture thread the pictures are prepared ahead on
// a pipeline that takes its bodies from fetch; with one, each is fetched and prepared when the
// converter reaches it.
std::unique_ptr<PictureLocaliser> PictureLocaliserFor(const RunRequest& request,
                                                      const SessionFolder& folder,
                                                      const std::vector<std::string>& plan,
                                                      PictureFetch fetch,
                                                      std::unique_ptr<PicturePipeline>& pipeline) {
  if (request.threads <= 1 || plan.size() <= 1) {
    return std::make_unique<ImageLocaliser>(folder, std::move(fetch));
  }
  pipeline = std::make_unique<PicturePipeline>(plan, request.options.orientation,
                                               request.options.rotationAngle, request.threads,
                                               std::move(fetch), request.fetch);
  PicturePipeline& prepared = *pipeline;
  return std::make_unique<PreparedImageLocaliser>(
      folder,
      [&prepared](const std::string& url, std::int32_t orientation, std::int32_t rotationAngle) {
        return prepared.Take(url, orientation, rotationAngle);
      });
}

}  // namespace

std::string RunConversion(const RunRequest& request, RunState& state, RunView& view) {
  KeepLargeBuffersOutOfTheHeap();
  LoadSource(request.source, state.pageText, request.fetch);
  state.sessionName =
      request.saveName.empty() ? DeriveSessionName(request.source) : request.saveName;

  // The addresses are known before anything is written, so the downloads can run ahead of the
  // converter while it turns and saves the pictures already there.
  std::vector<std::string> addresses = PlanPictureAddresses(request.options, state.pageText);
  const int total = static_cast<int>(addresses.size());
  view.PictureProgress(0, total);

  HttpClient client(request.fetch);  // one by one: a single kept-alive connection
  std::unique_ptr<PicturePrefetcher> prefetcher;
  PictureFetch fetch = [&client](const std::string& url) { return client.Get(url); };
  if (request.jobs > 1 && total > 1) {
    prefetcher = std::make_unique<PicturePrefetcher>(addresses, request.jobs, request.fetch);
    fetch = [&prefetcher](const std::string& url) { return prefetcher->Take(url); };
  }

  RecordingView recorder(view);
  const SessionFolder folder{request.programFolder, state.sessionName};
  // Declared after the prefetcher and the client it takes bodies from, so it ends before them.
  std::unique_ptr<PicturePipeline> pipeline;
  std::unique_ptr<PictureLocaliser> images =
      PictureLocaliserFor(request, folder, addresses, fetch, pipeline);
  CountingLocaliser localiser(*images, view, total);
  state.summary = CatalogueSummary{};
  ConvertCatalogue(recorder, localiser, request.options, state.pageText, &state.summary);
  pipeline.reset();
  prefetcher.reset();

  const std::string outputPath = request.programFolder + state.sessionName + ".html";
  SavePage(outputPath, recorder.lines());
  return outputPath;
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
         Counted(summary.wrappersMoved, "wrapper moved to the end", "wrappers moved to the end");
}

}  // namespace picsheet
