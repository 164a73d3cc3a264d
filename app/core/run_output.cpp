// RunOutput: the save name's flock, its staging folder, and moving the pictures out of it.
#include "app/core/run_output.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "base/file_system_name.h"
#include "base/messages.h"
#include "base/paths.h"

namespace picsheet {
namespace {

constexpr char kLockName[] = "lock";

// A fixed-length name, so that even a save name as long as the file system allows has one, and
// the next run of the same name finds a killed run's leftover.
std::string StagingName(const std::string& sessionName) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : sessionName) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(".picsheet-") + hex;
}

bool SameFile(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
         opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

RunOutput::RunOutput(const std::string& programFolder, const std::string& sessionName)
    : pictureFolder_(programFolder + FileSystemName(sessionName + "_images")) {
  struct stat info {};
  pictureFolderExisted_ = ::lstat(pictureFolder_.c_str(), &info) == 0;
  struct stat picture {};
  const bool pictureFolder =
      ::stat(pictureFolder_.c_str(), &picture) == 0 && S_ISDIR(picture.st_mode);
  if (!Lock(programFolder, sessionName)) {
    stagingError_ = errno;
    if (!pictureFolder || !Lock(pictureFolder_ + "/", sessionName)) return;
    stagingError_ = 0;
  }
  staging_ = lockFolder_;
  try {
    RemoveStagedFiles();  // a killed run's pictures
    struct stat staging {};
    if (pictureFolder && ::stat(staging_.c_str(), &staging) == 0 &&
        staging.st_dev != picture.st_dev) {
      StageInPictureFolder(sessionName);
    }
  } catch (...) {
    // The destructor does not run for an object whose constructor throws: let go of the lock
    // here, or the name would stay busy for the rest of the process.
    ::unlink(lockPath_.c_str());
    ::close(lockFd_);
    throw;
  }
}

bool RunOutput::Lock(const std::string& folder, const std::string& sessionName) {
  const std::string staging = folder + StagingName(sessionName);
  const std::string lockPath = staging + "/" + kLockName;
  // A run that ends unlinks the lock file and removes the folder while still holding the lock,
  // so a lock taken on a file that is no longer the one at the path is stale: try again.
  for (;;) {
    if (::mkdir(staging.c_str(), 0777) != 0 && errno != EEXIST) return false;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == ENOENT) continue;  // the folder went away in between
      return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK)
        throw Error(ErrorKind::kBusyName, messages::SaveNameBusy(sessionName));
      errno = error;
      return false;
    }
    if (SameFile(fd, lockPath)) {
      lockFd_ = fd;
      lockFolder_ = staging;
      lockPath_ = lockPath;
      return true;
    }
    ::close(fd);
  }
}

void RunOutput::StageInPictureFolder(const std::string& sessionName) {
  staging_ = pictureFolder_ + "/" + StagingName(sessionName);
  if (::mkdir(staging_.c_str(), 0777) != 0 && errno != EEXIST) {
    stagingError_ = errno;
    staging_.clear();
    return;
  }
  RemoveStagedFiles();  // a killed run's pictures
}

RunOutput::~RunOutput() {
  if (lockFd_ < 0) return;
  if (!staging_.empty()) RemoveStagedFiles();
  if (!staging_.empty() && staging_ != lockFolder_) ::rmdir(staging_.c_str());
  ::unlink(lockPath_.c_str());
  ::rmdir(lockFolder_.c_str());  // fails, harmlessly, when the next run has already put its lock in
  ::close(lockFd_);
}

void RunOutput::RemoveStagedFiles() {
  std::error_code error;
  std::vector<std::filesystem::path> staged;
  for (const auto& entry : std::filesystem::directory_iterator(staging_, error)) {
    if (entry.path().filename() != kLockName) staged.push_back(entry.path());
  }
  for (const auto& path : staged) std::filesystem::remove_all(path, error);
}

void RunOutput::Staged(const std::string& fileName) {
  // A name written again replaces its staged file; it keeps its first place in the order.
  if (std::find(staged_.begin(), staged_.end(), fileName) == staged_.end()) {
    staged_.push_back(fileName);
  }
}

void RunOutput::Commit() {
  std::optional<Error> first;
  for (const std::string& name : staged_) {
    const std::string target = pictureFolder_ + "/" + name;
    if (::rename((staging_ + "/" + name).c_str(), target.c_str()) != 0 && !first) {
      first = Error(ErrorKind::kOutput, messages::CannotCreateFile(AbsolutePathLexically(target),
                                                                   SystemErrorDescription(errno)));
    }
  }
  staged_.clear();
  if (first) throw *first;
}

void RunOutput::Discard() {
  if (!staging_.empty()) RemoveStagedFiles();
  RemoveEmptyPictureFolder();
}

void RunOutput::RemoveEmptyPictureFolder() {
  if (!pictureFolderExisted_) ::rmdir(pictureFolder_.c_str());  // only when empty
}

}  // namespace picsheet
