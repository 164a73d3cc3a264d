// NumberValue, FormatOneDecimal and the two caption builders.
#include "convert/numbers.h"

#include <locale.h>
#include <clocale>
#include <cmath>
#include <cstdio>

#include "base/ascii.h"

namespace picsheet {
namespace {

// Switches this thread to the "C" numeric locale for the lifetime of the object, so that printf
// writes a full stop whatever locale the program runs under.
class CNumericLocale {
 public:
  CNumericLocale() {
    static const locale_t c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    previous_ = c != static_cast<locale_t>(nullptr) ? uselocale(c) : static_cast<locale_t>(nullptr);
  }
  ~CNumericLocale() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  CNumericLocale(const CNumericLocale&) = delete;
  CNumericLocale& operator=(const CNumericLocale&) = delete;

 private:
  locale_t previous_;
};

// Adds one to the decimal number written in digits (no sign, no point).
void IncrementDigits(std::string& digits) {
  for (std::size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

constexpr std::string_view kTextDigitEnd = ".png\" style=\"height:0.5cm;width:0.3cm\"/>";
constexpr std::string_view kIntDigitEnd = ".png\" style=\"height:0.5cm;width:0.3cm\" />";
constexpr std::string_view kDigitStart = "<img src=\"syriannums/";

}  // namespace

std::int32_t NumberValue(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::string_view rest = text.substr(i);
  std::uint32_t magnitude = 0;
  if (!rest.empty() &&
      (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X' ||
       (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')))) {
    rest.remove_prefix(rest[0] == '0' ? 2 : 1);
    if (rest.empty() || rest.size() > 8) return 0;
    for (char c : rest) {
      const int digit = HexDigitValue(c);
      if (digit < 0) return 0;
      magnitude = magnitude * 16 + static_cast<std::uint32_t>(digit);
    }
    // A hexadecimal value is a 32-bit pattern; the sign negates it with wrap-around.
    const std::uint32_t pattern = negative ? 0u - magnitude : magnitude;
    return static_cast<std::int32_t>(pattern);
  }
  if (rest.empty()) return 0;
  std::int64_t value = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return 0;
  }
  if (negative) value = -value;
  if (value > 2147483647LL) return 0;
  return static_cast<std::int32_t>(value);
}

std::string FormatOneDecimal(long double value) {
  if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
  const bool negative = std::signbit(value);
  const long double magnitude = std::fabs(value);

  // First stage: glibc prints the exact binary value rounded half to even.
  char buffer[128];
  std::string integerDigits;
  std::string fractionDigits;
  {
    CNumericLocale cLocale;
    if (magnitude < 10.0L) {
      std::snprintf(buffer, sizeof buffer, "%.17Lf", magnitude);
      const std::string printed = buffer;
      integerDigits = printed.substr(0, printed.find('.'));
      fractionDigits = printed.substr(printed.find('.') + 1);
    } else {
      std::snprintf(buffer, sizeof buffer, "%.17Le", magnitude);
      const std::string printed = buffer;  // d.ddddddddddddddddde+XX
      const std::size_t e = printed.find('e');
      std::string mantissa = printed.substr(0, 1) + printed.substr(2, e - 2);
      const int exponent = std::stoi(printed.substr(e + 1));
      if (static_cast<std::size_t>(exponent) + 1 >= mantissa.size()) {
        mantissa.append(static_cast<std::size_t>(exponent) + 1 - mantissa.size(), '0');
      }
      integerDigits = mantissa.substr(0, static_cast<std::size_t>(exponent) + 1);
      fractionDigits = mantissa.substr(static_cast<std::size_t>(exponent) + 1);
    }
  }

  // Second stage: half up to one decimal on the decimal expansion.
  fractionDigits.resize(2, '0');
  std::string digits = integerDigits + fractionDigits[0];
  if (fractionDigits[1] >= '5') IncrementDigits(digits);
  std::string result = negative ? "-" : "";
  result.append(digits, 0, digits.size() - 1);
  result += '.';
  result += digits.back();
  return result;
}

std::string NumberLabelFromText(std::string_view text) {
  std::string label;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      label += kDigitStart;
      label += c;
      label += kTextDigitEnd;
    }
  }
  label += '(';
  label += text;
  label += ')';
  return label;
}

std::string NumberLabelFromInt(std::int32_t value) {
  // Appended rather than "(" + ...: GCC 12 at -O3 mistakes that insert for an overlapping copy.
  std::string label(1, '(');
  label += std::to_string(value);
  label += ')';
  std::int32_t rest = value;
  do {
    const std::int32_t digit = rest % 10;  // takes the sign of the value
    rest /= 10;
    label = std::string(kDigitStart) + std::to_string(digit) + std::string(kIntDigitEnd) + label;
  } while (rest != 0);
  return label;
}

}  // namespace picsheet
