// RefererFor: origins by libcurl's URL parser, the page's address stripped as browsers strip it.
#include "web/referrer_policy.h"

#include <curl/curl.h>

#include <memory>
#include <optional>

#include "base/ascii.h"
#include "base/url_credentials.h"
#include "web/curl_request.h"

namespace picsheet {
namespace {

// 127.0.0.0/8 written as an address, not a name that happens to begin with "127.".
bool IsLoopbackAddress(std::string_view host) {
  return host.starts_with("127.") &&
         host.find_first_not_of("0123456789.") == std::string_view::npos;
}

struct Origin {
  std::string scheme;
  std::string host;
  std::string port;    // always given, the scheme's default included
  bool defaultPort{};  // the port is the scheme's own, which the origin's text leaves out

  bool operator==(const Origin& other) const {
    return scheme == other.scheme && host == other.host && port == other.port;
  }
  std::string Text() const { return scheme + "://" + host + (defaultPort ? "" : ":" + port); }
  // Browsers count https and the loopback hosts as secure; an http one on the network is not.
  bool Secure() const {
    return scheme == "https" || host == "localhost" || host.ends_with(".localhost") ||
           IsLoopbackAddress(host) || host == "[::1]";
  }
};

std::string Part(CURLU* url, CURLUPart part, unsigned flags) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
  std::string value(text);
  curl_free(text);
  return value;
}

std::optional<Origin> OriginOf(std::string_view address) {
  const std::unique_ptr<CURLU, void (*)(CURLU*)> url(curl_url(), &curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, std::string(address).c_str(), 0) != CURLUE_OK)
    return std::nullopt;
  Origin origin{AsciiLowerCase(Part(url.get(), CURLUPART_SCHEME, 0)),
                AsciiLowerCase(Part(url.get(), CURLUPART_HOST, 0)),
                Part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT), false};
  if (origin.scheme != "http" && origin.scheme != "https") return std::nullopt;
  origin.defaultPort = Part(url.get(), CURLUPART_PORT, CURLU_NO_DEFAULT_PORT).empty();
  return origin;
}

}  // namespace

std::string RefererFor(std::string_view pageUrl, std::string_view requestUrl) {
  const std::optional<Origin> page = OriginOf(pageUrl);
  const std::optional<Origin> request = OriginOf(requestUrl);
  if (!page || !request) return {};
  if (*page == *request) {
    // Never the fragment, never a user name or password; and as a header value, no raw bytes.
    return PercentEncodeUnsafeBytes(WithoutUserInfo(pageUrl.substr(0, pageUrl.find('#'))));
  }
  if (page->Secure() && !request->Secure()) return {};
  return page->Text() + "/";
}

}  // namespace picsheet
