// AtomicFile: a temporary file beside the target, written, synced when asked, then renamed.
#include "base/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "base/error.h"
#include "base/messages.h"
#include "base/paths.h"

namespace picsheet {
namespace {

[[noreturn]] void ThrowCreateError(const std::string& path, int code) {
  throw Error(ErrorKind::kOutput, messages::CannotCreateFile(AbsolutePathLexically(path),
                                                             SystemErrorDescription(code)));
}

// "Stream write error" says nothing of where or why; the detail names the file and the system's
// reason (a full disk, a quota, an I/O error).
[[noreturn]] void ThrowWriteError(const std::string& path, int code) {
  throw Error(ErrorKind::kOutput, messages::kStreamWrite,
              AbsolutePathLexically(path) + ": " + SystemErrorDescription(code));
}

// The process's umask, read without changing it (umask(2) can only be read by setting it).
mode_t ReadUmask() {
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

// The folder part of path, with its trailing "/" ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

mode_t CurrentUmask() {
  static const mode_t umask = ReadUmask();
  return umask;
}

}  // namespace

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

AtomicFile::AtomicFile(std::string path, std::string shownPath)
    // A short name of fixed length beside the target rather than the target's name plus a
    // suffix, so a target whose name is as long as the file system allows can still be written.
    : path_(std::move(path)),
      shownPath_(shownPath.empty() ? path_ : std::move(shownPath)),
      temporaryPath_(FolderOf(path_) + ".tmpXXXXXX") {
  fd_ = ::mkstemp(temporaryPath_.data());
  if (fd_ < 0) ThrowCreateError(shownPath_, errno);
  // mkstemp makes the file private; give it the mode a plain creation would have.
  ::fchmod(fd_, 0666 & ~CurrentUmask());
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(temporaryPath_.c_str());
}

void AtomicFile::Write(std::string_view bytes) {
  if (!WriteAll(fd_, bytes.data(), bytes.size())) ThrowWriteError(shownPath_, errno);
}

void AtomicFile::Commit(bool durable) {
  if (durable && ::fsync(fd_) != 0) ThrowWriteError(shownPath_, errno);
  const int result = ::close(fd_);
  fd_ = -1;
  if (result != 0) ThrowWriteError(shownPath_, errno);
  if (::rename(temporaryPath_.c_str(), path_.c_str()) != 0) ThrowCreateError(shownPath_, errno);
  committed_ = true;
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
  AtomicFile file(path);
  file.Write(bytes);
  file.Commit(true);
}

}  // namespace picsheet
