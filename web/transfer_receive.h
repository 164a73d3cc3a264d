// What libcurl hands one transfer as it goes: header lines and body bytes, with the limits, the
// budget's pauses and the early end of a useless body. On the engine's thread, inside libcurl.
#pragma once

#include <cstddef>

#include "web/curl_request.h"

namespace picsheet::transfer {

// A compressed answer that unpacks past both of these is refused as a decompression bomb: real
// pictures and pages shrink by far less than a hundred to one, and below 64 MiB the answer's own
// limit is protection enough.
inline constexpr std::size_t kBombBytes = 64u << 20;
inline constexpr long kBombRatio = 100;

// The callbacks to give a CurlRequest for task (a Task*).
CurlSinks SinksFor(void* task);

}  // namespace picsheet::transfer
