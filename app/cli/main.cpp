// picsheet-cli: converts a catalogue page from a shell, as the window's "Go!" does.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <functional>
#include <iostream>
#include <map>
#include <new>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/help_footer.h"
#include "app/cli/pdf_export.h"
#include "app/cli/terminal_view.h"
#include "app/core/error_message.h"
#include "app/core/program_folder.h"
#include "app/core/run_flow.h"
#include "app/core/session_name.h"
#include "base/byte_size.h"
#include "base/cache_folder.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/windows1251.h"

namespace {

constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSavedWithPicturesLeftOut = 3;
constexpr char kUsage[] = "Usage: picsheet-cli [OPTIONS] SOURCE (--help for the options)";

// A message made here (paths, the system's texts) is UTF-8; one that carries an address copied
// from a page is Windows-1251, which the UTF-8 terminal gets as letters.
std::string ForTerminal(const std::string& message) { return picsheet::Utf8OrWindows1251(message); }

// One line on stderr for every picture a run that kept going left out; true when there was one.
bool ReportLeftOut(const picsheet::CatalogueSummary& summary) {
  for (const picsheet::Error& error : summary.leftOut) {
    std::cerr << "skipped: " << picsheet::DescribeFailure(error) << '\n';
  }
  return !summary.leftOut.empty();
}

// The detail line (picture, address, reason), then the message as the last line.
void ReportFailure(const picsheet::Error& e) {
  const std::string detail = picsheet::DescribeFailure(e);
  if (!detail.empty()) std::cerr << detail << '\n';
  std::cerr << "error: " << ForTerminal(picsheet::MessageForDisplay(e.what())) << '\n';
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

// --session from a UTF-8 shell becomes the run's Windows-1251 name; a character the code page
// cannot hold is a usage error, refused before anything runs.
// A check that lets convert rewrite an option's text, or refuses the text with the message of
// the Error convert throws.
CLI::Validator Converting(std::function<void(std::string&)> convert) {
  return CLI::Validator(
      [convert = std::move(convert)](std::string& text) -> std::string {
        try {
          convert(text);
          return {};
        } catch (const picsheet::Error& e) {
          return e.what();
        }
      },
      "");
}

// A file name holds 255 bytes and the picture folder's adds "_images" to the save name's.
constexpr std::size_t kLongestSaveName = 255 - 7;

CLI::Validator SaveNameInWindows1251() {
  return Converting([](std::string& name) {
    const std::string typed = name;
    name = picsheet::SaveNameFromUserText(name);
    if (picsheet::FileSystemName(name).size() > kLongestSaveName) {
      throw picsheet::Error(picsheet::ErrorKind::kSaveName,
                            picsheet::messages::SaveNameTooLong(typed, kLongestSaveName));
    }
  });
}

// The arguments after the program's name, in the reversed order CLI11 parses them. An option
// given as "--NAME=" with nothing after the "=" has an empty value, as "--NAME ''" has; CLI11
// would take the next argument as its value instead.
std::vector<std::string> ReversedArguments(int argc, char** argv) {
  std::vector<std::string> args;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") options = false;
    if (options && arg.size() > 3 && arg.starts_with("--") && arg.ends_with("=") &&
        arg.find('=') == arg.size() - 1) {
      args.push_back(arg.substr(0, arg.size() - 1));
      args.emplace_back();
    } else {
      args.push_back(arg);
    }
  }
  return {args.rbegin(), args.rend()};
}

// A size as typed ("512K", "1G") as its count of bytes.
CLI::Validator ByteCount() {
  return Converting(
      [](std::string& text) { text = std::to_string(picsheet::ParseByteSize(text)); });
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Turns a catalogue page (a local HTML file or an http:// or https:// link) into a\n"
      "printable picture table: the page as DIR/NAME.html, its pictures in DIR/NAME_images.",
      "picsheet-cli"};
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  picsheet::RunRequest request;
  std::string orientation = "vertical";
  std::string turn = "cw";
  bool coversInPlace = false;
  bool noGapCells = false;
  bool printStatus = false;
  std::string outputDir;

  app.add_option("SOURCE", request.source, "an http:// or https:// link or a local file path")
      ->required()
      ->type_name("");
  app.add_option("--cells", request.options.cellsPerRow, "cells per table row, 2 to 20")
      ->type_name("N")
      ->check(CLI::Range(2, 20).description(""))
      ->default_val(10);
  app.add_option("--orientation", orientation, "how the pictures should stand")
      ->type_name("vertical|horizontal|none")
      ->check(CLI::IsMember({"vertical", "horizontal", "none"}).description(""))
      ->default_val("vertical");
  app.add_option("--turn", turn, "direction of the turn for mismatched pictures")
      ->type_name("cw|ccw")
      ->check(CLI::IsMember({"cw", "ccw"}).description(""))
      ->default_val("cw");
  app.add_flag("--skip-repeats", request.options.skipRepeats,
               "leave out the further pictures of a repeated number");
  app.add_flag("--covers-in-place", coversInPlace,
               "keep pictures of number 0 where they are instead of moving them to the end");
  app.add_flag("--no-gap-cells", noGapCells, "no empty cells for missing numbers");
  app.add_flag("--digit-captions", request.options.digitCaptions,
               "captions carry digit pictures (syriannums/N.png)");
  app.add_option("--session", request.saveName, "save name NAME (default: derived from SOURCE)")
      ->type_name("NAME")
      ->transform(SaveNameInWindows1251());
  app.add_option("--output-dir", outputDir, "existing folder DIR for the page and its pictures")
      ->type_name("DIR")
      ->default_str("the current directory");
  app.add_option("--jobs", request.jobs,
                 "pictures downloaded at once from one server, 1 to 16 (four times as many on "
                 "one HTTP/2 connection)")
      ->type_name("N")
      ->check(CLI::Range(1, 16).description(""))
      ->default_val(6);
  app.add_option(
         "--retries", request.fetch.retries,
         "tries again after a refused or dropped connection or a 429/502/503/504 answer (after "
         "its Retry-After, up to 60 s), 0 to 10")
      ->type_name("N")
      ->check(CLI::Range(0, 10).description(""))
      ->default_val(2);
  app.add_option("--threads", request.threads, "pictures turned and encoded at once")
      ->type_name("N")
      ->check(CLI::Range(1, 64).description(""))
      ->default_val(request.threads)
      ->default_str("the number of cores");
  app.add_flag("--status", printStatus, "print every status text to stderr, one line each");
  std::string pdfPath;
  app.add_option("--pdf", pdfPath, "also write the page as PDF FILE (1 cm margins, true size)")
      ->type_name("FILE");
  std::string paper = "a4";
  app.add_option("--paper", paper, "paper of the PDF")
      ->type_name("a4|letter")
      ->check(CLI::IsMember({"a4", "letter"}).description(""))
      ->default_val("a4");
  bool printSummary = false;
  app.add_flag("--summary", printSummary,
               "print what the run did after the page's path (always on a terminal)");
  app.add_flag("--keep-going", request.options.keepGoing,
               "a picture that cannot be had leaves an empty cell instead of ending the run; "
               "the pictures left out are listed on stderr and the exit status is 3");
  app.add_option("--cache-size", request.cacheBytes,
                 "the most the answers kept for later runs may take (bytes, or K, M, G: KiB, "
                 "MiB, GiB); the least recently used go first")
      ->type_name("SIZE")
      ->transform(ByteCount())
      ->default_str("1G");
  bool noCache = false;
  app.add_flag("--no-cache", noCache,
               "keep no answers and ask for none: every page and picture is downloaded whole");
  app.footer(picsheet::CliHelpFooter());
  app.set_version_flag("--version", std::string("picsheet-cli ") + PICSHEET_VERSION);

  try {
    app.parse(ReversedArguments(argc, argv));
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "picsheet-cli: " << e.what() << '\n' << kUsage << '\n';
    return kExitUsage;
  }

  request.options.orientation = orientation == "vertical" ? 2 : orientation == "horizontal" ? 1 : 0;
  request.options.rotationAngle = turn == "cw" ? 90 : -90;
  request.options.holdBackCovers = !coversInPlace;
  request.options.gapCells = !noGapCells;
  request.programFolder =
      picsheet::WithTrailingSlash(outputDir.empty() ? picsheet::CurrentDirectory() : outputDir);
  if (!noCache) request.cacheFolder = picsheet::DefaultCacheFolder();

  StopOnSignals stopSignals;
  request.stop = stopSignals.token();
  // The exit status of a failed run: the signal's when one stopped it.
  const auto failureStatus = [&stopSignals] {
    return stopSignals.signal() != 0 ? 128 + stopSignals.signal() : kExitRunFailed;
  };
  const picsheet::Error interrupted = picsheet::InterruptedError();
  picsheet::TerminalView view(stderr, printStatus, ::isatty(STDERR_FILENO) == 1);
  picsheet::RunState state;
  try {
    const std::string page = picsheet::RunConversion(request, state, view);
    std::string warnings;
    if (!pdfPath.empty())
      warnings = picsheet::ExportPdfWithWindowProgram(page, pdfPath, paper, request.stop);
    view.EndLive();
    std::cerr << warnings;
    std::cout << page << '\n';
    // Scripts read the one path line; a person at a terminal also gets the counts.
    if (printSummary || ::isatty(STDOUT_FILENO) == 1) {
      std::cout << "summary: " << picsheet::FormatSummary(state.summary) << '\n';
    }
    return ReportLeftOut(state.summary) ? kExitSavedWithPicturesLeftOut : 0;
  } catch (const picsheet::Error& e) {
    view.EndLive();
    // A signal also reaches the PDF renderer beside us, whose failure then only repeats the stop.
    ReportFailure(stopSignals.signal() != 0 ? interrupted : e);
    return failureStatus();
  } catch (const std::bad_alloc&) {
    view.EndLive();
    ReportFailure(stopSignals.signal() != 0 ? interrupted : picsheet::OutOfMemoryError());
    return failureStatus();
  } catch (const std::exception& e) {
    view.EndLive();
    std::cerr << "error: " << ForTerminal(picsheet::MessageForDisplay(e.what())) << '\n';
    return failureStatus();
  }
}
