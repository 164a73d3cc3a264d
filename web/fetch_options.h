// How one GET is made: time-outs, redirects, the memory its answer may take, its retries.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace picsheet {

struct FetchOptions {
  // No connection within this time: the URL cannot be opened.
  std::chrono::milliseconds connectTimeout{std::chrono::seconds(30)};
  // Fewer than 10 bytes per second for this long ends the transfer. Before the headers, and while
  // bytes still trickle in, the URL cannot be opened; after silence in the body, the body ends
  // with the bytes so far. A transfer paused for the memory budget is not stalled.
  std::chrono::milliseconds stallTimeout{std::chrono::seconds(60)};
  long maxRedirects = 20;
  // The most bytes one answer body may take in memory, counted as they arrive (after gzip or
  // deflate decoding); 0 = no limit. A larger answer ends with "Out of memory".
  std::size_t maxBodyBytes = 0;
  // What the body is, for the "Out of memory" detail: "the answer is larger than the 256 MiB
  // a download may use".
  std::string bodyName = "the answer";
  // How often a transient failure (refused or reset before any byte; 429, 502, 503, 504) is tried
  // again, after pauses of retryPause, twice that, and so on, or after the server's Retry-After;
  // 0 = never.
  int retries = 2;
  std::chrono::milliseconds retryPause{500};
  // A Retry-After longer than this ends the tries with the busy answer as it is.
  std::chrono::seconds longestRetryAfter{60};
  // When not empty, a body that does not begin with these bytes is of no use to the caller: the
  // transfer ends as soon as its first bytes show it, with just those bytes as the body.
  std::string expectedStart;
  // The address of the page whose picture this is: the request carries the Referer a browser
  // would send for it (RefererFor). Empty for the page itself, and for a page read from disk.
  std::string referringPage;
};

}  // namespace picsheet
