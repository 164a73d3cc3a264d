// RotateBitmap: strips of decoded rows placed turned into a raster that fits in memory.
#include "images/rotate.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/available_memory.h"
#include "base/error.h"
#include "base/messages.h"
#include "images/raster_lease.h"

namespace picsheet {
namespace {

// Rows decoded at a time. Each strip is spread over the target's columns, so every target row
// gets kStripRows pixels (192 bytes, three whole cache lines) per strip; the strip itself (768 KB
// for a 4000-pixel row) stays in cache while that happens. 64 measured fastest on 12 megapixels.
constexpr int kStripRows = 64;

void CopyPixel(const std::uint8_t* from, std::uint8_t* to) {
  to[0] = from[0];
  to[1] = from[1];
  to[2] = from[2];
}

// Copies count pixels to consecutive places from `to` on, the i-th from from + i * step. All but
// the last move four bytes, one load and one store instead of three of each: the fourth byte
// lands on the next place, which the next pixel then writes, and the last pixel moves three bytes
// so that nothing past the run is touched. The fourth byte read belongs to the pixel after each
// source pixel, so no source pixel but the last may be the final one of its buffer.
void CopyRun(const std::uint8_t* from, std::ptrdiff_t step, std::uint8_t* to, int count) {
  for (int i = 1; i < count; ++i, from += step, to += 3) {
    std::uint32_t pixel;
    std::memcpy(&pixel, from, sizeof pixel);
    std::memcpy(to, &pixel, sizeof pixel);
  }
  CopyPixel(from, to);
}

// The raster is checked before decoding. Linux grants nearly any allocation and kills the process
// (or swaps) when the pages are touched, so a picture whose raster and decoding work (about as
// much again, for progressive pictures the library's coefficient buffers) would not fit in the
// available memory is refused up front rather than trusted to the allocator.
std::uint64_t RasterBytes(std::int32_t width, std::int32_t height) {
  return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 3u;
}

bool RasterFits(std::uint64_t bytes, std::uint64_t held) {
  const std::uint64_t available = AvailableMemoryBytes();
  const std::uint64_t spare = available > UINT64_MAX - held ? UINT64_MAX : available + held;
  return bytes <= spare / 2;
}

std::size_t CheckedRasterBytes(std::int32_t width, std::int32_t height, std::uint64_t held) {
  const std::uint64_t bytes = RasterBytes(width, height);
  if (!RasterFits(bytes, held)) throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory);
  return static_cast<std::size_t>(bytes);
}

std::vector<std::uint8_t> AllocateRaster(std::int32_t width, std::int32_t height) {
  const std::size_t bytes = CheckedRasterBytes(width, height, 0);
  try {
    return std::vector<std::uint8_t>(bytes);
  } catch (const std::bad_alloc&) {
    throw Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory);
  }
}

}  // namespace

std::size_t TurnedRasterBytes(std::int32_t width, std::int32_t height) {
  return CheckedRasterBytes(width, height, RasterLease::KeptBytes());
}

bool TurnedRasterFits(std::int32_t width, std::int32_t height) {
  return RasterFits(RasterBytes(width, height), RasterLease::KeptBytes());
}

TurnWork TurnWorkFor(const JpegHeader& header) {
  // The encoder keeps the turned picture's coefficients when it writes several scans: 4:2:0, six
  // blocks of 128 bytes for every 16 x 16 pixels.
  const std::uint64_t units = (static_cast<std::uint64_t>(header.width) + 15) / 16 *
                              ((static_cast<std::uint64_t>(header.height) + 15) / 16);
  const std::uint64_t encoder = header.progressive ? units * 6 * 128 : 0;
  const std::uint64_t strip = static_cast<std::uint64_t>(header.width) * 4 * kStripRows;
  constexpr std::uint64_t kLibrary = std::uint64_t{1} << 20;  // tables, sampling rows, stream
  const std::uint64_t raster = RasterBytes(header.width, header.height);
  const std::uint64_t bytes =
      raster + std::max<std::uint64_t>(header.coefficientBytes, encoder) + strip + kLibrary;
  const auto size = [](std::uint64_t n) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(n, SIZE_MAX));
  };
  return TurnWork{header.width, header.height, size(raster), size(bytes)};
}

void PlaceTurnedRows(const std::uint8_t* rows, int firstRow, int count, int width, int height,
                     std::int32_t angle, std::uint8_t* target) {
  if (count <= 0 || width <= 0) return;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(w * 3);
  if (angle == 90 || angle == -90) {
    // The target is h wide. Clockwise, source row y becomes target column h - 1 - y (top row to
    // the right column); counter-clockwise, source column x becomes target row w - 1 - x. Each
    // target row takes one pixel from every row of the strip, into consecutive places: read
    // bottom up for a clockwise turn, top down for a counter-clockwise one.
    const bool clockwise = angle == 90;
    const std::size_t firstColumn = clockwise ? h - static_cast<std::size_t>(firstRow + count)
                                              : static_cast<std::size_t>(firstRow);
    const std::ptrdiff_t step = clockwise ? -rowBytes : rowBytes;
    const std::uint8_t* firstSourceRow = clockwise ? rows + (count - 1) * rowBytes : rows;
    for (std::size_t targetRow = 0; targetRow < w; ++targetRow) {
      const std::size_t sourceColumn = clockwise ? targetRow : w - 1 - targetRow;
      const std::uint8_t* from = firstSourceRow + sourceColumn * 3;
      std::uint8_t* to = target + (targetRow * h + firstColumn) * 3;
      if (sourceColumn + 1 < w) {
        CopyRun(from, step, to, count);
        continue;
      }
      // The last column holds the strip's final pixel, which has no byte after it.
      for (int r = 0; r < count; ++r, from += step, to += 3) CopyPixel(from, to);
    }
    return;
  }
  for (int r = 0; r < count; ++r) {
    const std::size_t y = static_cast<std::size_t>(firstRow + r);
    const std::uint8_t* source = rows + r * rowBytes;
    if (angle != 180) {
      std::memcpy(target + y * w * 3, source, w * 3);
      continue;
    }
    // Upside down: source row y, mirrored, becomes target row h - 1 - y. Its last pixel, which
    // may end the strip, goes first and alone.
    std::uint8_t* out = target + (h - 1 - y) * w * 3;
    CopyPixel(source + (w - 1) * 3, out);
    if (w > 1) CopyRun(source + (w - 2) * 3, -3, out + 3, static_cast<int>(w - 1));
  }
}

void DecodeTurned(const JpegPicture& picture, std::int32_t angle, std::uint8_t* target,
                  std::stop_token stop) {
  const std::int32_t width = picture.width;
  const std::int32_t height = picture.height;
  DecodeJpegRows(
      picture.data, kStripRows,
      [&](const std::uint8_t* rows, int firstRow, int count) {
        if (stop.stop_requested()) throw InterruptedError();
        PlaceTurnedRows(rows, firstRow, count, width, height, angle, target);
      },
      stop);
}

void RotateBitmap(JpegPicture& picture, std::int32_t angle, std::stop_token stop) {
  if (angle == 0) return;
  std::vector<std::uint8_t> target = AllocateRaster(picture.width, picture.height);
  DecodeTurned(picture, angle, target.data(), stop);
  picture.raster = std::move(target);
  picture.data = std::string();
  picture.hasData = false;
  if (angle == 90 || angle == -90) std::swap(picture.width, picture.height);
}

}  // namespace picsheet
