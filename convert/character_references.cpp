// DecodeAttributeCharacterReferences: the HTML tokenizer's character reference states for text
// inside an attribute value.
#include "convert/character_references.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/ascii.h"
#include "base/windows1251.h"

namespace picsheet {
namespace {

struct NamedReference {
  std::string_view name;
  std::string_view text;  // UTF-8
};

constexpr NamedReference kNamedReferences[] = {
#include "convert/named_character_references.inc"
};

constexpr std::size_t kLongestName = 32;

// What a numeric reference to code stands for: the replacement character for zero, surrogates
// and numbers beyond Unicode; the Windows-1252 character for the C1 controls that code page
// fills (pages written for it used "&#150;" for a dash); the code itself otherwise.
std::uint32_t NumericReferenceCharacter(std::uint32_t code) {
  static constexpr std::uint16_t kWindows1252[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0xFFFD;
  if (code >= 0x80 && code <= 0x9F) return kWindows1252[code - 0x80];
  return code;
}

// The longest name of the table that text begins with, or nullptr.
const NamedReference* LongestNamedReference(std::string_view text) {
  const auto less = [](const NamedReference& entry, std::string_view name) {
    return entry.name < name;
  };
  for (std::size_t length = std::min(text.size(), kLongestName); length >= 2; --length) {
    const std::string_view candidate = text.substr(0, length);
    const auto found =
        std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), candidate, less);
    if (found != std::end(kNamedReferences) && found->name == candidate) return found;
  }
  return nullptr;
}

// Decodes the numeric reference that value holds at position (just after "&#"); returns the
// position after it, or position itself when no digit follows (the "&#" then stays as written).
std::size_t DecodeNumeric(std::string_view value, std::size_t position, std::string& out) {
  const bool hex = position < value.size() && (value[position] == 'x' || value[position] == 'X');
  std::size_t end = hex ? position + 1 : position;
  std::uint32_t code = 0;
  const std::size_t firstDigit = end;
  while (end < value.size() &&
         (hex ? HexDigitValue(value[end]) >= 0 : value[end] >= '0' && value[end] <= '9')) {
    const std::uint32_t digit =
        static_cast<std::uint32_t>(hex ? HexDigitValue(value[end]) : value[end] - '0');
    // Past U+10FFFF the value no longer matters: it gives the replacement character.
    code = code > 0x10FFFF ? code : code * (hex ? 16 : 10) + digit;
    ++end;
  }
  if (end == firstDigit) return position;
  if (end < value.size() && value[end] == ';') ++end;
  AppendUtf8(out, NumericReferenceCharacter(code));
  return end;
}

}  // namespace

std::string DecodeAttributeCharacterReferences(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  std::size_t i = 0;
  while (i < value.size()) {
    const char c = value[i];
    if (c == '\0') {
      // The tokenizer's own rule for a zero byte in an attribute; it would also end a file name.
      AppendUtf8(out, 0xFFFD);
      ++i;
      continue;
    }
    if (c != '&' || i + 1 >= value.size()) {
      out += c;
      ++i;
      continue;
    }
    if (value[i + 1] == '#') {
      const std::size_t after = DecodeNumeric(value, i + 2, out);
      if (after != i + 2) {
        i = after;
        continue;
      }
    } else if (IsAsciiAlphanumeric(value[i + 1])) {
      const NamedReference* named = LongestNamedReference(value.substr(i + 1));
      if (named != nullptr) {
        const std::size_t after = i + 1 + named->name.size();
        // A legacy name without ";" inside a query ("&copy=2", "&notice") is a parameter of the
        // address, not a reference: browsers keep it as written.
        const bool keptAsWritten = named->name.back() != ';' && after < value.size() &&
                                   (value[after] == '=' || IsAsciiAlphanumeric(value[after]));
        if (!keptAsWritten) {
          out += named->text;
          i = after;
          continue;
        }
      }
    }
    out += '&';
    ++i;
  }
  return out;
}

}  // namespace picsheet
