// One HTTP client on libcurl: GETs a URL into a MemoryStream with the catalogue's request rules.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "base/memory_stream.h"

namespace picsheet {

struct FetchOptions {
  // No connection within this time: the URL cannot be opened.
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
  // Fewer than one byte per second for this long ends the transfer (before the headers: the URL
  // cannot be opened; in the body: the body ends there).
  std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
  long maxRedirects = 20;
  // When set and it turns true, a transfer under way ends as if the URL could not be opened.
  const std::atomic<bool>* cancelled = nullptr;
  // A second flag with the same effect, so a caller's flag and a helper's own can both stop it.
  const std::atomic<bool>* alsoCancelled = nullptr;
  // An answer body longer than this ends the transfer with Error "Out of memory"; 0: no limit.
  std::size_t maxBodyBytes = 0;
  // Called before each block of body bytes is kept, with the block's size; it may wait (the
  // transfer then waits with it) or throw, which ends the transfer with that exception.
  std::function<void(std::size_t)> beforeBodyBlock;
};

// Holds one libcurl handle, so that consecutive GETs to one host reuse the connection.
// Not thread-safe: one client per thread.
class HttpClient {
 public:
  explicit HttpClient(FetchOptions options = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // One GET. Returns the whole answer body, positioned at its first byte, whatever the HTTP status.
  // Throws Error "Unable to initialize Wininet" when no handle can be made, "Cannot open URL %s"
  // (the URL as given) when no answer arrived. A failure after the headers arrived ends the body
  // quietly with the bytes received so far. "Out of memory" for a body over maxBodyBytes, and
  // whatever beforeBodyBlock throws, end it with that error instead.
  MemoryStream Get(const std::string& url);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
  FetchOptions options_;
};

// Encodes the bytes a URL cannot carry raw (control bytes, blank, DEL, bytes of 128 and above)
// as %XX, as browsers do for links written with non-Latin file names.
std::string PercentEncodeUnsafeBytes(const std::string& url);

// True when the URL starts with "http://" or "https://" (scheme case-insensitive).
bool HasWebScheme(const std::string& url);

}  // namespace picsheet
