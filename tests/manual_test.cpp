// The manual pages as built agree with --help: the same options, exit statuses, environment
// variables and files, in the same order.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using Entries = std::vector<std::string>;

// A list of --help and the manual page's section that shows it.
struct Listing {
  const char* helpHeading;
  const char* manSection;
};
constexpr Listing kListings[] = {
    {"Options:", "OPTIONS"},
    {"Exit status:", "EXIT STATUS"},
    {"Environment:", "ENVIRONMENT"},
    {"Files:", "FILES"},
};

// The entries of --help's lists by heading: an entry is a line indented by two spaces, its tag
// what comes before two spaces in a row ("  --cells N=10    cells per row" gives "--cells N=10").
std::map<std::string, Entries> HelpLists(const std::string& help) {
  std::map<std::string, Entries> lists;
  std::istringstream lines(help);
  std::string heading;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) {
      heading.clear();
    } else if (line.front() != ' ') {
      heading = line;
    } else if (!heading.empty() && line.size() > 2 && line.compare(0, 2, "  ") == 0 &&
               line[2] != ' ') {
      lists[heading].push_back(line.substr(2, line.find("  ", 2) - 2));
    }
  }
  return lists;
}

// A line of roff as text: font macros, font changes and italic corrections dropped, escaped
// characters plain.
std::string RoffText(std::string line) {
  if (line.rfind(".B ", 0) == 0 || line.rfind(".I ", 0) == 0) line.erase(0, 3);
  static const std::regex fonts(R"(\\f(\(..|\[[^\]]*\]|.)|\\[,/&])");
  line = std::regex_replace(line, fonts, "");
  for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
  for (std::size_t at; (at = line.find("\\e")) != std::string::npos;) line.replace(at, 2, 1, '\\');
  return line;
}

// The tags of the tagged paragraphs (.TP) in every section (.SH) of a manual page.
std::map<std::string, Entries> ManualLists(const std::string& roff) {
  std::map<std::string, Entries> lists;
  std::istringstream lines(roff);
  std::string section;
  bool tagNext = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(".SH ", 0) == 0) {
      section = line.substr(4);
      if (section.size() >= 2 && section.front() == '"') section = section.substr(1);
      if (!section.empty() && section.back() == '"') section.pop_back();
    } else if (line == ".TP") {
      tagNext = true;
    } else if (tagNext) {
      lists[section].push_back(RoffText(line));
      tagNext = false;
    }
  }
  return lists;
}

struct ManualCase {
  const char* name;
  const char* program;   // path of the built program
  const char* page;      // path of its manual page, as help2man made it
  bool hasExitStatuses;  // whether --help lists them (the window has none of its own)
};

class ManualPage : public ::testing::TestWithParam<ManualCase> {};

TEST_P(ManualPage, ListsWhatHelpLists) {
  const testkit::ProcessResult help = testkit::RunProcess(GetParam().program, {"--help"});
  ASSERT_EQ(help.exitCode, 0) << help.err;
  const std::map<std::string, Entries> shown = HelpLists(help.out);
  const std::map<std::string, Entries> manual =
      ManualLists(testkit::ReadFileBytes(GetParam().page));
  for (const Listing& listing : kListings) {
    SCOPED_TRACE(listing.manSection);
    const auto inHelp = shown.find(listing.helpHeading);
    const auto inManual = manual.find(listing.manSection);
    const bool expected =
        listing.helpHeading != std::string("Exit status:") || GetParam().hasExitStatuses;
    ASSERT_EQ(inHelp != shown.end(), expected) << help.out;
    EXPECT_EQ(inHelp != shown.end() ? inHelp->second : Entries{},
              inManual != manual.end() ? inManual->second : Entries{});
  }
}

const ManualCase kPrograms[] = {
    {"cli", PICSHEET_CLI, PICSHEET_CLI_MANUAL, true},
#ifdef PICSHEET_WINDOW
    {"window", PICSHEET_WINDOW, PICSHEET_WINDOW_MANUAL, false},
#endif
};
INSTANTIATE_TEST_SUITE_P(Programs, ManualPage, ::testing::ValuesIn(kPrograms),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace picsheet
