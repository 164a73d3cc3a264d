// FetchUrl, LoadLocalFile and LoadSource.
#include "convert/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "convert/error.h"

namespace picsheet {
namespace {

constexpr std::size_t kBlockSize = 10240;

// Closes the descriptor on every path out of LoadLocalFile.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void ThrowOpenError(const std::string& path, int code) {
  throw Error("Cannot open file \"" + AbsolutePathLexically(path) + "\". " +
              SystemErrorDescription(code));
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

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

MemoryStream FetchUrl(const std::string& url, const FetchOptions& options) {
  HttpClient client(options);
  return client.Get(url);
}

std::string LoadLocalFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) ThrowOpenError(path, errno);
  // A directory opens on Linux and then reads nothing; it is no page, so it fails to open.
  struct stat info {};
  if (::fstat(file.get(), &info) == 0 && S_ISDIR(info.st_mode)) ThrowOpenError(path, EISDIR);

  std::string result;
  char buffer[kBlockSize];
  for (;;) {
    ssize_t count;
    do {
      count = ::read(file.get(), buffer, kBlockSize);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) break;  // the end, or a read error, which ends the text like the end
    const void* zero = std::memchr(buffer, 0, static_cast<std::size_t>(count));
    const std::size_t kept = zero != nullptr
                                 ? static_cast<std::size_t>(static_cast<const char*>(zero) - buffer)
                                 : static_cast<std::size_t>(count);
    result.append(buffer, kept);
  }
  return result;
}

void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options) {
  if (source.compare(0, 7, "http://") == 0) {
    pageText = std::move(FetchUrl(source, options)).TakeRemaining();
  } else {
    pageText = LoadLocalFile(source);
  }
}

}  // namespace picsheet
