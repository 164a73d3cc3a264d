// FetchUrl, LoadLocalFile, IsLink and LoadSource.
#include "convert/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/ascii.h"
#include "base/error.h"
#include "base/file_descriptor.h"
#include "base/messages.h"
#include "base/paths.h"
#include "base/url_credentials.h"
#include "convert/page_hints.h"
#include "web/http_client.h"

namespace picsheet {
namespace {

constexpr std::size_t kBlockSize = 10240;
// What may stand around a pasted link: blanks and the line breaks of a copied line, and the
// Unicode blanks (in UTF-8) that come along when a link is copied from a page or a document: no-
// break, narrow and other wide spaces, zero-width characters and the byte-order mark.
constexpr std::string_view kAsciiBlanks = " \t\r\n";
constexpr std::string_view kUnicodeBlanks[] = {
    "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004", "\u2005",
    "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u200B", "\u200C", "\u200D",
    "\u2028", "\u2029", "\u202F", "\u205F", "\u2060", "\u3000", "\uFEFF"};

// The length of the blank text begins with (one ASCII blank or one Unicode blank), or 0.
std::size_t LeadingBlank(std::string_view text) {
  if (!text.empty() && kAsciiBlanks.find(text.front()) != std::string_view::npos) return 1;
  for (std::string_view blank : kUnicodeBlanks) {
    if (text.substr(0, blank.size()) == blank) return blank.size();
  }
  return 0;
}

std::size_t TrailingBlank(std::string_view text) {
  if (!text.empty() && kAsciiBlanks.find(text.back()) != std::string_view::npos) return 1;
  for (std::string_view blank : kUnicodeBlanks) {
    if (text.size() >= blank.size() && text.substr(text.size() - blank.size()) == blank) {
      return blank.size();
    }
  }
  return 0;
}

[[noreturn]] void ThrowOpenError(const std::string& path, int code) {
  // The empty path names no file at all, not the current folder it would resolve to.
  const std::string named = path.empty() ? path : AbsolutePathLexically(path);
  throw Error(ErrorKind::kFetch, messages::CannotOpenFile(named, SystemErrorDescription(code)));
}

[[noreturn]] void ThrowTooLarge(const std::string& path, std::size_t maxBytes) {
  throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
              AbsolutePathLexically(path) + " is larger than the " + std::to_string(maxBytes) +
                  " bytes a picture may use");
}

std::string CountOfBytes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
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

std::string LoadLocalPicture(const std::string& path, std::size_t maxBytes) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) ThrowOpenError(path, errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) ThrowOpenError(path, errno);
  if (S_ISDIR(info.st_mode)) ThrowOpenError(path, EISDIR);
  const auto size = static_cast<std::size_t>(info.st_size);
  if (maxBytes != 0 && size > maxBytes) ThrowTooLarge(path, maxBytes);
  std::string bytes;
  bytes.reserve(size);
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      ThrowOpenError(path, errno);
    }
    // A file that grows while it is read still keeps to the limit.
    if (maxBytes != 0 && bytes.size() + static_cast<std::size_t>(count) > maxBytes) {
      ThrowTooLarge(path, maxBytes);
    }
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
  return bytes;
}

std::string_view WithoutLinkBlanks(std::string_view text) {
  while (const std::size_t length = LeadingBlank(text)) text.remove_prefix(length);
  while (const std::size_t length = TrailingBlank(text)) text.remove_suffix(length);
  return text;
}

bool IsLink(std::string_view sourceText) { return HasWebScheme(WithoutLinkBlanks(sourceText)); }

LoadedPage LoadSource(const std::string& source, const FetchOptions& options,
                      TransferEngine* engine) {
  if (!IsLink(source)) {
    std::string text = LoadLocalFile(source);
    std::string answer = text.empty() ? "an empty file" : "a file of " + CountOfBytes(text.size());
    AddressResolver addresses = AddressResolver::ForLocalPage(source, ReadPageHints(text));
    return {std::move(text), std::move(addresses), AbsolutePathLexically(source),
            std::move(answer)};
  }
  const std::string link(WithoutLinkBlanks(source));
  MemoryStream page = FetchUrl(link, options, engine);
  // An error page is no catalogue: converting it would write an empty page over the user's
  // previous one. Pictures keep their rule (their answers are judged as JPEG streams).
  if (page.answer().status >= 400) {
    throw Error(ErrorKind::kFetch, messages::CannotOpenUrl(link), DescribeAnswer(page.answer()));
  }
  std::string finalUrl = page.answer().finalUrl.empty() ? link : page.answer().finalUrl;
  std::string answer =
      DescribeAnswer(page.answer()) + ", " +
      (page.Size() == 0 ? std::string("an empty body") : CountOfBytes(page.Size()));
  const std::string contentType = page.answer().contentType;
  std::string text = std::move(page).TakeRemaining();
  AddressResolver addresses =
      AddressResolver::ForWebPage(std::move(finalUrl), ReadPageHints(text, contentType));
  return {std::move(text), std::move(addresses), WithoutPassword(link), std::move(answer)};
}

void LoadSource(const std::string& source, std::string& pageText, const FetchOptions& options) {
  pageText = LoadSource(source, options).text;
}

}  // namespace picsheet
