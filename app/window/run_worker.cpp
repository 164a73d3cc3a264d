// RunWorker: one run on a thread of its own, its view's calls and its end sent as signals.
#include "app/window/run_worker.h"

#include <QThread>
#include <exception>
#include <new>
#include <string_view>
#include <utility>

#include "app/core/error_message.h"
#include "base/error.h"
#include "base/messages.h"

namespace picsheet {
namespace {

// The run's view on the worker thread: hands everything to the window as signals, and notes
// in the outcome what the window shows once the run is over.
class SignallingView final : public CollectionView {
 public:
  SignallingView(RunWorker& worker, const std::vector<CollectionItem>& items, RunOutcome& outcome)
      : worker_(worker), items_(items), outcome_(outcome) {}

  void CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem& item) override {
    outcome_.failedSource = item.source;
    emit worker_.CatalogueStarted(static_cast<int>(index), static_cast<int>(count));
  }
  void CatalogueSaved(std::size_t index, const std::string& pagePath,
                      const CatalogueSummary& summary) override {
    outcome_.savedPages.push_back(pagePath);
    AddSummary(outcome_.total, summary);
    for (const Error& error : summary.leftOut) {
      outcome_.leftOut.push_back({items_.at(index).source, error, false});
    }
    emit worker_.CatalogueSaved(static_cast<int>(index), QString::fromStdString(pagePath));
  }
  void CatalogueSkipped(std::size_t index, const Error& error) override {
    outcome_.leftOut.push_back({items_.at(index).source, error, true});
  }

  void ClearLines() override { emit worker_.LinesCleared(); }
  void AppendLine(std::string_view line) override {
    emit worker_.LineAppended(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
  }
  // The converter's status texts are UTF-8 literals.
  void SetStatus(std::string_view status) override {
    emit worker_.StatusChanged(
        QString::fromUtf8(status.data(), static_cast<qsizetype>(status.size())));
  }
  void PictureProgress(int saved, int total) override { emit worker_.PicturesSaved(saved, total); }

 private:
  RunWorker& worker_;
  const std::vector<CollectionItem>& items_;
  RunOutcome& outcome_;
};

void NoteError(const Error& e, RunOutcome& outcome) {
  outcome.error = e.what();
  outcome.errorKind = e.kind();
  outcome.detail = DescribeFailure(e);
}

}  // namespace

RunWorker::RunWorker(QObject* parent) : QObject(parent) {
  qRegisterMetaType<picsheet::RunOutcome>();
  // Connected first, so the run counts as over for every receiver of Ended.
  connect(
      this, &RunWorker::Ended, this, [this] { running_ = false; }, Qt::QueuedConnection);
}

RunWorker::~RunWorker() {
  stop_.request_stop();
  WaitForThread();
}

bool RunWorker::IsRunning() const { return running_; }

void RunWorker::WaitForThread() {
  if (thread_ == nullptr) return;
  thread_->wait();
  thread_.reset();
}

bool RunWorker::Start(RunRequest request, std::vector<CollectionItem> items, RunState state) {
  if (running_) return false;
  WaitForThread();  // the previous run has sent its Ended; its thread is at most on its way out
  running_ = true;
  stop_ = std::stop_source();
  request.stop = stop_.get_token();
  thread_.reset(QThread::create([this, request = std::move(request), items = std::move(items),
                                 state = std::move(state)] {
    RunOutcome outcome;
    outcome.state = state;
    outcome.catalogues = items.size();
    SignallingView view(*this, items, outcome);
    try {
      RunCollection(request, items, outcome.state, view);
      // A single catalogue whose page cannot be had fails as it always has, with its message.
      if (items.size() == 1 && !outcome.leftOut.empty() && outcome.leftOut.back().wholeCatalogue) {
        const Error skipped = outcome.leftOut.back().error;
        outcome.leftOut.clear();
        throw skipped;
      }
      outcome.succeeded = true;
    } catch (const Error& e) {
      NoteError(e, outcome);
    } catch (const std::bad_alloc&) {
      NoteError(OutOfMemoryError(), outcome);
    } catch (const std::exception& e) {
      outcome.error = e.what();
    } catch (...) {
      outcome.error = messages::kUnknownError;
    }
    emit Ended(outcome);
  }));
  thread_->start();
  return true;
}

}  // namespace picsheet
