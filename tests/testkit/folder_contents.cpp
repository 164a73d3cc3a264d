#include "tests/testkit/folder_contents.h"

#include <algorithm>
#include <filesystem>

#include "tests/testkit/temp_dir.h"

namespace picsheet::testkit {
namespace {

std::map<std::string, std::string> Walk(const std::string& folder, bool withFolders) {
  std::map<std::string, std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string relative = std::filesystem::relative(entry.path(), folder).string();
    if (entry.is_regular_file()) {
      found[relative] = ReadFileBytes(entry.path().string());
    } else if (withFolders) {
      found[relative] = "<dir>";
    }
  }
  return found;
}

}  // namespace

std::map<std::string, std::string> FolderContents(const std::string& folder) {
  return Walk(folder, false);
}

std::map<std::string, std::string> SnapshotFolder(const std::string& folder) {
  return Walk(folder, true);
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace picsheet::testkit
