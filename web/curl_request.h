// One GET put to libcurl with the catalogue's request rules, and what libcurl's failures mean.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "web/fetch_options.h"

struct curl_slist;

namespace picsheet {

// Where libcurl hands a request's bytes: its write and header callbacks, and their user pointer.
struct CurlSinks {
  std::size_t (*body)(char* data, std::size_t size, std::size_t count, void* user);
  std::size_t (*header)(char* data, std::size_t size, std::size_t count, void* user);
  void* user;
};

// A libcurl easy handle set up for one GET, owned: the agent "Kestro 5.x", caches bypassed, http
// and https only (redirects too), redirects followed, gzip and deflate bodies decoded without
// asking for them, certificates as curl's tool takes them from the environment, the time-outs of
// options, the Referer of options.referringPage, and the request headers extra. Not thread-safe; a
// multi handle it was added to must let it go before it is destroyed.
class CurlRequest {
 public:
  // url is the address as given (for messages), requestUrl as sent (percent-encoded). Throws
  // Error "Unable to initialize Wininet" when libcurl gives no handle, "Cannot open URL %s" for an
  // address longer than libcurl takes.
  CurlRequest(const std::string& url, const std::string& requestUrl, const FetchOptions& options,
              const std::vector<std::string>& extra, const CurlSinks& sinks);
  ~CurlRequest();
  CurlRequest(const CurlRequest&) = delete;
  CurlRequest& operator=(const CurlRequest&) = delete;

  // The CURL* handle, for libcurl's own calls.
  void* handle() const { return curl_; }

  // Why the transfer ended with libcurl's code result, in words: libcurl's own text, except that
  // its "Out of memory" for one of its limits (a header line, a request) names the limit.
  std::string Reason(int result) const;

 private:
  void* curl_ = nullptr;
  curl_slist* headers_ = nullptr;
  std::size_t requestBytes_ = 0;
  char errorText_[256] = {};  // CURL_ERROR_SIZE
};

// Encodes the bytes a URL cannot carry raw (control bytes, blank, DEL, bytes of 128 and above)
// as %XX, as browsers do for links written with non-Latin file names.
std::string PercentEncodeUnsafeBytes(const std::string& url);

// The key that the transfers to one server share: scheme, host and port, in lower case.
std::string HostKey(const std::string& requestUrl);

// True for failures that say nothing about the address itself (the connection was refused, or
// dropped before any byte came), which are worth a retry; time-outs, names that do not resolve
// and certificate failures are not among them.
bool IsTransientFailure(int result, bool anyByte);

// Makes libcurl ready for use, once per process; false when it cannot start.
bool InitialiseCurl();

}  // namespace picsheet
