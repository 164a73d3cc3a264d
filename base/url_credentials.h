// The user name and password a link may carry ("http://user:pw@host/"): where they stand, and the
// address without them, so that a password never reaches a file name, a screen or a header.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace picsheet {

// Where the credentials of an address stand: the user name is [user, password - 1) when there is
// a password, the password [password, at), and at is the "@" that ends them.
struct UserInfoSpan {
  std::size_t user = 0;
  std::size_t password = std::string_view::npos;  // npos: no ":" and so no password
  std::size_t at = 0;
};

// The credentials of an address with an authority ("scheme://" or "//", blanks before it
// allowed): what stands before the last "@" ahead of the first "/", "\", "?" or "#" after the
// "//", as browsers split it. nullopt for an address without them, or without an authority.
std::optional<UserInfoSpan> FindUserInfo(std::string_view address);

// The address as it may be shown: "http://user:pw@host/a" gives "http://user@host/a"; an address
// without a password is returned as it is.
std::string WithoutPassword(std::string_view address);

// The address without its user name and password: "http://user:pw@host/a" gives
// "http://host/a".
std::string WithoutUserInfo(std::string_view address);

}  // namespace picsheet
