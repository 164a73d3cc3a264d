// PlanCollection and RunCollection: the catalogues of a collection and their run in turn.
#include "app/core/collection_run.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>
#include <utility>

#include "app/core/digit_pictures.h"
#include "app/core/error_message.h"
#include "app/core/memory_budget.h"
#include "app/core/memory_tuning.h"
#include "app/core/page_file.h"
#include "app/core/picture_queue.h"
#include "app/core/run_localiser.h"
#include "app/core/run_output.h"
#include "app/core/session_name.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "convert/sheet_layout.h"
#include "convert/source.h"
#include "web/answer_cache.h"
#include "web/transfer_engine.h"

namespace picsheet {
namespace {

// JPEG streams begin with the SOI marker; an answer that does not is abandoned at its first
// bytes, which give the same "JPEG error #53" the whole of it would.
constexpr char kJpegStart[] = "\xFF\xD8";

// The smaller of two answer limits, where 0 means none.
std::size_t LowerLimit(std::size_t asked, std::size_t machine) {
  return asked == 0 ? machine : std::min(asked, machine);
}

PictureQueueSettings QueueSettings(const RunRequest& request, const RunMemoryLimits& limits) {
  PictureQueueSettings settings;
  settings.orientation = OrientationCode(request.options.orientation);
  settings.rotationAngle = TurnAngle(request.options.turn);
  settings.threads = request.threads;
  settings.budgetBytes = limits.budgetBytes;
  settings.fetch = request.fetch;
  settings.fetch.maxBodyBytes = LowerLimit(request.fetch.maxBodyBytes, limits.pictureBytes);
  settings.fetch.expectedStart = kJpegStart;
  return settings;
}

// A catalogue whose page is loaded and laid out; its pictures are queued once first is set.
struct LaidOutCatalogue {
  Sheet sheet;
  AddressResolver addresses;
  FetchOptions pictureFetch;  // with the page as the pictures' Referer
  std::optional<std::size_t> first;
};

// The run of a collection: one answer store, one engine and one picture queue (one budget) for
// every catalogue; while a catalogue is written, the next one's page is loaded, laid out and its
// pictures queued on a thread of its own, so that the network never waits for the converter.
class CollectionRunner {
 public:
  CollectionRunner(const RunRequest& request, std::stop_source& runStop);
  // Ends the page loaded ahead, then the queue (downloads and workers), then the engine.
  ~CollectionRunner();
  CollectionRunner(const CollectionRunner&) = delete;
  CollectionRunner& operator=(const CollectionRunner&) = delete;

  CollectionOutcome Run(const std::vector<CollectionItem>& items, RunState& state,
                        CollectionView& view);

 private:
  // The source page, held to the page's limit, laid out. A log-in or consent page, an empty
  // answer or a 204 is no catalogue: converting it would write an empty page over the
  // collector's earlier one and call that a success, so it ends here, before anything is written.
  LaidOutCatalogue Load(const CollectionItem& item) const;
  void Queue(LaidOutCatalogue& catalogue);
  // Loads the item and queues its pictures on a thread of its own; Ahead() gives the result.
  void LoadAhead(const CollectionItem& item);
  LaidOutCatalogue Ahead();
  // Writes the catalogue's page from its pictures and saves it; returns its path. Once its
  // pictures are queued, the next item (when there is one) is loaded ahead.
  std::string Save(LaidOutCatalogue& catalogue, const CollectionItem* next, RunState& state,
                   RunView& view);
  // Stops every transfer, pause and worker of the run, and waits for them.
  void EndEverything();

  const RunRequest& request_;
  std::stop_source& runStop_;
  const RunMemoryLimits limits_;
  // Answers of earlier runs, asked after again rather than downloaded again; it outlives the
  // engine, which the queue ends.
  std::optional<AnswerCache> cache_;
  std::unique_ptr<TransferEngine> engine_;
  std::unique_ptr<PictureQueue> queue_;
  std::thread ahead_;
  std::optional<LaidOutCatalogue> aheadResult_;
  std::exception_ptr aheadError_;
};

CollectionRunner::CollectionRunner(const RunRequest& request, std::stop_source& runStop)
    : request_(request), runStop_(runStop), limits_(CurrentMemoryLimits()) {
  if (!request.cacheFolder.empty()) cache_.emplace(request.cacheFolder, request.cacheBytes);
  // The pages and their pictures share connections, and the run's one stop.
  engine_ = std::make_unique<TransferEngine>(request.jobs, runStop.get_token(),
                                             cache_ ? &*cache_ : nullptr);
  queue_ = std::make_unique<PictureQueue>(QueueSettings(request, limits_), *engine_,
                                          runStop.get_token());
}

CollectionRunner::~CollectionRunner() { EndEverything(); }

void CollectionRunner::EndEverything() {
  if (ahead_.joinable()) {
    runStop_.request_stop();
    ahead_.join();
  }
  queue_.reset();
}

LaidOutCatalogue CollectionRunner::Load(const CollectionItem& item) const {
  FetchOptions pageFetch = request_.fetch;
  pageFetch.maxBodyBytes = LowerLimit(request_.fetch.maxBodyBytes, limits_.pageBytes);
  pageFetch.bodyName = "the page";
  LoadedPage page = LoadSource(item.source, pageFetch, engine_.get());
  if (!HasCatalogueTitle(page.text)) {
    throw Error(ErrorKind::kNoCatalogue, messages::NoCatalogue(page.shownName),
                page.shownName + ": " + page.answer);
  }
  LaidOutCatalogue catalogue{LayOutSheet(std::move(page.text), request_.options),
                             std::move(page.addresses), QueueSettings(request_, limits_).fetch,
                             std::nullopt};
  // Hosts that refuse hot-linked pictures want to see the page they are shown on, as browsers say.
  if (!catalogue.addresses.ForLocalFiles()) {
    catalogue.pictureFetch.referringPage = catalogue.addresses.page();
  }
  return catalogue;
}

void CollectionRunner::Queue(LaidOutCatalogue& catalogue) {
  std::vector<std::string> addresses;
  addresses.reserve(catalogue.sheet.pictures.size());
  for (const PictureSlot& slot : catalogue.sheet.pictures) addresses.push_back(slot.address);
  catalogue.first = queue_->Append(std::move(addresses), std::move(catalogue.addresses),
                                   std::move(catalogue.pictureFetch));
}

void CollectionRunner::LoadAhead(const CollectionItem& item) {
  aheadResult_.reset();
  aheadError_ = nullptr;
  ahead_ = std::thread([this, &item] {
    try {
      LaidOutCatalogue catalogue = Load(item);
      Queue(catalogue);
      aheadResult_ = std::move(catalogue);
    } catch (...) {
      aheadError_ = std::current_exception();
    }
  });
}

LaidOutCatalogue CollectionRunner::Ahead() {
  ahead_.join();
  if (aheadError_) std::rethrow_exception(std::exchange(aheadError_, nullptr));
  LaidOutCatalogue catalogue = std::move(*aheadResult_);
  aheadResult_.reset();
  return catalogue;
}

std::string CollectionRunner::Save(LaidOutCatalogue& catalogue, const CollectionItem* next,
                                   RunState& state, RunView& view) {
  // Taken before anything of a page loaded now is downloaded: a second run of this name fails
  // here, at once.
  RunOutput output(request_.programFolder, state.sessionName);
  if (!catalogue.first) Queue(catalogue);
  // The next page comes after this one's pictures, and its own pictures after it.
  if (next != nullptr) LoadAhead(*next);

  RecordingView recorder(view);
  SessionFolder folder{
      request_.programFolder, state.sessionName,
      output.stagingFolder(), [&output](const std::string& name) { output.Staged(name); },
      runStop_.get_token(),   output.stagingError()};
  RunLocaliser localiser(folder, *queue_, *catalogue.first, view);
  try {
    ConvertSheet(recorder, localiser, request_.options, catalogue.sheet, &state.summary);
    // A stop after the last picture still leaves the folder as it was.
    if (request_.stop.stop_requested()) throw InterruptedError();
  } catch (...) {
    // Whatever ended the catalogue ends every transfer, pause and worker of the run, now.
    runStop_.request_stop();
    EndEverything();
    // A picture that failed ends the run with the pictures saved before it in place; a stopped
    // run leaves the folder as it was (the output's destructor drops the staging).
    if (request_.stop.stop_requested()) {
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
    if (request_.options.digitCaptions) {
      ProvideDigitPictures(ShippedDigitFolder(), request_.programFolder);
    }

    // Saved only once its pictures are in place.
    const std::string outputPath =
        request_.programFolder + FileSystemName(state.sessionName + ".html");
    SavePage(outputPath, recorder.lines());
    return outputPath;
  } catch (...) {
    output.RemoveEmptyPictureFolder();  // a failed run leaves no empty folder of its own making
    throw;
  }
}

CollectionOutcome CollectionRunner::Run(const std::vector<CollectionItem>& items, RunState& state,
                                        CollectionView& view) {
  CollectionOutcome outcome;
  // One catalogue alone is a single run: its page is needed, kept going or not.
  const bool mayLeaveOut = request_.options.keepGoing && items.size() > 1;
  bool loadedAhead = false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    view.CatalogueStarted(i, items.size(), items[i]);
    state.summary = CatalogueSummary{};
    std::optional<LaidOutCatalogue> catalogue;
    try {
      catalogue = loadedAhead ? Ahead() : Load(items[i]);
    } catch (const Error& e) {
      if (!mayLeaveOut || e.kind() == ErrorKind::kInterrupted) throw;
      loadedAhead = false;
      ++outcome.skipped;
      view.CatalogueSkipped(i, e);
      continue;
    }
    state.sessionName = items[i].saveName;
    const CollectionItem* next = i + 1 < items.size() ? &items[i + 1] : nullptr;
    const std::string page = Save(*catalogue, next, state, view);
    loadedAhead = next != nullptr;
    outcome.savedPages.push_back(page);
    AddSummary(outcome.total, state.summary);
    view.CatalogueSaved(i, page, state.summary);
  }
  return outcome;
}

}  // namespace

void AddSummary(CatalogueSummary& total, const CatalogueSummary& one) {
  total.cells += one.cells;
  total.pictures += one.pictures;
  total.emptyCells += one.emptyCells;
  total.stackedRepeats += one.stackedRepeats;
  total.skippedRepeats += one.skippedRepeats;
  total.wrappersMoved += one.wrappersMoved;
  total.leftOut.insert(total.leftOut.end(), one.leftOut.begin(), one.leftOut.end());
}

CollectionPlan PlanCollection(const std::vector<std::string>& sources,
                              const std::string& saveName) {
  CollectionPlan plan;
  std::set<std::string> given;
  std::set<std::string> taken;
  for (const std::string& source : sources) {
    // A note shows no password, and no line break pasted with a link.
    const std::string shown = SourceForDisplay(source);
    if (!given.insert(std::string(WithoutLinkBlanks(source))).second) {
      plan.notes.push_back(shown + " is given more than once; it is converted once");
      continue;
    }
    const std::string name = saveName.empty() ? DeriveSessionName(source) : saveName;
    std::string unique = name;
    for (int n = 2; !taken.insert(unique).second; ++n) unique = name + "-" + std::to_string(n);
    if (unique != name) {
      plan.notes.push_back(shown + " is saved as \"" + FileSystemName(unique) +
                           "\": an earlier source took \"" + FileSystemName(name) + "\"");
    }
    plan.items.push_back({source, std::move(unique)});
  }
  return plan;
}

CollectionOutcome RunCollection(const RunRequest& request, const std::vector<CollectionItem>& items,
                                RunState& state, CollectionView& view) {
  KeepLargeBuffersOutOfTheHeap();
  std::stop_source runStop;
  std::stop_callback userStop(request.stop, [&runStop] { runStop.request_stop(); });
  try {
    CollectionRunner runner(request, runStop);
    return runner.Run(items, state, view);
  } catch (const Error&) {
    // Whatever a stopped run ended with, the user asked for the stop.
    if (request.stop.stop_requested()) throw InterruptedError();
    throw;
  }
}

}  // namespace picsheet
