// Runs conversions off the window's thread and reports them back to it by queued signals.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <stop_token>
#include <string>

#include "app/core/run_flow.h"

class QThread;

namespace picsheet {

// How a run ended: the window's state as the run left it, and the page or the error.
struct RunOutcome {
  RunState state;
  bool succeeded = false;
  std::string pagePath;  // the saved page, when the run succeeded
  std::string error;     // the error's message as raised, when it failed
  ErrorKind errorKind = ErrorKind::kOther;
  std::string detail;  // DescribeFailure of that error: the picture, address and reason
};

// One run at a time on a thread of its own. Every signal is emitted on that thread and reaches
// receivers on the window's thread queued, in the order emitted: all lines and status texts of
// a run arrive before its Ended.
class RunWorker final : public QObject {
  Q_OBJECT
 public:
  explicit RunWorker(QObject* parent = nullptr);
  // Stops a run still going (as Cancel does) and waits for it: it writes no page and leaves the
  // output folder as it was.
  ~RunWorker() override;
  RunWorker(const RunWorker&) = delete;
  RunWorker& operator=(const RunWorker&) = delete;

  // Starts RunConversion(request, state) unless a run is going; returns whether it started.
  // Exceptions of the run never leave its thread: they end it with Ended. Window thread only.
  bool Start(RunRequest request, RunState state);
  // From Start until Ended has been delivered on the window's thread.
  bool IsRunning() const;
  // Asks the run going to stop: its transfers, turns and writes end at once and it ends with
  // "Interrupted", leaving the output folder as it was. Window thread only.
  void Cancel() { stop_.request_stop(); }

 signals:
  void LinesCleared();
  // One output line, its bytes as the converter made them.
  void LineAppended(const QByteArray& line);
  void StatusChanged(const QString& status);
  // Pictures saved so far out of the run's total.
  void PicturesSaved(int saved, int total);
  void Ended(const picsheet::RunOutcome& outcome);

 private:
  void WaitForThread();

  std::unique_ptr<QThread> thread_;
  bool running_ = false;
  std::stop_source stop_;
};

}  // namespace picsheet

Q_DECLARE_METATYPE(picsheet::RunOutcome)
