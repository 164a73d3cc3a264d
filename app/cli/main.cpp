// picsheet-cli: converts a catalogue page from a shell, as the window's "Go!" does.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>
#include <string>

#include "app/cli/pdf_export.h"
#include "app/cli/terminal_view.h"
#include "app/core/error_message.h"
#include "app/core/program_folder.h"
#include "app/core/run_flow.h"
#include "base/paths.h"

namespace {

constexpr int kExitRunFailed = 1;
constexpr int kExitUsage = 2;
constexpr char kUsage[] = "Usage: picsheet-cli [OPTIONS] SOURCE (--help for the options)";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Turns a catalogue page (a local HTML file or an http:// link) into a printable picture\n"
      "table: the page as DIR/NAME.html, its pictures in DIR/NAME_images.",
      "picsheet-cli"};
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

  picsheet::RunRequest request;
  std::string orientation = "vertical";
  std::string turn = "cw";
  bool coversInPlace = false;
  bool noGapCells = false;
  bool printStatus = false;
  std::string outputDir;

  app.add_option("SOURCE", request.source, "an http:// link or a local file path")->required();
  app.add_option("--cells", request.options.cellsPerRow, "cells per table row")
      ->check(CLI::Range(2, 20))
      ->default_val(10);
  app.add_option("--orientation", orientation, "how the pictures should stand")
      ->check(CLI::IsMember({"vertical", "horizontal", "none"}))
      ->default_val("vertical");
  app.add_option("--turn", turn, "direction of the turn for mismatched pictures")
      ->check(CLI::IsMember({"cw", "ccw"}))
      ->default_val("cw");
  app.add_flag("--skip-repeats", request.options.skipRepeats,
               "leave out the further pictures of a repeated number");
  app.add_flag("--covers-in-place", coversInPlace,
               "keep pictures of number 0 where they are instead of moving them to the end");
  app.add_flag("--no-gap-cells", noGapCells, "no empty cells for missing numbers");
  app.add_flag("--digit-captions", request.options.digitCaptions,
               "captions carry digit pictures (syriannums/N.png)");
  app.add_option("--session", request.saveName, "save name NAME (default: derived from SOURCE)");
  app.add_option("--output-dir", outputDir, "existing folder DIR for the page and its pictures")
      ->default_str("the current directory");
  app.add_option("--jobs", request.jobs, "pictures downloaded at once")
      ->check(CLI::Range(1, 16))
      ->default_val(6);
  app.add_option("--threads", request.threads, "pictures turned and encoded at once")
      ->check(CLI::Range(1, 64))
      ->default_val(request.threads)
      ->default_str("the number of cores");
  app.add_flag("--status", printStatus, "print every status text to stderr, one line each");
  std::string pdfPath;
  app.add_option("--pdf", pdfPath, "also write the page as PDF FILE (A4, 1 cm margins)");
  bool printSummary = false;
  app.add_flag("--summary", printSummary,
               "print what the run did after the page's path (always on a terminal)");
  app.set_version_flag("--version", std::string("picsheet-cli ") + PICSHEET_VERSION);

  try {
    app.parse(argc, argv);
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

  picsheet::TerminalView view(stderr, printStatus, ::isatty(STDERR_FILENO) == 1);
  picsheet::RunState state;
  try {
    const std::string page = picsheet::RunConversion(request, state, view);
    if (!pdfPath.empty()) picsheet::ExportPdfWithWindowProgram(page, pdfPath);
    view.EndLive();
    std::cout << page << '\n';
    // Scripts read the one path line; a person at a terminal also gets the counts.
    if (printSummary || ::isatty(STDOUT_FILENO) == 1) {
      std::cout << "summary: " << picsheet::FormatSummary(state.summary) << '\n';
    }
    return 0;
  } catch (const picsheet::Error& e) {
    view.EndLive();
    const std::string detail = picsheet::DescribeFailure(e);
    if (!detail.empty()) std::cerr << detail << '\n';
    std::cerr << "error: " << picsheet::MessageForDisplay(e.what()) << '\n';
    return kExitRunFailed;
  } catch (const std::exception& e) {
    view.EndLive();
    std::cerr << "error: " << picsheet::MessageForDisplay(e.what()) << '\n';
    return kExitRunFailed;
  }
}
