// Runs conversions off the window's thread and reports them back to it by queued signals.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "app/core/collection_run.h"
#include "app/core/run_flow.h"

class QThread;

namespace picsheet {

// What a run that kept going left out: a picture of a saved page, or a whole catalogue whose
// page could not be had.
struct LeftOutItem {
  std::string source;  // the catalogue's source
  Error error;
  bool wholeCatalogue = false;
};

// How a run ended: the window's state as the run left it, and the pages or the error.
struct RunOutcome {
  RunState state;
  bool succeeded = false;
  std::size_t catalogues = 0;           // how many the run was given
  std::vector<std::string> savedPages;  // in the order of the catalogues, also when it failed
  CatalogueSummary total;               // the saved pages' counts added up
  std::vector<LeftOutItem> leftOut;     // in the order of the catalogues
  std::string error;                    // the error's message as raised, when it failed
  ErrorKind errorKind = ErrorKind::kOther;
  std::string detail;        // DescribeFailure of that error: the picture, address and reason
  std::string failedSource;  // the source of the catalogue under way when it failed
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

  // Starts RunCollection(request, items, state) unless a run is going; returns whether it
  // started. One catalogue runs as a single conversion does: a page it cannot have ends the run
  // with its error even when the run keeps going. Exceptions of the run never leave its thread:
  // they end it with Ended. Window thread only.
  bool Start(RunRequest request, std::vector<CollectionItem> items, RunState state);
  // From Start until Ended has been delivered on the window's thread.
  bool IsRunning() const;
  // Asks the run going to stop: its transfers, turns and writes end at once and it ends with
  // "Interrupted", leaving the output folder as it was. Window thread only.
  void Cancel() { stop_.request_stop(); }

 signals:
  // Catalogue index (from 0) of count begins; what follows until the next one concerns it.
  void CatalogueStarted(int index, int count);
  // Its page is saved at pagePath.
  void CatalogueSaved(int index, const QString& pagePath);
  void LinesCleared();
  // One output line, its bytes as the converter made them.
  void LineAppended(const QByteArray& line);
  void StatusChanged(const QString& status);
  // Pictures of the current catalogue saved so far out of its total.
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
