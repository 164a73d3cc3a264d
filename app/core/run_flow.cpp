// RunConversion: load, name, convert with prefetched pictures, stage and save; FormatSummary.
#include "app/core/run_flow.h"

#include <atomic>
#include <memory>
#include <vector>

#include "app/core/digit_pictures.h"
#include "app/core/memory_budget.h"
#include "app/core/memory_tuning.h"
#include "app/core/page_file.h"
#include "app/core/picture_pipeline.h"
#include "app/core/picture_plan.h"
#include "app/core/picture_prefetcher.h"
#include "app/core/run_output.h"
#include "app/core/session_name.h"
#include "base/error.h"
#include "base/file_system_name.h"
#include "base/messages.h"
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

bool IsCancelled(const RunRequest& request) {
  return request.fetch.cancelled != nullptr && request.fetch.cancelled->load();
}

void ThrowIfCancelled(const RunRequest& request) {
  if (IsCancelled(request)) throw Error(messages::kInterrupted);
}

// Reports every saved picture to the view; a cancelled run stops before the next picture. A
// picture that fails while the run is being cancelled failed because of the cancelling, not
// because it cannot be had: its error ends the run even when the run keeps going past pictures.
class CountingLocaliser final : public PictureLocaliser {
 public:
  CountingLocaliser(PictureLocaliser& inner, RunView& view, int total, const RunRequest& request)
      : inner_(inner), view_(view), total_(total), request_(request) {}
  std::string LocaliseImage(const std::string& pictureUrl, const long double& cellWidth,
                            long double& printedHeight, std::int32_t orientation,
                            std::int32_t rotationAngle, std::string pictureName) override {
    ThrowIfCancelled(request_);
    std::string path;
    try {
      path = inner_.LocaliseImage(pictureUrl, cellWidth, printedHeight, orientation, rotationAngle,
                                  std::move(pictureName));
    } catch (Error& error) {
      if (IsCancelled(request_)) error.SetUndelivered(false);
      throw;
    }
    view_.PictureProgress(++saved_, total_);
    return path;
  }

 private:
  PictureLocaliser& inner_;
  RunView& view_;
  int total_;
  const RunRequest& request_;
  int saved_ = 0;
};

// The localiser of one run. With more than one picture thread the pictures are prepared ahead on
// a pipeline that takes its bodies from fetch; with one, each is fetched and prepared when the
// converter reaches it.
std::unique_ptr<PictureLocaliser> PictureLocaliserFor(const RunRequest& request,
                                                      const FetchOptions& pictureFetch,
                                                      const SessionFolder& folder,
                                                      const std::vector<std::string>& plan,
                                                      PictureFetch fetch,
                                                      std::unique_ptr<PicturePipeline>& pipeline) {
  if (request.threads <= 1 || plan.size() <= 1) {
    return std::make_unique<ImageLocaliser>(folder, std::move(fetch));
  }
  pipeline = std::make_unique<PicturePipeline>(plan, request.options.orientation,
                                               request.options.rotationAngle, request.threads,
                                               std::move(fetch), pictureFetch);
  PicturePipeline& prepared = *pipeline;
  return std::make_unique<PreparedImageLocaliser>(
      folder,
      [&prepared](const std::string& url, std::int32_t orientation, std::int32_t rotationAngle) {
        return prepared.Take(url, orientation, rotationAngle);
      });
}

std::string ConvertAndSave(const RunRequest& request, RunState& state, RunView& view) {
  // The page lives for this run only: it is scanned twice here and never needed afterwards.
  std::string pageText;
  LoadSource(request.source, pageText, request.fetch);
  state.sessionName =
      request.saveName.empty() ? DeriveSessionName(request.source) : request.saveName;

  // Taken before anything is downloaded: a second run of this name fails here, at once.
  RunOutput output(request.programFolder, state.sessionName);

  // The addresses are known before anything is written, so the downloads can run ahead of the
  // converter while it turns and saves the pictures already there.
  std::vector<std::string> addresses = PlanPictureAddresses(request.options, pageText);
  const int total = static_cast<int>(addresses.size());
  view.PictureProgress(0, total);

  // A picture answer larger than the memory it may use ends with "Out of memory" rather than
  // exhausting the machine.
  FetchOptions pictureFetch = request.fetch;
  if (pictureFetch.maxBodyBytes == 0) {
    pictureFetch.maxBodyBytes = AnswerLimitBytes(PicturePrefetcher::kDefaultAheadBudget);
  }
  HttpClient client(pictureFetch);  // one by one: a single kept-alive connection
  std::unique_ptr<PicturePrefetcher> prefetcher;
  PictureFetch fetch = [&client](const std::string& url) { return client.Get(url); };
  if (request.jobs > 1 && total > 1) {
    prefetcher = std::make_unique<PicturePrefetcher>(addresses, request.jobs, pictureFetch);
    fetch = [&prefetcher](const std::string& url) { return prefetcher->Take(url); };
  }

  RecordingView recorder(view);
  const SessionFolder folder{request.programFolder, state.sessionName, output.stagingFolder(),
                             request.fetch.cancelled};
  // Declared after the prefetcher and the client it takes bodies from, so it ends before them.
  std::unique_ptr<PicturePipeline> pipeline;
  std::unique_ptr<PictureLocaliser> images =
      PictureLocaliserFor(request, pictureFetch, folder, addresses, fetch, pipeline);
  CountingLocaliser localiser(*images, view, total, request);
  state.summary = CatalogueSummary{};
  try {
    ConvertCatalogue(recorder, localiser, request.options, std::move(pageText), &state.summary);
    pipeline.reset();
    prefetcher.reset();
    ThrowIfCancelled(request);
  } catch (...) {
    pipeline.reset();
    prefetcher.reset();
    // A picture that failed ends the run with the pictures saved before it in place; an
    // interrupted run leaves the folder as it was (the output's destructor drops the staging).
    if (IsCancelled(request)) {
      output.Discard();
    } else {
      try {
        output.Commit();
      } catch (const Error&) {
        // The picture's error is the one the user needs; this one can only repeat the cause.
      }
    }
    throw;
  }
  output.Commit();

  // Captions refer to syriannums/N.png beside the page; the page itself stays as converted.
  if (request.options.digitCaptions) {
    ProvideDigitPictures(ShippedDigitFolder(), request.programFolder);
  }

  // Saved only once its pictures are in place.
  const std::string outputPath =
      request.programFolder + FileSystemName(state.sessionName + ".html");
  SavePage(outputPath, recorder.lines());
  return outputPath;
}

}  // namespace

std::string RunConversion(const RunRequest& request, RunState& state, RunView& view) {
  KeepLargeBuffersOutOfTheHeap();
  try {
    return ConvertAndSave(request, state, view);
  } catch (const Error&) {
    // A cancelled transfer ends as "Cannot open URL"; the user asked for the stop.
    if (IsCancelled(request)) throw Error(messages::kInterrupted);
    throw;
  }
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
