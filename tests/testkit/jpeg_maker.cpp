#include "tests/testkit/jpeg_maker.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace picsheet::testkit {
namespace {

// Test pictures are well-formed; any library error here is a broken test, so it aborts loudly.
[[noreturn]] void Fail(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  std::fprintf(stderr, "test JPEG helper: %s\n", message);
  std::abort();
}

int SamplesPerPixel(JpegKind kind) {
  return kind == JpegKind::kGrayscale ? 1 : kind == JpegKind::kCmyk ? 4 : 3;
}

}  // namespace

std::string EncodeJpegSamples(const std::vector<std::uint8_t>& samples, int width, int height,
                              int components, int quality, bool progressive) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  errors.error_exit = Fail;
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string stream(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return stream;
}

DecodedRaster DecodeJpegRaster(const std::string& stream) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  errors.error_exit = Fail;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(stream.data()),
               static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&info, TRUE);
  DecodedRaster result;
  result.components = info.num_components;
  result.progressive = jpeg_has_multiple_scans(&info) != 0;
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  result.width = static_cast<int>(info.output_width);
  result.height = static_cast<int>(info.output_height);
  const std::size_t stride = static_cast<std::size_t>(result.width) * 3;
  result.rgb.resize(stride * static_cast<std::size_t>(result.height));
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result.rgb.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return result;
}

std::string MakeQuadrantJpeg(int width, int height, JpegKind kind, const Rgb (&quadrants)[4]) {
  std::vector<std::uint8_t> samples;
  samples.reserve(static_cast<std::size_t>(width * height * SamplesPerPixel(kind)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb& c = quadrants[(y >= height / 2 ? 2 : 0) + (x >= width / 2 ? 1 : 0)];
      if (kind == JpegKind::kGrayscale) {
        samples.push_back(c.r);
      } else if (kind == JpegKind::kCmyk) {
        samples.insert(samples.end(), {c.r, c.g, c.b, 255});  // inverted inks, no black
      } else {
        samples.insert(samples.end(), {c.r, c.g, c.b});
      }
    }
  }
  return EncodeJpegSamples(samples, width, height, SamplesPerPixel(kind), 95,
                           kind == JpegKind::kProgressive);
}

std::string MakeFlatJpeg(int width, int height, JpegKind kind) {
  const Rgb c{90, 140, 200};
  return MakeQuadrantJpeg(width, height, kind, {c, c, c, c});
}

DecodedJpeg DecodeJpeg(const std::string& stream) {
  const DecodedRaster raster = DecodeJpegRaster(stream);
  DecodedJpeg result;
  result.width = raster.width;
  result.height = raster.height;
  result.components = raster.components;
  result.progressive = raster.progressive;
  result.pixels.reserve(raster.rgb.size() / 3);
  for (std::size_t i = 0; i + 2 < raster.rgb.size(); i += 3) {
    result.pixels.push_back({raster.rgb[i], raster.rgb[i + 1], raster.rgb[i + 2]});
  }
  return result;
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

}  // namespace picsheet::testkit
