// Where the window writes its pages: beside the program when it may, else in the user's documents
// folder.
#pragma once

#include <functional>
#include <string>

namespace picsheet {

// Whether the current user may create files in folder (access(2) with W_OK).
bool FolderIsWritable(const std::string& folder);

// programFolder (ending in "/") when writable says so, as a portable copy or a build tree has it,
// unless it is installedFolder: the folder the install rules put the program in is no place for
// a user's pages even where root may write there. Else "picsheet/" in documentsFolder (the
// user's documents folder as the desktop names it), created with its parents when missing;
// programFolder when there is no documents folder (empty). A folder that cannot be created is
// returned all the same: the run's first write reports why.
std::string WindowOutputFolder(
    const std::string& programFolder, const std::string& installedFolder,
    const std::string& documentsFolder,
    const std::function<bool(const std::string&)>& writable = FolderIsWritable);

}  // namespace picsheet
