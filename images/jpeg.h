// JPEG reading and writing on libjpeg: the header alone, a full decode to RGB rows, and an RGB
// encode straight into a file. Fatal library errors become Error "JPEG error #%d" with the
// library's message code, its message text as reason; warnings are ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace picsheet {

// The picture one localisation works on.
struct JpegPicture {
  std::string data;  // the stream as downloaded; dropped once the picture is turned
  bool hasData = true;
  std::int32_t width = 0;  // of the full-scale image; of the raster after a turn
  std::int32_t height = 0;
  bool progressive = false;          // the downloaded stream has more than one scan
  std::vector<std::uint8_t> raster;  // RGB, 3 bytes per pixel, rows top down; made by a turn
};

// What a stream's header tells before any pixel is decoded.
struct JpegHeader {
  std::int32_t width = 0;
  std::int32_t height = 0;
  bool progressive = false;  // more than one scan
  // The coefficients the decoder holds for the whole picture while it reads a stream of several
  // scans; 0 for one scan, which is decoded a few rows at a time.
  std::size_t coefficientBytes = 0;
};

// Reads the header of data. Throws Error "JPEG error #%d" for data that is not a JPEG stream.
JpegHeader ReadJpegHeader(std::string_view data);

// Takes the bytes as the picture's data and reads its size and scan mode from the header; no
// pixels are decoded. An empty body gives a 0 x 0 picture without error.
JpegPicture LoadJpegPicture(std::string data);

// Throws what libjpeg says of a stream of no bytes at all ("Empty input file"), for a body that
// is known to be no picture rather than an empty one.
[[noreturn]] void RefuseEmptyStream();

// Receives decoded rows: count rows of width * 3 bytes, the first of them row firstRow.
using RowSink = std::function<void(const std::uint8_t* rows, int firstRow, int count)>;

// Decodes data at full scale to 8-bit RGB (grayscale and CMYK pictures are converted), handing
// the rows to sink in strips of at most stripRows rows, in order. Throws Error "Interrupted" once
// stop is requested, also while the library reads a progressive stream whole.
void DecodeJpegRows(const std::string& data, int stripRows, const RowSink& sink,
                    std::stop_token stop = {});

// Encodes an RGB raster (3 bytes per pixel, rows top down) at quality 90 with baseline-limited
// tables, progressive when asked, into memory: returns the whole stream, for which expectedSize
// bytes are set aside at the start. Throws Error "Out of memory" when the stream cannot be held,
// "Interrupted" once stop is requested (checked every 64 rows, and in the library's passes that
// write a progressive stream at the end); a library error of the encoder
// concerns the output, not the picture.
std::string EncodeJpegRgbToMemory(const std::uint8_t* raster, int width, int height,
                                  bool progressive, std::size_t expectedSize,
                                  std::stop_token stop = {});

}  // namespace picsheet
