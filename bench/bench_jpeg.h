// Picture streams and plain libjpeg round trips for the benchmarks.
#pragma once

#include <cstdint>
#include <string>

namespace picsheet::bench {

// A width x height RGB picture with smooth gradients and fine texture, so that it codes like a
// photograph rather than a flat area; progressive when asked.
std::string MakePhotoLikeJpeg(int width, int height, bool progressive = false, int quality = 90);

// Decodes stream to RGB at full scale and encodes the raster again at quality 90 into memory:
// the work of a turn without the turn. Returns the encoded size.
std::size_t PlainDecodeEncode(const std::string& stream);

}  // namespace picsheet::bench
