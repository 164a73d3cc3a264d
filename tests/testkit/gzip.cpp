// GzipOfZeros with zlib.
#include "tests/testkit/gzip.h"

#include <zlib.h>

#include <algorithm>

namespace picsheet::testkit {

std::string GzipOfZeros(std::size_t size, const std::string& start) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  std::string zeros(1 << 20, '\0');
  zeros.replace(0, start.size(), start);  // the first piece only
  std::string out;
  char buffer[1 << 16];
  for (std::size_t left = size; left > 0 || stream.avail_in > 0;) {
    const bool last = left <= zeros.size();
    const std::size_t piece = std::min(left, zeros.size());
    if (left < size) zeros.replace(0, start.size(), start.size(), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(piece);
    left -= piece;
    int result = Z_OK;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
    if (last && result == Z_STREAM_END) break;
  }
  deflateEnd(&stream);
  return out;
}

}  // namespace picsheet::testkit
