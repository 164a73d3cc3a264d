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

// The run's view on the worker thread: hands everything to the window as signals.
class SignallingView final : public RunView {
 public:
  explicit SignallingView(RunWorker& worker) : worker_(worker) {}
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
};

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

bool RunWorker::Start(RunRequest request, RunState state) {
  if (running_) return false;
  WaitForThread();  // the previous run has sent its Ended; its thread is at most on its way out
  running_ = true;
  stop_ = std::stop_source();
  request.stop = stop_.get_token();
  thread_.reset(QThread::create([this, request = std::move(request), state = std::move(state)] {
    RunOutcome outcome;
    outcome.state = state;
    SignallingView view(*this);
    try {
      outcome.pagePath = RunConversion(request, outcome.state, view);
      outcome.succeeded = true;
    } catch (const Error& e) {
      outcome.error = e.what();
      outcome.errorKind = e.kind();
      outcome.detail = DescribeFailure(e);
    } catch (const std::bad_alloc&) {
      const Error e = OutOfMemoryError();
      outcome.error = e.what();
      outcome.errorKind = e.kind();
      outcome.detail = DescribeFailure(e);
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
