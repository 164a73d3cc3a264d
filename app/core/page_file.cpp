// SavePage: the page's lines with CR LF, written whole through an atomic file.
#include "app/core/page_file.h"

#include "base/atomic_file.h"

namespace picsheet {

void SavePage(const std::string& path, const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string bytes;
  bytes.reserve(size);
  for (const std::string& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  WriteFileAtomically(path, bytes);
}

}  // namespace picsheet
