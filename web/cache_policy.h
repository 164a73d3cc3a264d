// Which answers the answer store may keep, and the headers that revalidate a kept one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picsheet {

// What the transfer engine knows of one finished answer when it decides whether to keep it.
struct AnswerFacts {
  std::string method = "GET";             // the request's method
  std::string url;                        // the address requested, before any redirect
  long status = 0;                        // the final answer's status
  std::string etag;                       // its ETag header's value; empty when it had none
  std::string lastModified;               // its Last-Modified header's value; empty when none
  std::vector<std::string> cacheControl;  // the value of each Cache-Control header, in order
  std::vector<std::string> vary;          // the value of each Vary header, in order
  std::uint64_t bodyBytes = 0;            // the body as the program uses it (decoded)
};

// True when the answer may be kept: a 200 answer to a GET that carries a validator (ETag or
// Last-Modified) that a request can send back, whose Cache-Control directives hold no no-store,
// whose Vary names nothing but Accept-Encoding (the engine's requests never differ in anything
// else), whose address carries no user name or password, and whose body is at most maxAnswerBytes.
// Header names and directives are matched in any case; several headers count as one comma-separated
// list.
bool MayStoreAnswer(const AnswerFacts& facts, std::uint64_t maxAnswerBytes);

// The request headers of a conditional GET for a kept answer, as "Name: value" lines:
// If-None-Match with the ETag and If-Modified-Since with the Last-Modified date, each only when
// the answer had it (and only when it holds no line break or NUL, which no header can carry).
std::vector<std::string> RevalidationHeaders(const std::string& etag,
                                             const std::string& lastModified);

}  // namespace picsheet
