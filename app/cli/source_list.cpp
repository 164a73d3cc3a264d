// SourcesInList and ReadSourceList: a --list file read whole and split into sources.
#include "app/cli/source_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/messages.h"
#include "convert/source.h"

namespace picsheet {
namespace {

[[noreturn]] void ThrowUnreadable(const std::string& path) {
  throw Error(ErrorKind::kOther, messages::CannotReadList(path, std::strerror(errno)));
}

// Every byte of fd up to its end; a directory fails here with EISDIR, as it should.
std::string ReadAll(int fd, const std::string& path) {
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) return text;
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowUnreadable(path);
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

std::vector<std::string> SourcesInList(std::string_view text) {
  std::vector<std::string> sources;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    // WithoutLinkBlanks also drops the CR of a list written on Windows.
    const std::string_view line = WithoutLinkBlanks(text.substr(0, end));
    if (!line.empty() && line.front() != '#') sources.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return sources;
}

std::vector<std::string> ReadSourceList(const std::string& path) {
  if (path == "-") return SourcesInList(ReadAll(STDIN_FILENO, path));
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) ThrowUnreadable(path);
  return SourcesInList(ReadAll(file.get(), path));
}

}  // namespace picsheet
