// Turning a picture by 90, -90 or 180 degrees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>

#include "images/jpeg.h"

namespace picsheet {

// Decodes the picture and replaces its data by the turned raster (Width and Height become the
// raster's; the scan mode stays). 90 turns clockwise, -90 counter-clockwise, 180 upside down;
// 0 leaves the picture untouched; any other angle keeps the decoded pixels as they are.
// Throws Error "Out of memory" for a raster that cannot be held, "Interrupted" once stop is
// requested (checked between strips of the decode).
void RotateBitmap(JpegPicture& picture, std::int32_t angle, std::stop_token stop = {});

// The bytes of the turned RGB raster of a width x height picture. Throws Error "Out of memory" when
// the raster and the decoding work would not fit in the memory the system can hand out (the
// calling thread's kept raster memory counted as free), before anything is decoded: a header can
// claim up to 65500 x 65500 pixels at the cost of a few bytes.
std::size_t TurnedRasterBytes(std::int32_t width, std::int32_t height);

// Whether a width x height picture passes the check of TurnedRasterBytes with the memory the
// system can hand out now.
bool TurnedRasterFits(std::int32_t width, std::int32_t height);

// The memory turning a picture takes at its peak besides its body: the turned raster, the rows
// being decoded, the library's own buffers and, for a stream of several scans, the coefficients
// of decoding it or of encoding the turned picture (never both: the decoder is gone before the
// encoder starts).
struct TurnWork {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t rasterBytes = 0;  // the part a thread's kept raster memory can serve
  std::size_t bytes = 0;        // 0: no turn
};
TurnWork TurnWorkFor(const JpegHeader& header);

// The decode and turn of RotateBitmap into target, which holds TurnedRasterBytes of the picture;
// the picture itself stays as it is. Throws what RotateBitmap throws.
void DecodeTurned(const JpegPicture& picture, std::int32_t angle, std::uint8_t* target,
                  std::stop_token stop = {});

// Places source rows firstRow .. firstRow + count - 1 of a width x height RGB picture into the
// turned raster target (height x width for 90 and -90, width x height otherwise).
void PlaceTurnedRows(const std::uint8_t* rows, int firstRow, int count, int width, int height,
                     std::int32_t angle, std::uint8_t* target);

}  // namespace picsheet
