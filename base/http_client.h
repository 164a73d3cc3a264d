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
  // Fewer than 10 bytes per second for this long ends the transfer. Before the headers, and while
  // bytes still trickle in, the URL cannot be opened; after silence in the body, the body ends
  // with the bytes so far.
  std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
  long maxRedirects = 20;
  // When set and it turns true, a transfer under way ends as if the URL could not be opened.
  const std::atomic<bool>* cancelled = nullptr;
  // A second flag with the same effect, so a caller's flag and a helper's own can both stop it.
  const std::atomic<bool>* alsoCancelled = nullptr;
  // The most bytes one answer body may take in memory; 0 = no limit. A larger answer ends with
  // "Out of memory".
  std::size_t maxBodyBytes = 0;
  // Called before each block of body bytes is kept, with the block's size; it may wait (the
  // transfer then waits with it) or throw, which ends the transfer with that exception.
  std::function<void(std::size_t)> beforeBodyBlock;
  // How often a transient failure (refused or reset before any byte, 502/503/504) is tried
  // again, after pauses of retryPause, twice that, and so on; 0 = never.
  int retries = 2;
  std::chrono::milliseconds retryPause{500};
};

// Holds one libcurl handle, so that consecutive GETs to one host reuse the connection.
// Not thread-safe: one client per thread.
class HttpClient {
 public:
  explicit HttpClient(FetchOptions options = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // One GET, tried again on transient failures (see FetchOptions::retries). Returns the whole
  // answer body, positioned at its first byte, whatever the HTTP status, with the answer's status
  // and content type; a gzip or deflate body is decoded. Throws Error "Unable to initialize
  // Wininet" when no handle can be made, "Cannot open URL %s" (the URL as given) when no answer
  // arrived, "Out of memory" when the body does not fit; the reason says why in libcurl's words.
  // A failure after the headers arrived ends the body quietly with the bytes received so far;
  // whatever beforeBodyBlock throws ends it with that error instead.
  MemoryStream Get(const std::string& url);

 private:
  struct Handle;
  enum class Outcome { kDone, kTryAgain };
  Outcome Attempt(const std::string& url, MemoryStream& body, bool lastTry);

  std::unique_ptr<Handle> handle_;
  FetchOptions options_;
};

// The answer in words for a user: "the server answered 404 Not Found with text/html".
std::string DescribeAnswer(const AnswerInfo& answer);

// Encodes the bytes a URL cannot carry raw (control bytes, blank, DEL, bytes of 128 and above)
// as %XX, as browsers do for links written with non-Latin file names.
std::string PercentEncodeUnsafeBytes(const std::string& url);

// True when the URL starts with "http://" or "https://" (scheme case-insensitive).
bool HasWebScheme(const std::string& url);

}  // namespace picsheet
