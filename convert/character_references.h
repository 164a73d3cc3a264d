// Character references in an HTML attribute value, decoded as a browser decodes them.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

// The attribute value with its character references decoded by the browsers' rules for attribute
// values: "&amp;", "&#38;" and "&#x26;" give "&", every named reference of HTML is known, and
// the legacy names (such as "&copy") count without ";" too, except before "=", a letter or a
// digit, where they stay as written ("?a=1&copy=2" keeps its "&copy"). Numeric references to
// nothing valid give U+FFFD, and 128-159 the Windows-1252 characters, as browsers give them.
// Decoded characters are written as UTF-8, and so is the U+FFFD a zero byte becomes; every
// other byte, and an "&" that starts no reference, stays as it is.
std::string DecodeAttributeCharacterReferences(std::string_view value);

}  // namespace picsheet
