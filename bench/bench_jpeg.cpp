#include "bench/bench_jpeg.h"

#include <vector>

#include "tests/testkit/jpeg_maker.h"

namespace picsheet::bench {

std::string MakePhotoLikeJpeg(int width, int height, bool progressive, int quality) {
  std::vector<std::uint8_t> raster(static_cast<std::size_t>(width) * height * 3);
  std::uint32_t noise = 12345;
  std::size_t i = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int grain = static_cast<int>(noise >> 28) - 8;
      raster[i++] = static_cast<std::uint8_t>((x * 255 / width + grain) & 0xFF);
      raster[i++] = static_cast<std::uint8_t>((y * 255 / height + grain) & 0xFF);
      raster[i++] = static_cast<std::uint8_t>(((x + y) * 127 / (width + height) + 64 + grain));
    }
  }
  return testkit::EncodeJpegSamples(raster, width, height, 3, quality, progressive);
}

std::size_t PlainDecodeEncode(const std::string& stream) {
  const testkit::DecodedRaster raster = testkit::DecodeJpegRaster(stream);
  return testkit::EncodeJpegSamples(raster.rgb, raster.width, raster.height, 3, 90,
                                    raster.progressive)
      .size();
}

}  // namespace picsheet::bench
