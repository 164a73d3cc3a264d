// FetchUrl, LoadLocalFile and LoadSource.
#include "convert/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/http_client.h"
#include "base/messages.h"
#include "base/paths.h"

namespace picsheet {
namespace {

constexpr std::size_t kBlockSize = 10240;

[[noreturn]] void ThrowOpenError(const std::string& path, int code) {
  throw Error(ErrorKind::kFetch,
              messages::CannotOpenFile(AbsolutePathLexically(path), SystemErrorDescription(code)));
}

}  // namespace

MemoryStream FetchUrl(const std::string& url, const FetchOptions& options, TransferEngine* engine) {
  HttpClient client(options, engine);
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

void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options,
                TransferEngine* engine) {
  if (source.compare(0, 7, "http://") == 0) {
    MemoryStream page = FetchUrl(source, options, engine);
    // An error page is no catalogue: converting it would write an empty page over the user's
    // previous one. Pictures keep their rule (their answers are judged as JPEG streams).
    if (page.answer().status >= 400) {
      throw Error(ErrorKind::kFetch, messages::CannotOpenUrl(source),
                  DescribeAnswer(page.answer()));
    }
    pageText = std::move(page).TakeRemaining();
  } else {
    pageText = LoadLocalFile(source);
  }
}

}  // namespace picsheet
