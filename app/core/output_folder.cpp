// Choosing the window's output folder: the program folder when writable, else documents.
#include "app/core/output_folder.h"

#include <unistd.h>

#include <filesystem>

#include "app/core/program_folder.h"

namespace picsheet {
namespace {

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

std::string WindowOutputFolder(const std::string& programFolder, const std::string& installedFolder,
                               const std::string& documentsFolder,
                               const std::function<bool(const std::string&)>& writable) {
  if (!IsSameFolder(programFolder, installedFolder) && writable(programFolder))
    return programFolder;
  if (documentsFolder.empty()) return programFolder;
  const std::string folder = WithTrailingSlash(documentsFolder) + "picsheet/";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

}  // namespace picsheet
