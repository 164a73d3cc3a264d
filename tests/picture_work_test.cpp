// Preparing pictures: a turned picture's bytes against a turn done pixel by pixel, on real streams.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "images/jpeg.h"
#include "images/picture_work.h"
#include "tests/testkit/jpeg_maker.h"

namespace picsheet {
namespace {

// Noise in every sample, so that any pixel put in the wrong place changes the encoded bytes.
std::string NoiseJpeg(int width, int height, int components, bool progressive) {
  std::vector<std::uint8_t> samples(static_cast<std::size_t>(width * height * components));
  std::uint32_t state = static_cast<std::uint32_t>(width * 7919 + height);
  for (std::uint8_t& sample : samples) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<std::uint8_t>(state >> 24);
  }
  return testkit::EncodeJpegSamples(samples, width, height, components, 85, progressive);
}

// The whole picture decoded at once, turned one pixel at a time as D(x, y) = S(...) describes each
// turn, and encoded with the same settings.
std::string TurnedPixelByPixel(const std::string& stream, int angle) {
  const JpegPicture picture = LoadJpegPicture(stream);
  const int w = picture.width, h = picture.height;
  std::vector<std::uint8_t> source;
  DecodeJpegRows(stream, h, [&](const std::uint8_t* rows, int, int count) {
    source.assign(rows, rows + static_cast<std::size_t>(w * count * 3));
  });
  const bool across = angle != 180;
  const int dw = across ? h : w, dh = across ? w : h;
  std::vector<std::uint8_t> target(source.size());
  for (int x = 0; x < dw; ++x) {
    for (int y = 0; y < dh; ++y) {
      const int sx = angle == 90 ? y : angle == -90 ? w - 1 - y : w - 1 - x;
      const int sy = angle == 90 ? h - 1 - x : angle == -90 ? x : h - 1 - y;
      for (int c = 0; c < 3; ++c) target[(y * dw + x) * 3 + c] = source[(sy * w + sx) * 3 + c];
    }
  }
  return EncodeJpegRgbToMemory(target.data(), dw, dh, picture.progressive, 0);
}

TEST(PreparePicture, ATurnedPictureIsTheFullDecodeTurnedPixelByPixel) {
  struct Kind {
    int components;
    bool progressive;
  };
  // Widths of one and two pixels, heights across several decoding strips and not a multiple of
  // them, and the order big, small, big, so that a thread's kept raster memory is met dirty.
  const int sizes[][2] = {{130, 67}, {3, 2}, {1, 5}, {67, 130}, {2, 1}, {257, 2}};
  const Kind kinds[] = {{3, false}, {3, true}, {1, false}, {4, false}};
  std::vector<std::string> inOrder;
  for (const auto& size : sizes) {
    for (const Kind& kind : kinds) {
      const std::string stream = NoiseJpeg(size[0], size[1], kind.components, kind.progressive);
      const int orientation = size[0] > size[1] ? 2 : 1;
      for (int angle : {90, -90, 180}) {
        const PreparedPicture prepared = PreparePicture(stream, orientation, angle);
        EXPECT_TRUE(prepared.bytes == TurnedPixelByPixel(stream, angle))
            << size[0] << " x " << size[1] << ", " << kind.components << " components"
            << (kind.progressive ? ", progressive" : "") << ", angle " << angle;
        inOrder.push_back(prepared.bytes);
      }
    }
  }
  // The same pictures backwards on a thread of their own: the same bytes.
  std::vector<std::string> backwards;
  std::thread([&] {
    for (auto size = std::rbegin(sizes); size != std::rend(sizes); ++size) {
      for (auto kind = std::rbegin(kinds); kind != std::rend(kinds); ++kind) {
        const std::string stream =
            NoiseJpeg((*size)[0], (*size)[1], kind->components, kind->progressive);
        for (int angle : {180, -90, 90}) {
          backwards.push_back(PreparePicture(stream, (*size)[0] > (*size)[1] ? 2 : 1, angle).bytes);
        }
      }
    }
  }).join();
  EXPECT_TRUE(std::equal(inOrder.begin(), inOrder.end(), backwards.rbegin(), backwards.rend()));
}

}  // namespace
}  // namespace picsheet
