// ConvertCatalogue against a recording view and a fake localiser: lines, status texts, and what
// each picture was handed over as.
#include "convert/catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/catalogue_page.h"

namespace picsheet {
namespace {

using testkit::Cell;
using testkit::FakeLocaliser;
using testkit::RecordingView;
using Lines = std::vector<std::string>;

const std::string kTitleLine = "<html><body><center><b>T</b></center>";
const std::string kTableLine = "<table style=\"width: 19cm\">";
const std::string kHead = "<center><font size=3><b>T</b></font><br><table>";

// The URL the pages below give the picture of a cell: "u" + number text.
std::string Url(const std::string& number) { return "u" + number; }

std::string Cell(const std::string& number) { return Cell(number, Url(number)); }

// A page with the title T and one source cell per number text.
std::string Page(const std::vector<std::string>& numbers) {
  std::string page = kHead + "<tr>";
  for (const std::string& number : numbers) page += Cell(number);
  return page + "</tr></table></body></html>";
}

// The output lines, built after the formats the page is made of.
std::string FirstOpener(const std::string& width) {
  return "<tr valign=\"top\"><td style=\"width:" + width + "cm\">";
}
std::string NextOpener(const std::string& caption, const std::string& width) {
  return caption + "</td><td style=\"width:" + width + "cm\">";
}
std::string RowBreak(const std::string& caption, const std::string& width) {
  return caption + "</td></tr>\r\n<tr valign=\"top\"><td style=\"width:" + width + "cm\">";
}
std::string Picture(const std::string& name, const std::string& url, const std::string& width,
                    const std::string& height) {
  return "<img src=\"local/" + name + ".jpg#" + url + "\" style=\"width:" + width +
         "cm; height: " + height + "cm\"/>";
}
std::string PictureWithoutHeight(const std::string& name, const std::string& url,
                                 const std::string& width) {
  return "<img src=\"local/" + name + ".jpg#" + url + "\" style=\"width:" + width + "cm\"/>";
}
std::string Placeholder(const std::string& width, const std::string& height) {
  return "<img style=\"width:" + width + "cm; height: " + height + "cm\"/>";
}
std::string Closing(const std::string& caption) {
  return caption + "</td></tr>\r\n</table></body></html>";
}
std::string TextDigit(char digit) {
  return std::string("<img src=\"syriannums/") + digit +
         ".png\" style=\"height:0.5cm;width:0.3cm\"/>";
}
std::string IntDigit(char digit) {
  return std::string("<img src=\"syriannums/") + digit +
         ".png\" style=\"height:0.5cm;width:0.3cm\" />";
}

std::string Progress(int pictures, int repeat, int cell) {
  return "Изображений " + std::to_string(pictures) + " №" + std::to_string(repeat) + " ячейка " +
         std::to_string(cell);
}
const char* const kSeekTitle = "Ищем заголовок...";
const char* const kSeekTitleEnd = "Ищем конец заголовка...";
const char* const kSeekFirstCell = "Ищем первую ячейку таблицы...";

CatalogueOptions Options(int cellsPerRow, bool gapCells, bool holdBackCovers,
                         bool skipRepeats = false, bool digitCaptions = false) {
  CatalogueOptions options;
  options.cellsPerRow = cellsPerRow;
  options.gapCells = gapCells;
  options.holdBackCovers = holdBackCovers;
  options.skipRepeats = skipRepeats;
  options.digitCaptions = digitCaptions;
  return options;
}

struct Conversion {
  RecordingView view;
  FakeLocaliser localiser;

  void Convert(const CatalogueOptions& options, const std::string& page) {
    ConvertCatalogue(view, localiser, options, page);
  }
  int CountLines(const std::string& prefix) const {
    return static_cast<int>(std::count_if(view.lines.begin(), view.lines.end(),
                                          [&](auto& line) { return line.rfind(prefix, 0) == 0; }));
  }
  int Placeholders() const { return CountLines("<img style="); }
};

// --- The worked example: numbers 0, 1, 2, 2, 4, 5 at three cells per row ---

TEST(WorkedExampleTest, StatusTextsAfterEverySourceCell) {
  Conversion run;
  run.localiser.defaultHeight = 8.43L;
  run.Convert(Options(3, true, true), Page({"0", "1", "2", "2", "4", "5"}));
  EXPECT_EQ(run.view.statuses,
            (Lines{kSeekTitle, kSeekTitleEnd, kSeekFirstCell, Progress(1, 1, 2), Progress(2, 1, 3),
                   Progress(3, 1, 1), Progress(4, 2, 2), Progress(5, 1, 3), Progress(6, 1, 1)}));
  EXPECT_EQ(run.view.clears, 1);
  ASSERT_EQ(run.view.lines.size(), 17u);
  EXPECT_EQ(run.view.lines[9], "<img style=\"width:6.3cm; height: 8.4cm\"/>");
  EXPECT_EQ(run.view.lines[10], "3</td></tr>\r\n<tr valign=\"top\"><td style=\"width:6.3cm\">");
}

TEST(WorkedExampleTest, PicturesAreHandedOverWithNameWidthOptionsAndTheirHeightVariable) {
  Conversion run;
  run.localiser.defaultHeight = 8.43L;
  CatalogueOptions options = Options(3, true, true);
  options.orientation = Orientation::kHorizontal;
  options.turn = Turn::kCounterClockwise;
  run.Convert(options, Page({"0", "1", "2", "2", "4", "5"}));

  const auto& calls = run.localiser.calls;
  EXPECT_EQ(run.localiser.Names(), (Lines{"0_1", "1_1", "2_1", "2_2", "4_1", "5_1"}));
  ASSERT_EQ(calls.size(), 6u);
  for (const auto& call : calls) {
    EXPECT_EQ(call.url, Url(call.name.substr(0, call.name.find('_'))));
    EXPECT_EQ(call.cellWidth, 19.0L / 3);
    EXPECT_EQ(call.orientation, 1);
    EXPECT_EQ(call.rotationAngle, -90);
  }
  // The wrapper goes through a height of its own; the picture of 1 fixes the shared one.
  EXPECT_EQ(calls[0].heightOnEntry, 0);
  EXPECT_EQ(calls[1].heightOnEntry, 0);
  EXPECT_NE(calls[0].height, calls[1].height);
  for (std::size_t i = 2; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].height, calls[1].height);
    EXPECT_EQ(calls[i].heightOnEntry, 8.43L);
  }
}

TEST(OptionWordsTest, EachWordNamesOneChoiceAndBackAndOtherWordsNone) {
  const std::pair<std::string, Orientation> orientations[] = {
      {"vertical", Orientation::kVertical},
      {"horizontal", Orientation::kHorizontal},
      {"none", Orientation::kNone}};
  EXPECT_EQ(OrientationWords(), (Lines{"vertical", "horizontal", "none"}));
  for (const auto& [word, value] : orientations) {
    EXPECT_EQ(ParseOrientation(word), value);
    EXPECT_EQ(OrientationWord(value), word);
  }
  EXPECT_EQ(TurnWords(), (Lines{"cw", "ccw"}));
  EXPECT_EQ(ParseTurn("ccw"), Turn::kCounterClockwise);
  EXPECT_EQ(TurnWord(Turn::kClockwise), "cw");
  EXPECT_EQ(ParseOrientation("Vertical"), std::nullopt);
  EXPECT_EQ(ParseTurn("90"), std::nullopt);
}

TEST(WorkedExampleTest, EveryRunStartsFromScratch) {
  Conversion run;
  run.localiser.defaultHeight = 8.43L;
  const std::string page = Page({"0", "1", "2", "2", "4", "5"});
  run.Convert(Options(3, true, true), page);
  const Lines first = run.view.lines;
  run.localiser.calls.clear();
  run.Convert(Options(3, true, true), page);
  EXPECT_EQ(run.view.lines, first);
  EXPECT_EQ(run.view.clears, 2);
  EXPECT_EQ(run.localiser.Names(), (Lines{"0_1", "1_1", "2_1", "2_2", "4_1", "5_1"}));
  EXPECT_EQ(run.localiser.calls[1].heightOnEntry, 0);
}

// --- Where a run ends ---

TEST(RunEndingTest, HeadSearchesThatFailWriteNoClosingLine) {
  struct Case {
    const char* what;
    std::string page;
    Lines lines;
    std::string status;
  };
  const Case cases[] = {
      {"empty page", "", {}, kSeekTitle},
      {"no title start",
       "<html><b>T</b></font><br><td><center>1<br><img src=\"a\" ",
       {},
       kSeekTitle},
      {"a title start in other case", "<CENTER><FONT SIZE=3><B>T</b></font><br>", {}, kSeekTitle},
      {"no title end", "<center><font size=3><b>T</b></font><td><center>", {}, kSeekTitleEnd},
      {"no first cell",
       kHead + "<tr><td>1<br><img src=\"a\" x></td></tr>",
       {kTitleLine},
       kSeekFirstCell},
  };
  for (const Case& c : cases) {
    Conversion run;
    run.Convert(Options(10, true, true), c.page);
    EXPECT_EQ(run.view.lines, c.lines) << c.what;
    EXPECT_EQ(run.view.statuses.back(), c.status) << c.what;
    EXPECT_TRUE(run.localiser.calls.empty()) << c.what;
  }
}

TEST(RunEndingTest, LoopEndingsWriteTheHeldBackCellsAndTheClosingLine) {
  // A wrapper (held back) and number 1 come first, then the source cell under test.
  const std::string start = kHead + Cell("0") + Cell("1");
  const Lines before = {kTitleLine, kTableLine, FirstOpener("1.9"),
                        Picture("1_1", "u1", "1.9", "1.9")};
  struct Case {
    const char* what;
    std::string tail;
    Lines lines;  // after those of the wrapper and number 1
    std::string status;
  };
  const Case cases[] = {
      {"no picture marker",
       "<td><center>2 to come</center></td></table>",
       {NextOpener("1", "1.9"), PictureWithoutHeight("0_1", "u0", "1.9"), Closing("0")},
       Progress(2, 1, 3)},
      {"address without a quote and blank",
       "<td><center>2<br><img src=\"u2></center></td>",
       {NextOpener("1", "1.9"), NextOpener("2", "1.9"), PictureWithoutHeight("0_1", "u0", "1.9"),
        Closing("0")},
       Progress(2, 1, 3)},
      {"no cell end",
       "<td><center>2<br><img src=\"u2\" width=120>",
       {NextOpener("1", "1.9"), Picture("2_1", "u2", "1.9", "1.9"), NextOpener("2", "1.9"),
        PictureWithoutHeight("0_1", "u0", "1.9"), Closing("0")},
       Progress(2, 1, 3)},
      {"no further cell",
       Cell("2") + "</tr></table>",
       {NextOpener("1", "1.9"), Picture("2_1", "u2", "1.9", "1.9"), NextOpener("2", "1.9"),
        PictureWithoutHeight("0_1", "u0", "1.9"), Closing("0")},
       Progress(3, 1, 4)},
  };
  for (const Case& c : cases) {
    Conversion run;
    run.Convert(Options(10, true, true), start + c.tail);
    Lines expected = before;
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(run.view.lines, expected) << c.what;
    EXPECT_EQ(run.view.statuses.back(), c.status) << c.what;
  }
}

TEST(RunEndingTest, FirstCellCutShortLeavesTheFirstCellSearchText) {
  Conversion run;
  run.Convert(Options(10, true, true), kHead + "<td><center>1<br><img src=\"u1></table>");
  EXPECT_EQ(run.view.lines, (Lines{kTitleLine, kTableLine, FirstOpener("1.9"), Closing("1")}));
  EXPECT_EQ(run.view.statuses.back(), kSeekFirstCell);
  EXPECT_TRUE(run.localiser.calls.empty());
}

TEST(RunEndingTest, LocaliserErrorStopsAtOnceWithoutHeldBackCellsOrClosingLine) {
  Conversion run;
  run.localiser.failAtCall = 3;
  try {
    run.Convert(Options(10, true, true), Page({"0", "1", "2", "3"}));
    FAIL() << "the localiser's error did not come through";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Cannot open URL u2");
  }
  EXPECT_EQ(run.view.lines, (Lines{kTitleLine, kTableLine, FirstOpener("1.9"),
                                   Picture("1_1", "u1", "1.9", "1.9"), NextOpener("1", "1.9")}));
  EXPECT_EQ(run.view.statuses.back(), Progress(2, 1, 3));
  EXPECT_EQ(run.localiser.Names(), (Lines{"0_1", "1_1", "2_1"}));
}

// --- Gap cells ---

// Placeholder cells that number brings when it follows previous (or opens the page, when
// previous is empty: then the gap is measured from 0).
int PlaceholdersBroughtBy(const std::string& previous, const std::string& number) {
  const auto count = [](const std::vector<std::string>& numbers) {
    Conversion run;
    run.Convert(Options(10, true, false), Page(numbers));
    return run.Placeholders();
  };
  if (previous.empty()) return count({number});
  return count({previous, number}) - count({previous});
}

TEST(GapCellsTest, PlaceholderCountsAtTheBoundsOfTheGapRule) {
  struct Case {
    std::string previous;
    std::string number;
    int placeholders;
  };
  const Case cases[] = {
      {"10", "59", 48},
      {"10", "60", 0},  // a difference of exactly 50 is too large
      {"10", "9", 0},
      {"10", "11", 0},
      {"10", "12", 1},
      {"", "5", 4},
      {"", "49", 48},
      {"", "50", 0},
      {"-5", "3", 7},
      {"10", "$10", 5},  // values, not texts, are compared
      {"-2147483648", "-2147483600", 47},
      // Without 32-bit wrap-around these differences are far beyond 50.
      {"-2147483647", "2147483647", 0},
      {"-2147483648", "2147483647", 0},
      {"-2147483648", "1", 0},
      {"2147483646", "2147483647", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceholdersBroughtBy(c.previous, c.number), c.placeholders)
        << c.previous << " then " << c.number;
  }
  Conversion off;
  off.Convert(Options(10, false, false), Page({"1", "40"}));
  EXPECT_EQ(off.Placeholders(), 0);
  EXPECT_EQ(off.view.lines[4], NextOpener("1", "1.9"));
}

TEST(GapCellsTest, FirstNumberFiveGetsFourSquarePlaceholdersInTheFirstRow) {
  Conversion run;
  run.localiser.defaultHeight = 2.0L;
  run.Convert(Options(10, true, false), Page({"5"}));
  const std::string square = "<img style=\"width:1.9cm; height: 1.9cm\"/>";
  EXPECT_EQ(run.view.lines,
            (Lines{kTitleLine, kTableLine, FirstOpener("1.9"), square, NextOpener("1", "1.9"),
                   square, NextOpener("2", "1.9"), square, NextOpener("3", "1.9"), square,
                   NextOpener("4", "1.9"), Picture("5_1", "u5", "1.9", "2.0"), Closing("5")}));
}

TEST(GapCellsTest, CellBeforeTheGapIsClosedWithItsValue) {
  Conversion run;
  run.Convert(Options(10, true, false), Page({"070", "72"}));
  EXPECT_EQ(run.view.lines, (Lines{kTitleLine, kTableLine, FirstOpener("1.9"),
                                   Picture("070_1", "u070", "1.9", "1.9"), NextOpener("70", "1.9"),
                                   Placeholder("1.9", "1.9"), NextOpener("71", "1.9"),
                                   Picture("72_1", "u72", "1.9", "1.9"), Closing("72")}));
}

TEST(GapCellsTest, NegativeNumbersCountUpThroughZero) {
  Conversion run;
  run.Convert(Options(20, true, false), Page({"-2", "2"}));
  EXPECT_EQ(run.view.lines,
            (Lines{kTitleLine, kTableLine, FirstOpener("1.0"), Picture("-2_1", "u-2", "1.0", "1.0"),
                   NextOpener("-2", "1.0"), Placeholder("1.0", "1.0"), NextOpener("-1", "1.0"),
                   Placeholder("1.0", "1.0"), NextOpener("0", "1.0"), Placeholder("1.0", "1.0"),
                   NextOpener("1", "1.0"), Picture("2_1", "u2", "1.0", "1.0"), Closing("2")}));
}

TEST(GapCellsTest, PlaceholdersAreSquareUntilTheFirstPictureOfANonzeroNumber) {
  Conversion run;
  run.localiser.heights = {{"u0", 2.0L}, {"u3", 7.77L}, {"u6", 1.0L}};
  run.Convert(Options(4, true, true), Page({"0", "3", "6"}));
  Lines heights;
  for (const std::string& line : run.view.lines) {
    if (line.find("height: ") != std::string::npos) {
      heights.push_back(line.substr(line.find("height: ") + 8));
    }
  }
  // The wrapper's own height never reaches the page; the first picture of 3 fixes the rest.
  EXPECT_EQ(heights,
            (Lines{"4.8cm\"/>", "4.8cm\"/>", "7.8cm\"/>", "7.8cm\"/>", "7.8cm\"/>", "7.8cm\"/>"}));
  EXPECT_EQ(run.view.lines.back(), Closing("0"));
}

// --- Which source cells share an output cell ---

TEST(RepeatRuleTest, NumberTextsAreComparedByteForByte) {
  struct Case {
    std::vector<std::string> numbers;
    Lines names;
    int separators;
  };
  const Case cases[] = {
      {{"1"}, {"1_1"}, 0},
      {{"1", "1"}, {"1_1", "1_2"}, 1},
      {{"7", "07"}, {"7_1", "07_1"}, 0},
      {{"7", " 7"}, {"7_1", " 7_1"}, 0},
      {{"5", "6", "5"}, {"5_1", "6_1", "5_1"}, 0},  // a returning number starts at 1 again
      {{"3", "3", "3", "4", "4"}, {"3_1", "3_2", "3_3", "4_1", "4_2"}, 3},
  };
  for (const Case& c : cases) {
    Conversion run;
    run.Convert(Options(10, false, false), Page(c.numbers));
    EXPECT_EQ(run.localiser.Names(), c.names) << c.numbers.back();
    EXPECT_EQ(run.CountLines("<br/>"), c.separators) << c.numbers.back();
    EXPECT_EQ(run.CountLines("<tr valign"), 1) << c.numbers.back();
  }
  Conversion twice;
  twice.Convert(Options(10, false, false), Page({"1", "1"}));
  EXPECT_EQ(twice.view.lines,
            (Lines{kTitleLine, kTableLine, FirstOpener("1.9"), Picture("1_1", "u1", "1.9", "1.9"),
                   "<br/>", Picture("1_2", "u1", "1.9", "1.9"), Closing("1")}));
}

TEST(RepeatRuleTest, SkippedRepeatsStillCount) {
  const std::string page = Page({"1", "1", "1", "2"});
  const Lines statuses = {kSeekTitle,        kSeekTitleEnd,     kSeekFirstCell,   Progress(2, 1, 3),
                          Progress(3, 2, 4), Progress(4, 3, 5), Progress(5, 1, 6)};
  Conversion skip;
  skip.Convert(Options(10, true, false, true), page);
  EXPECT_EQ(skip.view.statuses, statuses);
  EXPECT_EQ(skip.localiser.Names(), (Lines{"1_1", "2_1"}));
  EXPECT_EQ(skip.view.lines,
            (Lines{kTitleLine, kTableLine, FirstOpener("1.9"), Picture("1_1", "u1", "1.9", "1.9"),
                   NextOpener("1", "1.9"), Picture("2_1", "u2", "1.9", "1.9"), Closing("2")}));

  Conversion stack;
  stack.Convert(Options(10, true, false, false), page);
  EXPECT_EQ(stack.view.statuses, statuses);
  EXPECT_EQ(stack.localiser.Names(), (Lines{"1_1", "1_2", "1_3", "2_1"}));
  EXPECT_EQ(stack.CountLines("<br/>"), 2);
}

TEST(RepeatRuleTest, OnlyTheFirstPictureOfASourceCellIsUsed) {
  Conversion run;
  run.Convert(Options(10, true, true),
              kHead + "<td><center>1<br><img src=\"a.jpg\" width=1><br><img src=\"b.jpg\" " +
                  "width=1></center></td>" + Cell("2", "c.jpg") +
                  "<td><center>3<br><img src=\"d.jpg\"></center></td>" + Cell("4", "e.jpg") +
                  Cell("5", "f.jpg"));
  // The address of 3 has no quote and blank behind it, so it runs on and swallows cell 4.
  std::vector<std::string> urls;
  for (const auto& call : run.localiser.calls) urls.push_back(call.url);
  EXPECT_EQ(urls, (Lines{"a.jpg", "c.jpg",
                         "d.jpg\"></center></td><td><center>4<br><img src=\"e.jpg", "f.jpg"}));
  EXPECT_EQ(run.localiser.Names(), (Lines{"1_1", "2_1", "3_1", "5_1"}));
}

// --- Held-back pictures ---

TEST(HeldBackTest, ZeroValuedNumbersGetCellsOfTheirOwnAtTheEnd) {
  Conversion run;
  run.localiser.defaultHeight = 3.0L;
  run.Convert(Options(2, false, true), Page({"0", "", "x", "1"}));
  EXPECT_EQ(run.localiser.Names(), (Lines{"0_1", "0_2", "0_3", "1_1"}));
  // Three held-back cells after the one of 1: they break rows like any other cell.
  EXPECT_EQ(run.view.lines, (Lines{kTitleLine, kTableLine, FirstOpener("9.5"),
                                   Picture("1_1", "u1", "9.5", "3.0"), NextOpener("1", "9.5"),
                                   PictureWithoutHeight("0_1", "u0", "9.5"), RowBreak("0", "9.5"),
                                   PictureWithoutHeight("0_2", "u", "9.5"), NextOpener("0", "9.5"),
                                   PictureWithoutHeight("0_3", "ux", "9.5"), Closing("0")}));
  EXPECT_EQ(run.view.statuses.back(), Progress(2, 1, 1));
}

TEST(HeldBackTest, HeldBackPicturesComeLastInPageOrder) {
  Conversion run;
  run.Convert(Options(10, false, true), Page({"1", "0", "2", "00"}));
  EXPECT_EQ(run.localiser.Names(), (Lines{"1_1", "0_1", "2_1", "0_2"}));
  const Lines& lines = run.view.lines;
  // Only the held-back cells are checked: how cell 2 is captioned after a zero-valued number
  // is not what this test is about.
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
            (Lines{PictureWithoutHeight("0_1", "u0", "1.9"), NextOpener("0", "1.9"),
                   PictureWithoutHeight("0_2", "u00", "1.9"), Closing("0")}));
}

TEST(HeldBackTest, WithoutHoldingBackValuelessNumbersStayInPlaceWithoutHeight) {
  Conversion run;
  run.localiser.heights = {{"u12a", 5.0L}, {"u1", 3.0L}};
  run.Convert(Options(10, false, false), Page({"12a", "1", ""}));
  EXPECT_EQ(run.view.lines,
            (Lines{kTitleLine, kTableLine, FirstOpener("1.9"),
                   PictureWithoutHeight("12a_1", "u12a", "1.9"), NextOpener("12a", "1.9"),
                   Picture("1_1", "u1", "1.9", "3.0"), NextOpener("1", "1.9"),
                   PictureWithoutHeight("_1", "u", "1.9"), Closing("")}));
  const auto& calls = run.localiser.calls;
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NE(calls[0].height, calls[1].height);
  EXPECT_EQ(calls[0].height, calls[2].height);
}

// --- Captions ---

TEST(CaptionTest, GapOpenersUseIntegerCaptionsAndAllOthersTextCaptions) {
  Conversion run;
  run.Convert(Options(10, true, true, false, true), Page({"0", "1", "4", "12"}));
  const std::string text0 = TextDigit('0') + "(0)";
  const std::string text3 = TextDigit('3') + "(3)";
  const std::string text12 = TextDigit('1') + TextDigit('2') + "(12)";
  EXPECT_EQ(run.view.lines, (Lines{kTitleLine,
                                   kTableLine,
                                   FirstOpener("1.9"),
                                   Picture("1_1", "u1", "1.9", "1.9"),
                                   NextOpener(IntDigit('1') + "(1)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('2') + "(2)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(text3, "1.9"),
                                   Picture("4_1", "u4", "1.9", "1.9"),
                                   NextOpener(IntDigit('4') + "(4)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('5') + "(5)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('6') + "(6)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('7') + "(7)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('8') + "(8)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(IntDigit('9') + "(9)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   RowBreak(IntDigit('1') + IntDigit('0') + "(10)", "1.9"),
                                   Placeholder("1.9", "1.9"),
                                   NextOpener(TextDigit('1') + TextDigit('1') + "(11)", "1.9"),
                                   Picture("12_1", "u12", "1.9", "1.9"),
                                   NextOpener(text12, "1.9"),
                                   PictureWithoutHeight("0_1", "u0", "1.9"),
                                   Closing(text0)}));
}

// --- Rows ---

TEST(RowTest, ARowBreakFollowsEveryFullRowButTheLast) {
  struct Case {
    int cellsPerRow;
    const char* width;
    int cells;
    int rowBreaks;
  };
  const Case cases[] = {{3, "6.3", 1, 0}, {3, "6.3", 3, 0},   {3, "6.3", 4, 1},   {3, "6.3", 6, 1},
                        {3, "6.3", 7, 2}, {20, "1.0", 20, 0}, {20, "1.0", 21, 1}, {2, "9.5", 5, 2}};
  for (const Case& c : cases) {
    std::vector<std::string> numbers;
    for (int n = 1; n <= c.cells; ++n) numbers.push_back(std::to_string(n));
    Conversion run;
    run.Convert(Options(c.cellsPerRow, true, true), Page(numbers));
    int breaks = 0;
    for (std::size_t i = 0; i < run.view.lines.size(); ++i) {
      if (run.view.lines[i].find("</tr>\r\n<tr") == std::string::npos) continue;
      ++breaks;
      // The opener of cell k * cellsPerRow + 1 closes cell k * cellsPerRow.
      EXPECT_EQ(run.view.lines[i], RowBreak(std::to_string(breaks * c.cellsPerRow), c.width));
    }
    EXPECT_EQ(breaks, c.rowBreaks) << c.cells << " cells of " << c.cellsPerRow;
    EXPECT_EQ(run.view.lines.back(), Closing(std::to_string(c.cells)));
  }
}

}  // namespace
}  // namespace picsheet
