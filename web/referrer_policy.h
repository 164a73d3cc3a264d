// The Referer header of a picture request, as browsers send it by default.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

// The Referer a browser sends for requestUrl asked for by the page at pageUrl, under its default
// policy (strict-origin-when-cross-origin): the page's address without its fragment and
// credentials to the page's own origin (scheme, host and port), the page's origin alone
// ("https://host/") to another one, nothing from a secure page (https, a loopback host) to an
// insecure address. Empty, for no header, when either address is no http(s) one. Picture hosts
// with hot-link protection refuse requests without it.
std::string RefererFor(std::string_view pageUrl, std::string_view requestUrl);

}  // namespace picsheet
