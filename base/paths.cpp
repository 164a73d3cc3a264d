// CurrentDirectory, AbsolutePathLexically and SystemErrorDescription.
#include "base/paths.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace picsheet {

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string SystemErrorDescription(int code) {
  std::string text = std::strerror(code);
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\r' || text.back() == '\n' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

std::string AbsolutePathLexically(const std::string& path) {
  const std::string joined =
      (!path.empty() && path[0] == '/') ? path : CurrentDirectory() + "/" + path;
  // POSIX keeps a leading "//" distinct from "/"; three or more collapse to one.
  const bool doubleRoot = joined.size() >= 2 && joined[0] == '/' && joined[1] == '/' &&
                          (joined.size() == 2 || joined[2] != '/');
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string part = joined.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string result = doubleRoot ? "//" : "/";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) result += '/';
    result += parts[i];
  }
  return result;
}

}  // namespace picsheet
