// picsheet-cli: converts catalogue pages from a shell, each as the window's "Go!" does.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/cli_options.h"
#include "app/cli/collection_report.h"
#include "app/cli/pdf_export.h"
#include "app/cli/terminal_view.h"
#include "app/core/collection_run.h"
#include "app/core/error_message.h"
#include "app/core/run_flow.h"
#include "base/messages.h"
#include "base/windows1251.h"

namespace {

constexpr int kExitRunFailed = 1;
constexpr int kExitSavedWithPicturesLeftOut = 3;

// A message made here (paths, the system's texts) is UTF-8; one that carries an address copied
// from a page is Windows-1251, which the UTF-8 terminal gets as letters.
std::string ForTerminal(const std::string& message) { return picsheet::Utf8OrWindows1251(message); }

// The detail line (picture, address, reason), then the message as the last line, after the
// catalogue it concerns when the run has several.
void ReportFailure(const picsheet::Error& e, const std::string& catalogue = {}) {
  const std::string detail = picsheet::DescribeFailure(e);
  if (!detail.empty()) std::cerr << detail << '\n';
  std::cerr << "error: " << (catalogue.empty() ? "" : catalogue + ": ")
            << ForTerminal(picsheet::MessageForDisplay(e.what())) << '\n';
}

// Ctrl-C and SIGTERM end the run the way the window's Stop does: the run stops at once, drops
// what it staged and main exits with 128 + the signal's number. The signals are blocked in every
// thread and taken by a thread of its own with sigwait, so the stop is requested from ordinary
// code, not from a signal handler. Made before any other thread, which inherit the mask.
class StopOnSignals {
 public:
  StopOnSignals() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, kQuit);
    ::pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this] {
      int signal = 0;
      while (::sigwait(&signals_, &signal) == 0) {
        if (signal == kQuit) return;
        signal_ = signal;
        stop_.request_stop();
      }
    });
  }
  ~StopOnSignals() {
    ::pthread_kill(thread_.native_handle(), kQuit);
    thread_.join();
  }
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  std::stop_token token() const { return stop_.get_token(); }
  // The signal that stopped the run, 0 when none did.
  int signal() const { return signal_.load(); }

 private:
  static constexpr int kQuit = SIGUSR1;  // ends the signal thread when main is done
  sigset_t signals_;
  std::stop_source stop_;
  std::atomic<int> signal_{0};
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  picsheet::CliRequest cli;
  if (const std::optional<int> status = picsheet::ParseCommandLine(argc, argv, cli)) return *status;
  picsheet::RunRequest& request = cli.run;
  const std::vector<picsheet::CollectionItem>& items = cli.plan.items;
  for (const std::string& note : cli.plan.notes) std::cerr << "note: " << note << '\n';

  StopOnSignals stopSignals;
  request.stop = stopSignals.token();
  // The exit status of a failed run: the signal's when one stopped it.
  const auto failureStatus = [&stopSignals] {
    return stopSignals.signal() != 0 ? 128 + stopSignals.signal() : kExitRunFailed;
  };
  const picsheet::Error interrupted = picsheet::InterruptedError();
  picsheet::TerminalView view(stderr, cli.printStatus, ::isatty(STDERR_FILENO) == 1);
  const bool summaries = cli.printSummary || ::isatty(STDOUT_FILENO) == 1;
  picsheet::CollectionReport report(view, items, summaries);
  // A failure while the catalogues run is named after the one under way when there are several;
  // one after them (the PDF) is the whole run's.
  bool converting = true;
  const auto failedCatalogue = [&] {
    return converting && items.size() > 1 ? report.CurrentSource() : std::string();
  };
  picsheet::RunState state;
  try {
    // One call for every catalogue: they share one transfer engine and its connections.
    const picsheet::CollectionOutcome outcome =
        picsheet::RunCollection(request, items, state, report);
    converting = false;
    std::string warnings;
    if (!cli.pdfPath.empty() && !outcome.savedPages.empty()) {
      warnings = picsheet::ExportPdfWithWindowProgram(outcome.savedPages, cli.pdfPath, cli.paper,
                                                      request.stop);
    }
    view.EndLive();
    std::cerr << warnings;
    report.PrintSaved();
    if (summaries && items.size() > 1) {
      std::cout << "summary: " << items.size() << " catalogues (" << outcome.savedPages.size()
                << " saved, " << outcome.skipped << " skipped), "
                << picsheet::FormatSummary(outcome.total) << '\n';
    }
    return report.LeftOut() ? kExitSavedWithPicturesLeftOut : 0;
  } catch (const picsheet::Error& e) {
    view.EndLive();
    // A signal also reaches the PDF renderer beside us, whose failure then only repeats the stop.
    if (stopSignals.signal() != 0) {
      ReportFailure(interrupted);
    } else {
      ReportFailure(e, failedCatalogue());
    }
    return failureStatus();
  } catch (const std::bad_alloc&) {
    view.EndLive();
    if (stopSignals.signal() != 0) {
      ReportFailure(interrupted);
    } else {
      ReportFailure(picsheet::OutOfMemoryError(), failedCatalogue());
    }
    return failureStatus();
  } catch (const std::exception& e) {
    view.EndLive();
    const std::string catalogue = failedCatalogue();
    std::cerr << "error: " << (catalogue.empty() ? "" : catalogue + ": ")
              << ForTerminal(picsheet::MessageForDisplay(e.what())) << '\n';
    return failureStatus();
  }
}
