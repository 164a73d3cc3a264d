// The user's documents folder, where an installed window writes its pages.
#pragma once

#include <string>

namespace picsheet {

// The documents folder as the desktop names it (QStandardPaths::DocumentsLocation: the
// XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents), ending in "/", as a file-system path;
// empty when there is none.
std::string DocumentsFolder();

}  // namespace picsheet
