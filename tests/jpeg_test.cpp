// JPEG reading, decoding, turning and encoding on real streams made with libjpeg.
#include <gtest/gtest.h>
#include <jerror.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <vector>

#include "base/error.h"
#include "images/jpeg.h"
#include "images/rotate.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::DecodedJpeg;
using testkit::JpegKind;
using testkit::MakeFlatJpeg;
using testkit::MakeQuadrantJpeg;
using testkit::Near;
using testkit::Rgb;

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kYellow{255, 255, 0};

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "";
}

// The stream up to a few bytes into its first scan's data.
std::string CutInsideTheScan(const std::string& stream) {
  const std::size_t sos = stream.find("\xFF\xDA");
  EXPECT_NE(sos, std::string::npos);
  return stream.substr(0, sos + 20);
}

TEST(JpegHeader, GivesSizeAndScanModeWithoutDecoding) {
  const JpegPicture baseline = LoadJpegPicture(MakeFlatJpeg(400, 300));
  EXPECT_EQ(baseline.width, 400);
  EXPECT_EQ(baseline.height, 300);
  EXPECT_FALSE(baseline.progressive);
  EXPECT_TRUE(baseline.hasData);
  EXPECT_TRUE(baseline.raster.empty());
  EXPECT_TRUE(LoadJpegPicture(MakeFlatJpeg(30, 40, JpegKind::kProgressive)).progressive);

  // Only the header is read: a stream cut short after the scan header still loads.
  const JpegPicture cut =
      LoadJpegPicture(CutInsideTheScan(MakeQuadrantJpeg(64, 48, JpegKind::kBaseline)));
  EXPECT_EQ(cut.width, 64);
  EXPECT_EQ(cut.height, 48);

  const JpegPicture empty = LoadJpegPicture("");
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.height, 0);
  EXPECT_TRUE(empty.hasData);
}

TEST(JpegHeader, ABodyThatIsNoJpegGivesTheLibraryCode) {
  EXPECT_EQ(ErrorOf([] { LoadJpegPicture("<html>404 Not Found</html>"); }),
            "JPEG error #" + std::to_string(JERR_NO_SOI));
  // A start marker and then nothing: the library gives up with its own code, not a crash.
  const std::string message = ErrorOf([] { LoadJpegPicture("\xFF\xD8"); });
  EXPECT_EQ(message.rfind("JPEG error #", 0), 0u) << message;
}

// The turn mappings on the 3 x 2 picture a b c / d e f, one byte per pixel channel.
TEST(TurnMapping, PlacesEveryPixelAsTheThreeTurnsDemand) {
  const std::vector<char> names = {'a', 'b', 'c', 'd', 'e', 'f'};
  std::vector<std::uint8_t> source;
  for (char name : names) {
    source.push_back(static_cast<std::uint8_t>(name));
    source.push_back(1);
    source.push_back(2);
  }
  struct Case {
    int angle;
    std::string expected;  // target pixels row by row
  };
  for (const Case& c :
       {Case{90, "daebfc"}, Case{-90, "cfbead"}, Case{180, "fedcba"}, Case{45, "abcdef"}}) {
    std::vector<std::uint8_t> target(source.size());
    // Hand the rows over one at a time, as a strip decoder would.
    PlaceTurnedRows(source.data(), 0, 1, 3, 2, c.angle, target.data());
    PlaceTurnedRows(source.data() + 9, 1, 1, 3, 2, c.angle, target.data());
    std::string placed;
    for (std::size_t i = 0; i < target.size(); i += 3) {
      placed += static_cast<char>(target[i]);
      EXPECT_EQ(target[i + 1], 1);
      EXPECT_EQ(target[i + 2], 2);
    }
    EXPECT_EQ(placed, c.expected) << "angle " << c.angle;
  }
}

// Quadrant colours of a decoded picture: top-left, top-right, bottom-left, bottom-right.
std::vector<Rgb> Corners(const DecodedJpeg& picture) {
  const int w = picture.width, h = picture.height;
  return {picture.At(w / 4, h / 4), picture.At(3 * w / 4, h / 4), picture.At(w / 4, 3 * h / 4),
          picture.At(3 * w / 4, 3 * h / 4)};
}

void ExpectCorners(const std::vector<Rgb>& corners, const std::vector<Rgb>& expected) {
  ASSERT_EQ(corners.size(), expected.size());
  for (std::size_t i = 0; i < corners.size(); ++i) {
    EXPECT_TRUE(Near(corners[i], expected[i])) << "corner " << i << ": " << int(corners[i].r) << ","
                                               << int(corners[i].g) << "," << int(corners[i].b);
  }
}

// Turns and encodes through a real file, then decodes what was written.
DecodedJpeg TurnAndEncode(const std::string& stream, int angle, JpegPicture* turned = nullptr) {
  JpegPicture picture = LoadJpegPicture(stream);
  RotateBitmap(picture, angle);
  const std::string encoded = EncodeJpegRgbToMemory(picture.raster.data(), picture.width,
                                                    picture.height, picture.progressive, 0);
  if (turned != nullptr) *turned = std::move(picture);
  return testkit::DecodeJpeg(encoded);
}

TEST(RotateBitmap, TurnsRealPicturesOfEveryKind) {
  // Sizes that are no multiple of the decoder's strips or of the 8 x 8 blocks.
  for (JpegKind kind : {JpegKind::kBaseline, JpegKind::kProgressive, JpegKind::kCmyk}) {
    const std::string stream = MakeQuadrantJpeg(70, 38, kind);
    JpegPicture turned;
    const DecodedJpeg cw = TurnAndEncode(stream, 90, &turned);
    EXPECT_EQ(turned.width, 38);
    EXPECT_EQ(turned.height, 70);
    EXPECT_FALSE(turned.hasData);
    EXPECT_TRUE(turned.data.empty());
    EXPECT_EQ(cw.width, 38);
    EXPECT_EQ(cw.height, 70);
    EXPECT_EQ(cw.components, 3);
    EXPECT_EQ(cw.progressive, kind == JpegKind::kProgressive);
    // Clockwise the left column (red over blue) becomes the top row, read right to left.
    ExpectCorners(Corners(cw), {kBlue, kRed, kYellow, kGreen});
    ExpectCorners(Corners(TurnAndEncode(stream, -90)), {kGreen, kYellow, kRed, kBlue});
    const DecodedJpeg upsideDown = TurnAndEncode(stream, 180);
    EXPECT_EQ(upsideDown.width, 70);
    ExpectCorners(Corners(upsideDown), {kYellow, kBlue, kGreen, kRed});
  }
}

TEST(RotateBitmap, GrayscaleBecomesThreeComponentsAndAngleZeroTouchesNothing) {
  const std::string gray = MakeFlatJpeg(20, 10, JpegKind::kGrayscale);
  EXPECT_EQ(testkit::DecodeJpeg(gray).components, 1);
  const DecodedJpeg turned = TurnAndEncode(gray, 90);
  EXPECT_EQ(turned.components, 3);
  EXPECT_TRUE(Near(turned.At(5, 10), Rgb{90, 90, 90}));

  JpegPicture untouched = LoadJpegPicture(gray);
  RotateBitmap(untouched, 0);
  EXPECT_TRUE(untouched.hasData);
  EXPECT_EQ(untouched.data, gray);
  EXPECT_EQ(untouched.width, 20);
}

TEST(RotateBitmap, DamagedDataFailsOnlyWhenDecoded) {
  const std::string whole = MakeFlatJpeg(64, 48);
  JpegPicture picture = LoadJpegPicture(CutInsideTheScan(whole));
  // A truncated stream decodes with the missing part filled in (a library warning, ignored).
  EXPECT_NO_THROW(RotateBitmap(picture, 90));
  EXPECT_EQ(picture.width, 48);
  // A later scan that names a component the frame lacks: the header reads fine, the decode
  // fails with the library's code.
  std::string broken = MakeFlatJpeg(64, 48, JpegKind::kProgressive);
  const std::size_t secondScan = broken.find("\xFF\xDA", broken.find("\xFF\xDA") + 2);
  ASSERT_NE(secondScan, std::string::npos);
  broken[secondScan + 5] = '\x07';
  JpegPicture bad = LoadJpegPicture(broken);
  EXPECT_EQ(bad.width, 64);
  EXPECT_EQ(ErrorOf([&] { RotateBitmap(bad, 90); }),
            "JPEG error #" + std::to_string(JERR_BAD_COMPONENT_ID));
}

TEST(RotateBitmap, RefusesAPictureTooLargeForMemoryBeforeDecoding) {
  // A real stream whose frame header claims 65500 x 65000 pixels: 12.8 GB of raster.
  std::string huge = MakeFlatJpeg(16, 16);
  const std::size_t frame = huge.find("\xFF\xC0");
  ASSERT_NE(frame, std::string::npos);
  const char size[] = {'\xFD', '\xE8', '\xFF', '\xDC'};  // height 65000, width 65500
  huge.replace(frame + 5, 4, size, 4);
  JpegPicture picture = LoadJpegPicture(huge);
  ASSERT_EQ(picture.width, 65500);
  ASSERT_EQ(picture.height, 65000);
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  long long availableKb = 0;
  while (meminfo >> key >> availableKb && key != "MemAvailable:") meminfo.ignore(64, '\n');
  if (availableKb * 1024 / 2 >= 65500LL * 65000 * 3) GTEST_SKIP() << "this machine could decode it";
  EXPECT_EQ(ErrorOf([&] { RotateBitmap(picture, 90); }), "Out of memory");
  EXPECT_TRUE(picture.hasData);
}

TEST(JpegStop, AProgressiveStreamStopsInsideTheLibrarysWholePasses) {
  // The library reads such a stream whole before it hands out the first row; a stop ends that.
  const std::string stream = MakeQuadrantJpeg(64, 48, JpegKind::kProgressive);
  std::stop_source stop;
  stop.request_stop();
  int strips = 0;
  EXPECT_EQ(ErrorOf([&] {
              DecodeJpegRows(
                  stream, 8, [&](const std::uint8_t*, int, int) { ++strips; }, stop.get_token());
            }),
            "Interrupted");
  EXPECT_EQ(strips, 0);
}

}  // namespace
}  // namespace picsheet
