// The Windows-1251 table and the UTF-8 decoding, encoding and validity check.
#include "base/windows1251.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace picsheet {
namespace {

// Bytes 128 to 191; from 192 on the code page is the alphabet А..я in order.
constexpr std::array<char16_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};

constexpr char32_t kCyrillicA = 0x0410;  // А, byte 192; я (U+044F) is byte 255

char32_t Windows1251Char(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte < 0xC0) return kUpperHalf[byte - 0x80];
  return kCyrillicA + (byte - 0xC0);
}

// The byte for c, or -1 when the code page has none.
int Windows1251Byte(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  if (c >= kCyrillicA && c < kCyrillicA + 64) return static_cast<int>(0xC0 + (c - kCyrillicA));
  for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
    if (kUpperHalf[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

// Length of the well-formed UTF-8 sequence at bytes[at] and its code point; 0 when there is none.
std::size_t NextUtf8(std::string_view bytes, std::size_t at, char32_t& c) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t least = 0;  // the smallest code point of that length: shorter forms are overlong
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, least = 0x80, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, least = 0x800, c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, least = 0x10000, c = lead & 0x07;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string DecodeWindows1251(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) AppendUtf8(text, Windows1251Char(static_cast<unsigned char>(byte)));
  return text;
}

Windows1251Encoding EncodeWindows1251(std::string_view utf8) {
  Windows1251Encoding result;
  result.bytes.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = 0;
    const std::size_t length = NextUtf8(utf8, at, c);
    if (length == 0) {
      result.refused.assign(1, utf8[at]);  // not from a view: GCC 12 mis-warns (-Wrestrict)
      return result;
    }
    const int byte = Windows1251Byte(c);
    if (byte < 0) {
      result.refused = utf8.substr(at, length);
      return result;
    }
    result.bytes += static_cast<char>(byte);
    at += length;
  }
  return result;
}

std::string EncodeWindows1251(std::string_view utf8, std::string (*unmapped)(char32_t)) {
  std::string bytes;
  bytes.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    char32_t c = 0xFFFD;
    const std::size_t length = std::max<std::size_t>(NextUtf8(utf8, at, c), 1);
    if (length == 1 && static_cast<unsigned char>(utf8[at]) >= 0x80) c = 0xFFFD;
    const int byte = Windows1251Byte(c);
    if (byte < 0) {
      bytes += unmapped(c);
    } else {
      bytes += static_cast<char>(byte);
    }
    at += length;
  }
  return bytes;
}

std::string WithReplacementCharacters(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    char32_t c = 0;
    const std::size_t length = NextUtf8(bytes, at, c);
    if (length == 0) {
      AppendUtf8(text, 0xFFFD);
      ++at;
    } else {
      text.append(bytes.substr(at, length));
      at += length;
    }
  }
  return text;
}

bool IsValidUtf8(std::string_view bytes) {
  char32_t c = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = NextUtf8(bytes, at, c);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string Utf8OrWindows1251(std::string_view bytes) {
  return IsValidUtf8(bytes) ? std::string(bytes) : DecodeWindows1251(bytes);
}

}  // namespace picsheet
