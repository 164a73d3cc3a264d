// Writing the output page: every line followed by CR LF, bytes as they are.
#pragma once

#include <string>
#include <vector>

namespace picsheet {

// Writes lines to path atomically: a temporary file in the same folder is renamed over the old
// page, so a failed write leaves the previous page intact. No byte-order mark; no lines give an
// empty file. Throws Error "Cannot create file \"%s\". %s" or "Stream write error".
void SavePage(const std::string& path, const std::vector<std::string>& lines);

}  // namespace picsheet
