// Choosing the window's output folder: the program folder when writable, else documents.
#include "app/core/output_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include "app/core/program_folder.h"

namespace picsheet {
namespace {

constexpr std::string_view kDocumentsKey = "XDG_DOCUMENTS_DIR=";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  // A session started without HOME (a service, sudo -H off) still has a password entry.
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

// A value of user-dirs.dirs is "$HOME/..." or an absolute path, in double quotes with shell
// escapes; anything else is not a folder the file may name, and is ignored.
std::optional<std::string> ExpandUserDir(std::string_view value, const std::string& home) {
  std::string text;
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
    for (std::size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      text += value[i];
    }
  } else {
    text = value;
  }
  if (text == "$HOME" || text.rfind("$HOME/", 0) == 0) return home + text.substr(5);
  if (!text.empty() && text.front() == '/') return text;
  return std::nullopt;
}

// The last valid assignment in the file wins, as when a shell sources it.
std::optional<std::string> DocumentsFromUserDirs(const std::string& home) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const std::string config =
      configHome != nullptr && *configHome == '/' ? std::string(configHome) : home + "/.config";
  std::ifstream file(config + "/user-dirs.dirs");
  std::optional<std::string> found;
  for (std::string line; std::getline(file, line);) {
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, kDocumentsKey.size(), kDocumentsKey) != 0)
      continue;
    std::string_view value = std::string_view(line).substr(start + kDocumentsKey.size());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r'))
      value.remove_suffix(1);
    if (auto folder = ExpandUserDir(value, home)) found = std::move(folder);
  }
  return found;
}

// /proc/self/exe names the program by its real path; the installed folder may be reached through
// a link (/bin on a merged /usr).
bool IsSameFolder(const std::string& a, const std::string& b) {
  const auto real = [](const std::string& folder) {
    std::filesystem::path path = std::filesystem::path(folder).lexically_normal();
    if (path.has_relative_path() && !path.has_filename()) path = path.parent_path();
    std::error_code failed;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, failed);
    return failed ? path : resolved;
  };
  return !a.empty() && !b.empty() && real(a) == real(b);
}

}  // namespace

bool FolderIsWritable(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

std::string UserDocumentsFolder() {
  const std::string home = HomeFolder();
  if (home.empty()) return "";
  if (auto folder = DocumentsFromUserDirs(home)) return WithTrailingSlash(*folder);
  const char* variable = std::getenv("XDG_DOCUMENTS_DIR");
  if (variable != nullptr && *variable == '/') return WithTrailingSlash(variable);
  return WithTrailingSlash(home) + "Documents/";
}

std::string WindowOutputFolder(const std::string& programFolder, const std::string& installedFolder,
                               const std::function<bool(const std::string&)>& writable) {
  if (!IsSameFolder(programFolder, installedFolder) && writable(programFolder))
    return programFolder;
  const std::string documents = UserDocumentsFolder();
  if (documents.empty()) return programFolder;
  const std::string folder = documents + "picsheet/";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace picsheet
