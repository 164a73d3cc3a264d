// Letters, digits and blanks of protocol text (schemes, hosts, header values, size units), read
// as ASCII whatever the user's locale says.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

constexpr char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLowerCase(std::string_view text) {
  std::string lower;
  lower.reserve(text.size());
  for (char c : text) lower += AsciiLower(c);
  return lower;
}

constexpr bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

constexpr bool IsAsciiAlphanumeric(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }

// True when a and b differ at most in the case of ASCII letters.
constexpr bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// True when text begins with prefix, ASCII letters compared without case.
constexpr bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// The value of a hexadecimal digit of either case, or -1 for any other character.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// text without the characters of edges at either end.
constexpr std::string_view TrimmedOf(std::string_view text, std::string_view edges) {
  const std::size_t first = text.find_first_not_of(edges);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(edges) - first + 1);
}

}  // namespace picsheet
