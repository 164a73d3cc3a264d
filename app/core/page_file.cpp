#include "app/core/page_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "convert/error.h"
#include "convert/source.h"

namespace picsheet {
namespace {

[[noreturn]] void ThrowCreateError(const std::string& path, int code) {
  throw Error("Cannot create file \"" + AbsolutePathLexically(path) + "\". " +
              SystemErrorDescription(code));
}

// The process's umask, read without changing it (umask(2) can only be read by setting it).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "Umask:") {
      unsigned value = 022;
      status >> std::oct >> value;
      return static_cast<mode_t>(value);
    }
  }
  return 022;
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {
    fd_ = ::mkstemp(path_.data());
    created_ = fd_ >= 0;
  }
  ~TemporaryFile() {
    if (fd_ >= 0) ::close(fd_);
    if (created_ && !committed_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the file; false when the data did not reach the disk.
  bool Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }
  void MarkCommitted() { committed_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  bool committed_ = false;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
  TemporaryFile temporary(path + ".XXXXXX");
  if (!temporary.IsOpen()) ThrowCreateError(path, errno);
  ::fchmod(temporary.fd(), 0666 & ~CurrentUmask());
  if (!WriteAll(temporary.fd(), bytes.data(), bytes.size()) || ::fsync(temporary.fd()) != 0 ||
      !temporary.Close()) {
    throw Error("Stream write error");
  }
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) ThrowCreateError(path, errno);
  temporary.MarkCommitted();
}

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
