// Byte counts as a user types them: "1073741824", "500M", "2GiB".
#pragma once

#include <cstdint>
#include <string>

namespace picsheet {

// A whole number of bytes, optionally followed at once by a unit: K, M, G or KiB, MiB, GiB
// (1024, 1024², 1024³; the unit's letters in any case: "500m", "2gib"), or B for plain bytes.
// "MB", "KB" and the like are refused rather than guessed, since others read them as powers of
// 1000; so are signs, blanks, fractions and sizes beyond 2^64 - 1. Throws Error with the usage
// message messages::NotAByteSize(text).
std::uint64_t ParseByteSize(const std::string& text);

}  // namespace picsheet
