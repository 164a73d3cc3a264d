// LayOutSheet: the cells with their captions and pictures, the held-back wrappers and the steps,
// read from the sheet itself rather than from a writer's lines.
#include "convert/sheet_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace picsheet {
namespace {

std::string Page(const std::vector<std::string>& numbers, const std::string& tail = "") {
  std::string page = "<center><font size=3><b>T</b></font><br><table><tr>";
  for (const std::string& number : numbers) {
    page += "<td><center>" + number + "<br><img src=\"u" + number + "\" x></center></td>";
  }
  return page + tail;
}

// Each cell as caption[picture names], "-" for a missing number's; "|" before the wrappers'.
std::string Cells(const Sheet& sheet) {
  std::string text;
  for (std::size_t c = 0; c < sheet.cells.size(); ++c) {
    const SheetCell& cell = sheet.cells[c];
    text += (c == sheet.firstHeldBack ? "| " : "") + cell.caption + (cell.missingNumber ? "-" : "");
    for (std::size_t s = cell.firstSlot; s < cell.firstSlot + cell.slotCount; ++s) {
      text += "[" + sheet.pictures[s].Name() + "]";
    }
    text += " ";
  }
  return text + "/ " + sheet.closingCaption;
}

// Each step as its kind's letter, with its progress when it reports one.
std::string Steps(const Sheet& sheet) {
  std::string text;
  for (const SheetStep& step : sheet.steps) {
    text += "HSKO"[static_cast<int>(step.kind)];
    if (step.reports) text += std::to_string(step.pictures) + "." + std::to_string(step.repeat);
    text += " ";
  }
  return text;
}

TEST(SheetLayoutTest, CellsCaptionsPicturesAndStepsOfEachKindOfPage) {
  CatalogueOptions wrappersInPlace;
  wrappersInPlace.holdBackCovers = false;
  CatalogueOptions skipping;
  skipping.skipRepeats = true;
  struct Case {
    std::string page;
    CatalogueOptions options;
    std::string cells;
    std::string steps;
  };
  const Case cases[] = {
      {Page({"0", "1", "2", "2", "4", "5"}),
       {},
       "1[1_1] 2[2_1][2_2] 3- 4[4_1] 5[5_1] | 0[0_1] / 0",
       "H1.1 O2.1 O3.1 S4.2 O5.1 O6.1 "},
      {Page({"2", "2", "3"}), skipping, "1- 2[2_1] 3[3_1] / 3", "O2.1 K3.2 O4.1 "},
      // The pictures of a first "0" stack before any cell; the first cell closes nothing.
      {Page({"0", "0", "1"}), wrappersInPlace, "1[1_1] / 1", "S2.1 S3.2 O4.1 "},
      // A wrapper cut short still closes the open cell with 0.
      {Page({"1"}, "<td><center>0<br><img src=\"w"), {}, "0[1_1] / 0", "O2.1 H "},
      {"<center><font size=3><b>T</b></font><br>", {}, "/ ", ""},
  };
  for (const Case& c : cases) {
    const Sheet sheet = LayOutSheet(c.page, c.options);
    EXPECT_EQ(Cells(sheet), c.cells) << c.page;
    EXPECT_EQ(Steps(sheet), c.steps) << c.page;
  }
  const Sheet example = LayOutSheet(Page({"0", "1", "2", "2", "4", "5"}), {});
  EXPECT_EQ(example.head, SheetHead::kTable);
  EXPECT_EQ(example.title, "T");
  EXPECT_EQ(example.pictures[0].address, "u0");
  EXPECT_TRUE(example.pictures[0].heldBack && example.pictures[0].zeroValued);
  EXPECT_EQ(example.pictures[4].cell, 4) << "the empty cell of 3 counts";
}

}  // namespace
}  // namespace picsheet
