// Whole-page conversions: each folder in tests/data holds a catalogue page, the options of the run
// and the output page written by hand; the converted page is saved and compared byte for byte.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/core/page_file.h"
#include "convert/catalogue.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::FakeLocaliser;
using testkit::ReadFileBytes;
using testkit::RecordingView;
using testkit::TempDir;

std::string CaseFile(const std::string& name, const std::string& file) {
  return std::string(PICSHEET_TEST_DATA) + "/" + name + "/" + file;
}

// options.txt: key=value lines naming CatalogueOptions fields, plus pictureHeight, the printed
// height the localiser works out for the first picture of each kind.
void ReadOptions(const std::string& text, CatalogueOptions& options, FakeLocaliser& localiser) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    const std::size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "cellsPerRow") {
      options.cellsPerRow = std::stoi(value);
    } else if (key == "orientation") {
      options.orientation = static_cast<Orientation>(std::stoi(value));
    } else if (key == "turn") {
      options.turn = static_cast<Turn>(std::stoi(value));
    } else if (key == "holdBackCovers") {
      options.holdBackCovers = value == "1";
    } else if (key == "skipRepeats") {
      options.skipRepeats = value == "1";
    } else if (key == "gapCells") {
      options.gapCells = value == "1";
    } else if (key == "digitCaptions") {
      options.digitCaptions = value == "1";
    } else if (key == "pictureHeight") {
      localiser.defaultHeight = std::stold(value);
    } else {
      FAIL() << "unknown option " << key;
    }
  }
}

class GoldenPageTest : public testing::TestWithParam<std::string> {};

TEST_P(GoldenPageTest, SavedPageMatchesTheExpectedBytes) {
  const std::string name = GetParam();
  CatalogueOptions options;
  FakeLocaliser localiser;
  ASSERT_NO_FATAL_FAILURE(
      ReadOptions(ReadFileBytes(CaseFile(name, "options.txt")), options, localiser));
  RecordingView view;
  ConvertCatalogue(view, localiser, options, ReadFileBytes(CaseFile(name, "page.htm")));

  TempDir folder;
  SavePage(folder.File("page.html"), view.lines);
  EXPECT_EQ(ReadFileBytes(folder.File("page.html")),
            ReadFileBytes(CaseFile(name, "expected.html")));
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenPageTest,
                         testing::Values("worked_example", "digit_captions", "held_back_covers",
                                         "skip_repeats", "title_only", "cell_without_picture"));

}  // namespace
}  // namespace picsheet
