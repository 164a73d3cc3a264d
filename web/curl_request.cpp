// CurlRequest: the options of one GET, the request headers, and libcurl's words for a failure.
#include "web/curl_request.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>
#include <string_view>

#include "base/ascii.h"
#include "base/error.h"
#include "base/messages.h"
#include "web/referrer_policy.h"

namespace picsheet {
namespace {

static_assert(CURL_ERROR_SIZE == 256, "CurlRequest's error text holds CURL_ERROR_SIZE bytes");

constexpr char kAgent[] = "Kestro 5.x";
constexpr long kLowSpeedBytesPerSecond = 10;
// libcurl refuses longer strings for its options.
constexpr std::size_t kLongestAddress = 8000000;
// Every request asks past caches and does not announce compression, which it decodes anyway.
constexpr const char* kHeaders[] = {"Cache-Control: no-cache", "Pragma: no-cache",
                                    "Accept-Encoding:"};

long WholeSecondsAtLeastOne(std::chrono::milliseconds span) {
  const long seconds = static_cast<long>((span.count() + 999) / 1000);
  return seconds < 1 ? 1 : seconds;
}

// Certificates trusted for one process, looked up as curl's own tool does: CURL_CA_BUNDLE, else
// SSL_CERT_FILE and SSL_CERT_DIR; the system store otherwise.
void TrustCertificatesFromEnvironment(CURL* curl) {
  const auto value = [](const char* name) -> const char* {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? text : nullptr;
  };
  if (const char* bundle = value("CURL_CA_BUNDLE")) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
    return;
  }
  if (const char* folder = value("SSL_CERT_DIR")) curl_easy_setopt(curl, CURLOPT_CAPATH, folder);
  if (const char* file = value("SSL_CERT_FILE")) curl_easy_setopt(curl, CURLOPT_CAINFO, file);
}

}  // namespace

bool InitialiseCurl() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] { started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return started;
}

CurlRequest::CurlRequest(const std::string& url, const std::string& requestUrl,
                         const FetchOptions& options, const std::vector<std::string>& extra,
                         const CurlSinks& sinks)
    : requestBytes_(requestUrl.size()) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) throw Error(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable);
  curl_ = curl;
  if (curl_easy_setopt(curl, CURLOPT_URL, requestUrl.c_str()) != CURLE_OK) {
    curl_easy_cleanup(curl);
    throw Error(ErrorKind::kFetch, messages::CannotOpenUrl(url),
                "the address is longer than the " + std::to_string(kLongestAddress) +
                    " bytes libcurl takes");
  }
  for (const char* line : kHeaders) headers_ = curl_slist_append(headers_, line);
  for (const std::string& line : extra) headers_ = curl_slist_append(headers_, line.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers_);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, options.maxRedirects);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgent);
  // libcurl sends the same one after a redirect, where a browser would judge each hop anew.
  const std::string referer = RefererFor(options.referringPage, requestUrl);
  if (!referer.empty()) curl_easy_setopt(curl, CURLOPT_REFERER, referer.c_str());
  // Turns on decoding of gzip and deflate bodies, as browsers do also when they were not asked
  // for; the empty "Accept-Encoding:" header keeps libcurl from announcing it.
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText_);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // Waits for a connection that may turn out to multiplex rather than opening one more.
  curl_easy_setopt(curl, CURLOPT_PIPEWAIT, 1L);
  TrustCertificatesFromEnvironment(curl);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options.connectTimeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerSecond);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, WholeSecondsAtLeastOne(options.stallTimeout));
  curl_easy_setopt(curl, CURLOPT_PRIVATE, sinks.user);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, sinks.body);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, sinks.user);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, sinks.header);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, sinks.user);
}

CurlRequest::~CurlRequest() {
  curl_easy_cleanup(curl_);
  curl_slist_free_all(headers_);
}

std::string CurlRequest::Reason(int result) const {
  const auto code = static_cast<CURLcode>(result);
  // libcurl answers "Out of memory" also when one of its own limits is reached: a request longer
  // than it builds (an address of a megabyte), or a header line longer than it takes. Memory is
  // not what the user must look at then. libcurl 8.6 and later say "too large" for these.
  bool libcurlLimit = code == CURLE_OUT_OF_MEMORY;
#if LIBCURL_VERSION_NUM >= 0x080600
  libcurlLimit = libcurlLimit || code == CURLE_TOO_LARGE;
#endif
  if (libcurlLimit) {
    constexpr std::size_t kLongestRequest = 1024 * 1024;
    if (requestBytes_ + 1024 >= kLongestRequest) {
      return "the address is longer than the 1 MiB libcurl can send in a request";
    }
    return "the server's header line is longer than the " +
           std::to_string(CURL_MAX_HTTP_HEADER / 1024) + " KB libcurl takes";
  }
  std::string reason(TrimmedOf(errorText_, " \t\r\n"));
  return reason.empty() ? curl_easy_strerror(code) : reason;
}

std::string PercentEncodeUnsafeBytes(const std::string& url) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(url.size());
  for (unsigned char c : url) {
    if (c <= 0x20 || c >= 0x7F) {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    } else {
      encoded += static_cast<char>(c);
    }
  }
  return encoded;
}

std::string HostKey(const std::string& requestUrl) {
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return requestUrl;
  std::string key = requestUrl;
  if (curl_url_set(parsed, CURLUPART_URL, requestUrl.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(parsed, CURLUPART_HOST, &host, 0);
    curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT);
    if (scheme != nullptr && host != nullptr) {
      key = std::string(scheme) + "://" + host + ":" + (port != nullptr ? port : "");
      key = AsciiLowerCase(key);
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
  }
  curl_url_cleanup(parsed);
  return key;
}

bool IsTransientFailure(int result, bool anyByte) {
  const auto code = static_cast<CURLcode>(result);
  if (code == CURLE_COULDNT_CONNECT) return true;
  const bool dropped =
      code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING;
  return dropped && !anyByte;
}

}  // namespace picsheet
