#include "bench/bench_jpeg.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace picsheet::bench {
namespace {

[[noreturn]] void Fail(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  std::fprintf(stderr, "benchmark JPEG helper: %s\n", message);
  std::abort();
}

std::string Encode(const std::vector<std::uint8_t>& raster, int width, int height, bool progressive,
                   int quality) {
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
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(raster.data() + stride * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::string stream(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return stream;
}

}  // namespace

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
  return Encode(raster, width, height, progressive, quality);
}

std::size_t PlainDecodeEncode(const std::string& stream) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  errors.error_exit = Fail;
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(stream.data()),
               static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  std::vector<std::uint8_t> raster(static_cast<std::size_t>(width) * height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = raster.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  const bool progressive = jpeg_has_multiple_scans(&info) != 0;
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return Encode(raster, width, height, progressive, 90).size();
}

}  // namespace picsheet::bench
