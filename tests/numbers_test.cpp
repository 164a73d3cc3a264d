// Values of number texts, the one-decimal sizes of the page and the two caption builders.
#include "convert/numbers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

struct ValueCase {
  std::string_view text;
  std::int32_t value;
};

TEST(NumberValueTest, DecimalLiteralsWithinSigned32Bits) {
  const ValueCase cases[] = {
      {"0", 0},
      {"7", 7},
      {"07", 7},
      {"12", 12},
      {"+5", 5},
      {"-5", -5},
      {"   12", 12},
      {"  -3", -3},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"+2147483647", INT32_MAX},
      {"00000000000000002147483647", INT32_MAX},
      {"-000000000000000000001", -1},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(NumberValue(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberValueTest, HexadecimalIsA32BitPattern) {
  const ValueCase cases[] = {
      {"$10", 16},
      {"x1f", 31},
      {"X1F", 31},
      {"0x10", 16},
      {"0XfF", 255},
      {"$FFFFFFFF", -1},
      {"$ffffffff", -1},
      {"$7FFFFFFF", INT32_MAX},
      {"$80000000", INT32_MIN},
      {"$0", 0},
      {"$00000001", 1},
      {"-$10", -16},
      {"+0x10", 16},
      {"  $A", 10},
  };
  for (const ValueCase& c : cases) EXPECT_EQ(NumberValue(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberValueTest, AnythingElseIsZero) {
  const std::string_view texts[] = {
      "",
      " ",
      "12a",
      "a12",
      "12 ",   // nothing after the digits, blanks included
      "\t12",  // only the byte 32 counts as a blank
      "\xA0"
      "12",   // nor does a no-break space
      "- 5",  // no blank after the sign
      "+-5",
      "--5",
      "+",
      "-",
      "1.5",
      "1e3",
      "1,000",
      "2147483648",  // outside the signed 32-bit range
      "-2147483649",
      "99999999999999999999",
      "$",
      "x",
      "0x",
      "$100000000",  // nine hexadecimal digits
      "$G",
      "$ 10",
      "$-1",
      "0x-1",
      "00x10",
      "1x10",
      "$0x10",
      "12\n",
  };
  for (std::string_view text : texts) EXPECT_EQ(NumberValue(text), 0) << '"' << text << '"';
}

// The width of a cell for each number of cells per row, as the page writes it.
TEST(FormatOneDecimalTest, CellWidthForEveryRowLength) {
  const char* const widths[] = {"9.5", "6.3", "4.8", "3.8", "3.2", "2.7", "2.4",
                                "2.1", "1.9", "1.7", "1.6", "1.5", "1.4", "1.3",
                                "1.2", "1.1", "1.1", "1.0", "1.0"};
  for (int cells = 2; cells <= 20; ++cells) {
    EXPECT_EQ(FormatOneDecimal(19.0L / cells), widths[cells - 2]) << "cells per row " << cells;
  }
}

TEST(FormatOneDecimalTest, RoundsTheDecimalExpansionHalfUp) {
  struct Case {
    long double value;
    const char* text;
  };
  const Case cases[] = {
      {0.0L, "0.0"},
      {8.43L, "8.4"},
      {0.25L, "0.3"},  // an exact tie goes up, not to even
      {2.25L, "2.3"},
      {4.75L, "4.8"},
      {0.95L, "1.0"},  // held a little below 0.95, yet its 17-place expansion is 0.95000...
      {0.35L, "0.4"},
      {1.45L, "1.5"},
      {6.35L, "6.4"},
      {0.05L - 1e-19L, "0.1"},  // vanishes at 17 places
      {0.05L - 1e-16L, "0.0"},  // does not
      {1.0L - 1e-19L, "1.0"},
      {400 * 1.9L / 300, "2.5"},
      {300 * 1.9L / 400, "1.4"},
      {9.95L, "10.0"},  // carries into a new integer digit
      {9.99L, "10.0"},
      {10.0L, "10.0"},
      {12.65L, "12.7"},
      {99.95L, "100.0"},
      {123.45L, "123.5"},
      {1234567.85L, "1234567.9"},
      {1e20L, "100000000000000000000.0"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatOneDecimal(c.value), c.text) << c.text;
}

// Makes the process run under a locale whose decimal separator is a comma, generating one from
// the system's locale sources into a temporary folder when none is installed.
class CommaLocale {
 public:
  CommaLocale() {
    previous_ = std::setlocale(LC_ALL, nullptr);
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "ru_RU.UTF-8", "fr_FR.UTF-8"}) {
      if (TrySet(name)) return;
    }
    const std::string target = folder_.File("de_DE.UTF-8");
    const std::string command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return;
    ::setenv("LOCPATH", folder_.path().c_str(), 1);
    locpathSet_ = true;
    TrySet("de_DE.UTF-8");
  }
  ~CommaLocale() {
    std::setlocale(LC_ALL, previous_.c_str());
    if (locpathSet_) ::unsetenv("LOCPATH");
  }
  CommaLocale(const CommaLocale&) = delete;
  CommaLocale& operator=(const CommaLocale&) = delete;

  bool active() const { return active_; }

 private:
  bool TrySet(const char* name) {
    if (std::setlocale(LC_ALL, name) == nullptr) return false;
    char printed[16];
    std::snprintf(printed, sizeof printed, "%.1f", 1.5);
    active_ = std::string(printed) == "1,5";
    if (!active_) std::setlocale(LC_ALL, previous_.c_str());
    return active_;
  }

  testkit::TempDir folder_;
  std::string previous_;
  bool locpathSet_ = false;
  bool active_ = false;
};

TEST(FormatOneDecimalTest, FullStopUnderACommaLocale) {
  CommaLocale comma;
  if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma is available";
  EXPECT_EQ(FormatOneDecimal(19.0L / 10), "1.9");
  EXPECT_EQ(FormatOneDecimal(12.65L), "12.7");
  EXPECT_EQ(FormatOneDecimal(1e20L), "100000000000000000000.0");
}

std::string TextDigit(char digit) {
  return std::string("<img src=\"syriannums/") + digit +
         ".png\" style=\"height:0.5cm;width:0.3cm\"/>";
}
std::string IntDigit(const std::string& digit) {
  return "<img src=\"syriannums/" + digit + ".png\" style=\"height:0.5cm;width:0.3cm\" />";
}

TEST(NumberLabelTest, FromTextGivesAnImagePerAsciiDigitThenTheWholeText) {
  struct Case {
    std::string_view text;
    std::string label;
  };
  const Case cases[] = {
      {"12", TextDigit('1') + TextDigit('2') + "(12)"},
      {"12a", TextDigit('1') + TextDigit('2') + "(12a)"},
      {"07", TextDigit('0') + TextDigit('7') + "(07)"},
      {"-3", TextDigit('3') + "(-3)"},
      {"a1b", TextDigit('1') + "(a1b)"},
      {"x", "(x)"},
      {"", "()"},
  };
  for (const Case& c : cases) EXPECT_EQ(NumberLabelFromText(c.text), c.label) << c.text;
}

TEST(NumberLabelTest, FromIntGivesSignedDigitsMostSignificantFirst) {
  struct Case {
    std::int32_t value;
    std::initializer_list<const char*> digits;
    std::string text;
  };
  const Case cases[] = {
      {0, {"0"}, "(0)"},
      {7, {"7"}, "(7)"},
      {12, {"1", "2"}, "(12)"},
      {105, {"1", "0", "5"}, "(105)"},
      {-12, {"-1", "-2"}, "(-12)"},
      {INT32_MAX, {"2", "1", "4", "7", "4", "8", "3", "6", "4", "7"}, "(2147483647)"},
      {INT32_MIN, {"-2", "-1", "-4", "-7", "-4", "-8", "-3", "-6", "-4", "-8"}, "(-2147483648)"},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const char* digit : c.digits) label += IntDigit(digit);
    EXPECT_EQ(NumberLabelFromInt(c.value), label + c.text) << c.value;
  }
}

}  // namespace
}  // namespace picsheet
