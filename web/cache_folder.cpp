// DefaultCacheFolder: XDG_CACHE_HOME, else HOME, else the password database.
#include "web/cache_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace picsheet {
namespace {

// The variable's value when it is an absolute path; "" otherwise.
std::string AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && value[0] == '/') ? std::string(value) : std::string();
}

std::string HomeFromPasswordDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr || found->pw_dir == nullptr || found->pw_dir[0] != '/') {
    return {};
  }
  return found->pw_dir;
}

// The path without trailing slashes, so that joining "/" + name never doubles one ("/" gives "").
std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string DefaultCacheFolder() {
  std::string base = AbsoluteFromEnvironment("XDG_CACHE_HOME");
  if (base.empty()) {
    std::string home = AbsoluteFromEnvironment("HOME");
    if (home.empty()) home = HomeFromPasswordDatabase();
    if (home.empty()) return {};
    base = WithoutTrailingSlashes(home) + "/.cache";
  }
  return WithoutTrailingSlashes(base) + "/picsheet";
}

}  // namespace picsheet
