// Number texts of a catalogue: their values, their captions, and the one-decimal form of sizes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace picsheet {

// The value of a number text read as a signed 32-bit integer literal: blanks (byte 32) in front,
// one sign, then decimal digits within the 32-bit range, or "$", "x", "X", "0x", "0X" and up to
// eight hexadecimal digits taken as a 32-bit pattern. Anything else, the empty text included, is 0.
std::int32_t NumberValue(std::string_view text);

// Fixed-point text with one digit after a full stop, independent of the locale. The value is first
// rounded half to even to 17 digits after the point (below 10) or to 18 significant digits (from 10
// on), and that expansion is rounded half up to one decimal: 19/20 gives "1.0", 19/3 gives "6.3".
std::string FormatOneDecimal(long double value);

// A digit image per ASCII digit of text (ending "/>"), then "(" + text + ")".
std::string NumberLabelFromText(std::string_view text);

// "(" + value + ")" preceded by the digit images of value, most significant first (ending " />").
std::string NumberLabelFromInt(std::int32_t value);

}  // namespace picsheet
