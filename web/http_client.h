// One GET at a time, waited for: a run's page, a picture off the plan, a single download.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/memory_stream.h"
#include "web/fetch_options.h"

namespace picsheet {

class TransferEngine;

// Fetches one address after the other through a transfer engine: the run's, so that the page and
// its pictures share connections and the run's stop, or one of its own.
class HttpClient {
 public:
  explicit HttpClient(FetchOptions options = {}, TransferEngine* engine = nullptr);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // One GET, tried again on transient failures (see FetchOptions::retries). Returns the whole
  // answer body, positioned at its first byte, whatever the HTTP status, with the answer's status,
  // content type and final address; a gzip or deflate body is decoded. Throws Error "Unable to
  // initialize Wininet" when no handle can be made, "Cannot open URL %s" (the URL as given) when
  // no answer arrived or the address is not http:// or https://, "Out of memory" when the body
  // does not fit, "Interrupted" when the engine's stop came first; the reason says why in words.
  // A failure after the headers arrived ends the body quietly with the bytes received so far.
  MemoryStream Get(const std::string& url);

 private:
  FetchOptions options_;
  TransferEngine* engine_;
  std::unique_ptr<TransferEngine> ownEngine_;
};

// The answer in words for a user: "the server answered 404 Not Found with text/html".
std::string DescribeAnswer(const AnswerInfo& answer);

// True when the URL starts with "http://" or "https://" (scheme case-insensitive).
bool HasWebScheme(std::string_view url);

}  // namespace picsheet
