#include "app/cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <functional>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "app/cli/help_footer.h"
#include "app/cli/source_list.h"
#include "app/core/program_folder.h"
#include "app/core/session_name.h"
#include "base/byte_size.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "base/paths.h"
#include "convert/picture_turn.h"
#include "web/cache_folder.h"

namespace picsheet {
namespace {

constexpr int kExitUsage = 2;
constexpr char kUsage[] = "Usage: picsheet-cli [OPTIONS] SOURCE... (--help for the options)";

int ReportUsageError(const std::string& message) {
  std::cerr << "picsheet-cli: " << message << '\n' << kUsage << '\n';
  return kExitUsage;
}

// The help's usage line shows SOURCE as needed ("SOURCE..."), as a run needs one, though --list
// may give them all in its place.
class UsageFormatter final : public CLI::Formatter {
 public:
  std::string make_option_usage(const CLI::Option* option) const override {
    return option->get_name() + "...";
  }
};

// A check that lets convert rewrite an option's text, or refuses the text with the message of
// the Error convert throws.
CLI::Validator Converting(std::function<void(std::string&)> convert) {
  return CLI::Validator(
      [convert = std::move(convert)](std::string& text) -> std::string {
        try {
          convert(text);
          return {};
        } catch (const Error& e) {
          return e.what();
        }
      },
      "");
}

// --session from a UTF-8 shell becomes the run's Windows-1251 name; a character the code page
// cannot hold is a usage error, refused before anything runs.
// A file name holds 255 bytes and the picture folder's adds "_images" to the save name's.
constexpr std::size_t kLongestSaveName = 255 - 7;

CLI::Validator SaveNameInWindows1251() {
  return Converting([](std::string& name) {
    const std::string typed = name;
    name = SaveNameFromUserText(name);
    if (FileSystemName(name).size() > kLongestSaveName) {
      throw Error(ErrorKind::kSaveName, messages::SaveNameTooLong(typed, kLongestSaveName));
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
  return Converting([](std::string& text) { text = std::to_string(ParseByteSize(text)); });
}

// Options typed as words or as the negation of a default, turned into the request once the
// whole command line is read.
struct TypedOptions {
  std::vector<std::string> sources;
  std::string list;  // "-": stdin
  std::string orientation;
  std::string turn;
  bool coversInPlace = false;
  bool noGapCells = false;
  std::string outputDir;
  bool noCache = false;
};

// The sources, what the pages hold, how they look and where they go.
void AddPageOptions(CLI::App& app, RunRequest& run, TypedOptions& typed) {
  const CatalogueOptions defaults;
  app.add_option("SOURCE", typed.sources,
                 "http:// or https:// links or local file paths, each a catalogue converted in "
                 "turn")
      ->type_name("");
  app.add_option("--list", typed.list,
                 "also convert the sources in FILE (- for stdin), one a line, after those given; "
                 "blank lines and lines that begin with # are skipped")
      ->type_name("FILE");
  app.add_option("--cells", run.options.cellsPerRow, "cells per table row, 2 to 20")
      ->type_name("N")
      ->check(CLI::Range(2, 20).description(""))
      ->default_val(defaults.cellsPerRow);
  app.add_option("--orientation", typed.orientation, "how the pictures should stand")
      ->type_name("vertical|horizontal|none")
      ->check(CLI::IsMember(OrientationWords()).description(""))
      ->default_val(std::string(OrientationWord(defaults.orientation)));
  app.add_option("--turn", typed.turn, "direction of the turn for mismatched pictures")
      ->type_name("cw|ccw")
      ->check(CLI::IsMember(TurnWords()).description(""))
      ->default_val(std::string(TurnWord(defaults.turn)));
  app.add_flag("--skip-repeats", run.options.skipRepeats,
               "leave out the further pictures of a repeated number");
  app.add_flag("--covers-in-place", typed.coversInPlace,
               "keep pictures of number 0 where they are instead of moving them to the end");
  app.add_flag("--no-gap-cells", typed.noGapCells, "no empty cells for missing numbers");
  app.add_flag("--digit-captions", run.options.digitCaptions,
               "captions carry digit pictures (syriannums/N.png)");
  app.add_option("--session", run.saveName,
                 "save name NAME of a single source's page (default: derived from SOURCE)")
      ->type_name("NAME")
      ->transform(SaveNameInWindows1251());
  app.add_option("--output-dir", typed.outputDir,
                 "existing folder DIR for the page and its pictures")
      ->type_name("DIR")
      ->default_str("the current directory");
}

// How the run goes about it: downloads and workers.
void AddTransferOptions(CLI::App& app, RunRequest& run) {
  app.add_option("--jobs", run.jobs,
                 "pictures downloaded at once from one server, 1 to 16 (four times as many on "
                 "one HTTP/2 connection)")
      ->type_name("N")
      ->check(CLI::Range(1, 16).description(""))
      ->default_val(6);
  app.add_option(
         "--retries", run.fetch.retries,
         "tries again after a refused or dropped connection or a 429/502/503/504 answer (after "
         "its Retry-After, up to 60 s), 0 to 10")
      ->type_name("N")
      ->check(CLI::Range(0, 10).description(""))
      ->default_val(2);
  app.add_option("--threads", run.threads, "pictures turned and encoded at once")
      ->type_name("N")
      ->check(CLI::Range(1, 64).description(""))
      ->default_val(run.threads)
      ->default_str("the number of cores");
}

// What is reported and written besides the page, and the answers kept for later runs.
void AddOutputOptions(CLI::App& app, CliRequest& request, TypedOptions& typed) {
  app.add_flag("--status", request.printStatus, "print every status text to stderr, one line each");
  app.add_option(
         "--pdf", request.pdfPath,
         "also write the pages as one PDF FILE, each from a new sheet (1 cm margins, true size)")
      ->type_name("FILE");
  app.add_option("--paper", request.paper, "paper of the PDF")
      ->type_name("a4|letter")
      ->check(CLI::IsMember({"a4", "letter"}).description(""))
      ->default_val("a4");
  app.add_flag(
      "--summary", request.printSummary,
      "print what the run did after each page's path, and in all with several sources (always on "
      "a terminal)");
  app.add_flag(
      "--keep-going", request.run.options.keepGoing,
      "a picture that cannot be had leaves an empty cell, and a catalogue whose page cannot "
      "be had is skipped, instead of ending the run; what was left out is listed on "
      "stderr and the exit status is 3");
  app.add_option("--cache-size", request.run.cacheBytes,
                 "the most the answers kept for later runs may take (bytes, or K, M, G: KiB, "
                 "MiB, GiB); the least recently used go first")
      ->type_name("SIZE")
      ->transform(ByteCount())
      ->default_str("1G");
  app.add_flag("--no-cache", typed.noCache,
               "keep no answers and ask for none: every page and picture is downloaded whole");
}

// The typed words and negations as the run takes them; the checks let no other word through.
void TakeTyped(const TypedOptions& typed, RunRequest& run) {
  run.options.orientation = ParseOrientation(typed.orientation).value();
  run.options.turn = ParseTurn(typed.turn).value();
  run.options.holdBackCovers = !typed.coversInPlace;
  run.options.gapCells = !typed.noGapCells;
  run.programFolder =
      WithTrailingSlash(typed.outputDir.empty() ? CurrentDirectory() : typed.outputDir);
  if (!typed.noCache) run.cacheFolder = DefaultCacheFolder();
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, CliRequest& request) {
  CLI::App app{
      "Turns catalogue pages (local HTML files or http:// or https:// links) into printable\n"
      "picture tables, one after the other: each page as DIR/NAME.html, its pictures in\n"
      "DIR/NAME_images.",
      "picsheet-cli"};
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  TypedOptions typed;
  AddPageOptions(app, request.run, typed);
  AddTransferOptions(app, request.run);
  AddOutputOptions(app, request, typed);
  app.formatter(std::make_shared<UsageFormatter>());
  app.footer(CliHelpFooter());
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
    return ReportUsageError(e.what());
  }
  std::vector<std::string> sources = std::move(typed.sources);
  if (!typed.list.empty()) {
    try {
      const std::vector<std::string> listed = ReadSourceList(typed.list);
      if (listed.empty()) return ReportUsageError(messages::ListHoldsNoSource(typed.list));
      sources.insert(sources.end(), listed.begin(), listed.end());
    } catch (const Error& e) {
      return ReportUsageError(e.what());
    }
  }
  if (sources.empty()) return ReportUsageError(CLI::RequiredError("SOURCE").what());
  request.plan = PlanCollection(sources, request.run.saveName);
  // Every catalogue of a collection needs a name of its own.
  if (!request.run.saveName.empty() && request.plan.items.size() > 1) {
    return ReportUsageError(messages::SessionWithSeveralSources(request.plan.items.size()));
  }
  TakeTyped(typed, request.run);
  return std::nullopt;
}

}  // namespace picsheet
