// A picture's header read, decode, turn and encode on arbitrary bytes. Pictures claiming more
// than a few megapixels are skipped, to keep each run short.

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/error.h"
#include "images/jpeg.h"
#include "images/rotate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::int32_t angles[] = {90, -90, 180, 0};
  try {
    picsheet::JpegPicture picture =
        picsheet::LoadJpegPicture(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (std::int64_t(picture.width) * picture.height > 4'000'000) return 0;
    picsheet::RotateBitmap(picture, angles[data[0] % 4]);
    if (!picture.hasData) {
      picsheet::EncodeJpegRgbToMemory(picture.raster.data(), picture.width, picture.height,
                                      picture.progressive, 0);
    }
  } catch (const picsheet::Error&) {
  }
  return 0;
}
