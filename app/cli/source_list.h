// The sources of a --list file: one a line, as a collector keeps them in a text file or pipes
// them in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace picsheet {

// The sources in text, in order: each line without its blanks as a pasted link drops them (a
// trailing CR included); blank lines and lines that begin with "#" are left out.
std::vector<std::string> SourcesInList(std::string_view text);

// The sources in the file at path, or on stdin for "-". Throws Error
// "Cannot read the list \"PATH\": REASON" (the system's words) when it cannot be read.
std::vector<std::string> ReadSourceList(const std::string& path);

}  // namespace picsheet
