// Files written whole or not at all: bytes go to a temporary file beside the target (".tmpXXXXXX"
// in the same folder), which is renamed over it only when everything was written. A failed or
// interrupted write leaves the old file (or no file) in place, never a half-written one.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

class AtomicFile {
 public:
  // Creates the temporary file. Throws Error "Cannot create file \"%s\". %s" with the target path,
  // or with shownPath when given (a file written elsewhere first, to be moved there later).
  explicit AtomicFile(std::string path, std::string shownPath = {});
  ~AtomicFile();  // removes the temporary file unless Commit succeeded
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // The temporary file's descriptor, for writers that stream into it.
  int fd() const { return fd_; }
  // Appends bytes. Throws Error "Stream write error".
  void Write(std::string_view bytes);
  // Moves the file into place. With durable set the bytes reach the disk first. Throws Error
  // "Stream write error" or "Cannot create file \"%s\". %s".
  void Commit(bool durable);

 private:
  std::string path_;
  std::string shownPath_;
  std::string temporaryPath_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes bytes to path as one AtomicFile, durably.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Writes all bytes to a descriptor, retrying short writes; false on failure (errno tells).
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace picsheet
