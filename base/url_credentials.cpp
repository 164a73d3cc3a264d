// FindUserInfo, WithoutPassword and WithoutUserInfo.
#include "base/url_credentials.h"

#include <algorithm>

#include "base/ascii.h"

namespace picsheet {

std::optional<UserInfoSpan> FindUserInfo(std::string_view address) {
  const std::size_t start = address.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return std::nullopt;
  const std::size_t slashes = address.find("//", start);
  if (slashes == std::string_view::npos) return std::nullopt;
  // Only a scheme ("http:") or nothing may stand before the "//": in "img//a@b.jpg" it is a path.
  if (slashes != start) {
    if (address[slashes - 1] != ':' || !IsAsciiLetter(address[start])) return std::nullopt;
    for (std::size_t i = start; i + 1 < slashes; ++i) {
      const char c = address[i];
      if (!IsAsciiAlphanumeric(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
  }
  const std::size_t user = slashes + 2;
  const std::size_t end = std::min(address.find_first_of("/\\?#", user), address.size());
  const std::size_t at = address.substr(0, end).rfind('@');
  if (at == std::string_view::npos || at < user) return std::nullopt;
  const std::size_t colon = address.substr(0, at).find(':', user);
  return UserInfoSpan{user, colon == std::string_view::npos ? colon : colon + 1, at};
}

std::string WithoutPassword(std::string_view address) {
  std::string shown(address);
  const std::optional<UserInfoSpan> span = FindUserInfo(address);
  if (span && span->password != std::string_view::npos) {
    shown.erase(span->password - 1, span->at - span->password + 1);
  }
  return shown;
}

std::string WithoutUserInfo(std::string_view address) {
  std::string bare(address);
  if (const std::optional<UserInfoSpan> span = FindUserInfo(address)) {
    bare.erase(span->user, span->at - span->user + 1);
  }
  return bare;
}

}  // namespace picsheet
