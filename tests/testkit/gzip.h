// Compressed answers for tests and benchmarks that serve decompression bombs.
#pragma once

#include <cstddef>
#include <string>

namespace picsheet::testkit {

// A gzip stream of size bytes: start, then zeros, made in pieces so that the zeros are never
// held whole.
std::string GzipOfZeros(std::size_t size, const std::string& start = {});

}  // namespace picsheet::testkit
