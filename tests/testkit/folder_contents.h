// What a folder holds, for assertions on what a run wrote or left alone.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace picsheet::testkit {

// Every file under folder by relative path, with its bytes.
std::map<std::string, std::string> FolderContents(const std::string& folder);
// Every file and folder under folder by relative path, with a file's bytes ("<dir>" for a folder).
std::map<std::string, std::string> SnapshotFolder(const std::string& folder);
// The names of the entries right inside folder, sorted.
std::vector<std::string> FolderNames(const std::string& folder);

}  // namespace picsheet::testkit
