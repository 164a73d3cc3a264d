// The Windows-1251 code page of the catalogue pages, and UTF-8, the text of this system.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

// bytes read as Windows-1251, as UTF-8: 0-127 as ASCII, 192-255 as the Cyrillic alphabet, 128-191
// by the code page's table. Byte 152, which the code page leaves unassigned, becomes U+0098 as
// Windows and the browsers map it, so that no two byte strings give the same text. Never fails.
std::string DecodeWindows1251(std::string_view bytes);

// Text in UTF-8 encoded as Windows-1251; U+0098 gives byte 152 back.
struct Windows1251Encoding {
  std::string bytes;    // the whole text encoded, when refused is empty
  std::string refused;  // else the first character (UTF-8) the code page has no byte for, or the
                        // first byte that is no valid UTF-8
};
Windows1251Encoding EncodeWindows1251(std::string_view utf8);

// Text in UTF-8 encoded as Windows-1251 whatever it holds: each character the code page has no
// byte for (U+FFFD for a byte that is no valid UTF-8) as the bytes unmapped gives for it.
std::string EncodeWindows1251(std::string_view utf8, std::string (*unmapped)(char32_t));

// bytes as valid UTF-8: each byte that is no part of a well-formed sequence as U+FFFD.
std::string WithReplacementCharacters(std::string_view bytes);

// The code point c (at most U+10FFFF) appended to out as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// Whether bytes are well-formed UTF-8: shortest forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Text that may be either, as UTF-8: valid UTF-8 stays as it is, anything else is read as
// Windows-1251.
std::string Utf8OrWindows1251(std::string_view bytes);

}  // namespace picsheet
