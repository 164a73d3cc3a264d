// Real JPEG streams for tests, made with libjpeg from small rasters, and read back the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace picsheet::testkit {

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

// kCmyk writes four inks the way Adobe software does (inverted, with an Adobe marker), the form
// in which CMYK pictures are met on the web.
enum class JpegKind { kBaseline, kProgressive, kGrayscale, kCmyk };

// A width x height picture split into four flat quadrants (top-left, top-right, bottom-left,
// bottom-right), so that where each quadrant ends up after a turn survives lossy coding.
std::string MakeQuadrantJpeg(int width, int height, JpegKind kind,
                             const Rgb (&quadrants)[4] = {
                                 {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}});

// Encodes raw samples with libjpeg: components 1 (gray), 3 (RGB) or 4 (CMYK, written with an
// Adobe marker), rows top down; progressive with the library's simple script when asked.
std::string EncodeJpegSamples(const std::vector<std::uint8_t>& samples, int width, int height,
                              int components, int quality, bool progressive);

// A flat picture of one colour in any size.
std::string MakeFlatJpeg(int width, int height, JpegKind kind = JpegKind::kBaseline);

// What a decoder sees in a stream.
struct DecodedJpeg {
  int width = 0;
  int height = 0;
  int components = 0;  // as stored in the stream
  bool progressive = false;
  std::vector<Rgb> pixels;  // rows top down, decoded to RGB
  Rgb At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};
DecodedJpeg DecodeJpeg(const std::string& stream);

// The same decode as plain RGB bytes, 3 per pixel, rows top down.
struct DecodedRaster {
  int width = 0;
  int height = 0;
  int components = 0;
  bool progressive = false;
  std::vector<std::uint8_t> rgb;
};
DecodedRaster DecodeJpegRaster(const std::string& stream);

// True when two colours differ by at most tolerance in every channel (JPEG is lossy).
bool Near(const Rgb& a, const Rgb& b, int tolerance = 24);

}  // namespace picsheet::testkit
