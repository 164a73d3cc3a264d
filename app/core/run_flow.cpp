// RunConversion: load, name, convert with the pictures from the run's queue, stage and save.
#include "app/core/run_flow.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/core/digit_pictures.h"
#include "app/core/memory_budget.h"
#include "app/core/memory_tuning.h"
#include "app/core/page_file.h"
#include "app/core/picture_queue.h"
#include "app/core/run_output.h"
#include "app/core/session_name.h"
#include "base/error.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "convert/source.h"
#include "images/localise.h"
#include "web/answer_cache.h"
#include "web/transfer_engine.h"

namespace picsheet {
namespace {

// JPEG streams begin with the SOI marker; an answer that does not is abandoned at its first
// bytes, which give the same "JPEG error #53" the whole of it would.
constexpr char kJpegStart[] = "\xFF\xD8";

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

// The converter's localiser: told the sheet, it starts the run's queue on the sheet's pictures;
// then every picture is taken from the queue by its place, saved in its turn, and counted for the
// view. A stopped run goes no further than the picture under way.
class RunLocaliser final : public PictureLocaliser {
 public:
  using QueueStart = std::function<std::unique_ptr<PictureQueue>(std::vector<std::string>)>;
  RunLocaliser(const SessionFolder& folder, QueueStart start, RunView& view)
      : folder_(folder), start_(std::move(start)), view_(view) {}

  void Plan(const Sheet& sheet) override {
    std::vector<std::string> addresses;
    addresses.reserve(sheet.pictures.size());
    for (const PictureSlot& slot : sheet.pictures) addresses.push_back(slot.address);
    total_ = static_cast<int>(addresses.size());
    view_.PictureProgress(0, total_);
    queue_ = start_(std::move(addresses));
  }

  SavedPicture LocaliseImage(const Sheet& sheet, std::size_t slot,
                             long double printedHeight) override {
    if (folder_.stop.stop_requested()) {
      throw InterruptedError();
    }
    const PictureSlot& picture = sheet.pictures[slot];
    SavedPicture saved{{}, printedHeight};
    saved.path =
        LocalisePreparedImage(folder_, picture.address, sheet.cellWidth, saved.printedHeight,
                              sheet.orientation, sheet.rotationAngle, picture.Name(),
                              [this, slot](const std::string&, std::int32_t, std::int32_t) {
                                return queue_->Take(slot);
                              });
    view_.PictureProgress(++saved_, total_);
    return saved;
  }

  // Ends what the queue still has under way (downloads, then workers) and waits for it.
  void EndQueue() { queue_.reset(); }

 private:
  const SessionFolder& folder_;
  QueueStart start_;
  RunView& view_;
  std::unique_ptr<PictureQueue> queue_;
  int total_ = 0;
  int saved_ = 0;
};

// The smaller of two answer limits, where 0 means none.
std::size_t LowerLimit(std::size_t asked, std::size_t machine) {
  return asked == 0 ? machine : std::min(asked, machine);
}

PictureQueueSettings QueueSettings(const RunRequest& request, const RunMemoryLimits& limits,
                                   const AddressResolver& page) {
  PictureQueueSettings settings;
  settings.orientation = OrientationCode(request.options.orientation);
  settings.rotationAngle = TurnAngle(request.options.turn);
  settings.threads = request.threads;
  settings.budgetBytes = limits.budgetBytes;
  settings.fetch = request.fetch;
  settings.fetch.maxBodyBytes = LowerLimit(request.fetch.maxBodyBytes, limits.pictureBytes);
  settings.fetch.expectedStart = kJpegStart;
  // Hosts that refuse hot-linked pictures want to see the page they are shown on, as browsers say.
  if (!page.ForLocalFiles()) settings.fetch.referringPage = page.page();
  return settings;
}

// The source page, held to the page's limit. A log-in or consent page, an empty answer or a 204
// is no catalogue: converting it would write an empty page over the collector's earlier one and
// call that a success, so the run ends here, before anything is written.
LoadedPage LoadCataloguePage(const RunRequest& request, const RunMemoryLimits& limits,
                             TransferEngine& engine) {
  FetchOptions pageFetch = request.fetch;
  pageFetch.maxBodyBytes = LowerLimit(request.fetch.maxBodyBytes, limits.pageBytes);
  pageFetch.bodyName = "the page";
  LoadedPage page = LoadSource(request.source, pageFetch, &engine);
  if (!HasCatalogueTitle(page.text)) {
    throw Error(ErrorKind::kNoCatalogue, messages::NoCatalogue(page.shownName),
                page.shownName + ": " + page.answer);
  }
  return page;
}

std::string ConvertAndSave(const RunRequest& request, RunState& state, RunView& view,
                           std::stop_source& runStop) {
  const RunMemoryLimits limits = CurrentMemoryLimits();
  // Answers of earlier runs, asked after again rather than downloaded again; it outlives the
  // engine, which the queue below ends.
  std::optional<AnswerCache> cache;
  if (!request.cacheFolder.empty()) cache.emplace(request.cacheFolder, request.cacheBytes);
  // One engine for the page and its pictures: they share connections, and the run's one stop.
  auto engine = std::make_unique<TransferEngine>(request.jobs, runStop.get_token(),
                                                 cache ? &*cache : nullptr);

  // The page lives for this run only: it is laid out once and never needed afterwards.
  LoadedPage page = LoadCataloguePage(request, limits, *engine);
  state.sessionName =
      request.saveName.empty() ? DeriveSessionName(request.source) : request.saveName;

  // Taken before anything is downloaded: a second run of this name fails here, at once.
  RunOutput output(request.programFolder, state.sessionName);

  const PictureQueueSettings settings = QueueSettings(request, limits, page.addresses);
  // Started on the sheet's pictures once it is laid out and before anything is written, so the
  // downloads and the picture work run ahead of the converter while it saves those already there.
  const auto startQueue = [&](std::vector<std::string> addresses) {
    return std::make_unique<PictureQueue>(std::move(addresses), std::move(page.addresses), settings,
                                          std::move(engine), runStop.get_token());
  };

  RecordingView recorder(view);
  SessionFolder folder{
      request.programFolder,  state.sessionName,
      output.stagingFolder(), [&output](const std::string& name) { output.Staged(name); },
      runStop.get_token(),    output.stagingError()};
  RunLocaliser localiser(folder, startQueue, view);
  state.summary = CatalogueSummary{};
  try {
    ConvertCatalogue(recorder, localiser, request.options, std::move(page.text), &state.summary);
    localiser.EndQueue();
    // A stop after the last picture still leaves the folder as it was.
    if (request.stop.stop_requested()) throw InterruptedError();
  } catch (...) {
    // Whatever ended the run ends every transfer, pause and worker with it, now.
    runStop.request_stop();
    localiser.EndQueue();
    // A picture that failed ends the run with the pictures saved before it in place; a stopped
    // run leaves the folder as it was (the output's destructor drops the staging).
    if (request.stop.stop_requested()) {
      output.Discard();
    } else {
      try {
        output.Commit();
      } catch (const Error&) {
        // The picture's error is the one the user needs; this one can only repeat the cause.
      }
      output.RemoveEmptyPictureFolder();
    }
    throw;
  }
  try {
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
  } catch (...) {
    output.RemoveEmptyPictureFolder();  // a failed run leaves no empty folder of its own making
    throw;
  }
}

}  // namespace

std::string RunConversion(const RunRequest& request, RunState& state, RunView& view) {
  KeepLargeBuffersOutOfTheHeap();
  std::stop_source runStop;
  std::stop_callback userStop(request.stop, [&runStop] { runStop.request_stop(); });
  try {
    return ConvertAndSave(request, state, view, runStop);
  } catch (const Error&) {
    // Whatever a stopped run ended with, the user asked for the stop.
    if (request.stop.stop_requested()) throw InterruptedError();
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
