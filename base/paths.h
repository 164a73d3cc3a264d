// Paths and system error texts as the user is shown them.
#pragma once

#include <string>

namespace picsheet {

// The process's current directory; "/" when it cannot be read.
std::string CurrentDirectory();

// The path resolved against the current directory, lexically: "." and ".." and doubled slashes
// folded, links not followed. The empty path gives the current directory.
std::string AbsolutePathLexically(const std::string& path);

// strerror(code) without trailing blanks, line breaks and full stops, for messages that add
// their own punctuation.
std::string SystemErrorDescription(int code);

}  // namespace picsheet
