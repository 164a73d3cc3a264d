// LocaliseImage: names and folders, the shared printed height, the turn decision and the saved
// bytes, with real JPEG streams as the fetched bodies.
#include <gtest/gtest.h>
#include <jerror.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "base/error.h"
#include "images/localise.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::JpegKind;
using testkit::MakeFlatJpeg;
using testkit::PathExists;
using testkit::ReadFileBytes;

// A program folder with the bodies its fake server would answer.
class Localise : public ::testing::Test {
 protected:
  std::string Run(const std::string& body, long double& height, std::int32_t orientation = 2,
                  std::int32_t angle = 90, const std::string& name = "7_1",
                  long double cellWidth = 1.9L) {
    const PictureFetch fetch = [&](const std::string& url) {
      fetched_.push_back(url);
      return MemoryStream(body);
    };
    return LocaliseImage(SessionFolder{dir_.path() + "/", session_}, "http://host/p.jpg", cellWidth,
                         height, orientation, angle, name, fetch);
  }
  std::string ErrorOf(const std::string& body, long double& height) {
    try {
      Run(body, height);
    } catch (const Error& error) {
      return error.what();
    }
    return "";
  }
  std::string Saved(const std::string& padded) const {
    return ReadFileBytes(dir_.File(session_ + "_images/" + padded + ".jpg"));
  }

  testkit::TempDir dir_;
  std::string session_ = "ab";
  std::vector<std::string> fetched_;
};

TEST_F(Localise, PrintedHeightAndTurnFollowTheOrientation) {
  const std::string landscape = MakeFlatJpeg(400, 300);
  const std::string portrait = MakeFlatJpeg(300, 400);
  const std::string square = MakeFlatJpeg(50, 50);
  struct Case {
    const std::string* body;
    std::int32_t orientation;
    long double expectedHeight;
    bool turned;
  };
  for (const Case& c :
       {Case{&landscape, 2, 400 * 1.9L / 300, true}, Case{&portrait, 2, 400 * 1.9L / 300, false},
        Case{&portrait, 1, 300 * 1.9L / 400, true}, Case{&landscape, 1, 300 * 1.9L / 400, false},
        Case{&portrait, 0, 300 * 1.9L / 400, false}, Case{&landscape, 0, 300 * 1.9L / 400, false},
        Case{&square, 2, 1.9L, false}, Case{&square, 1, 1.9L, false},
        Case{&square, 0, 1.9L, false}}) {
    long double height = 0;
    EXPECT_EQ(Run(*c.body, height, c.orientation), "ab_images\\00000007_1.jpg");
    EXPECT_EQ(height, c.expectedHeight) << "orientation " << c.orientation;
    const std::string saved = Saved("00000007_1");
    if (c.turned) {
      const testkit::DecodedJpeg written = testkit::DecodeJpeg(saved);
      const testkit::DecodedJpeg original = testkit::DecodeJpeg(*c.body);
      EXPECT_EQ(written.width, original.height);
      EXPECT_EQ(written.height, original.width);
    } else {
      EXPECT_EQ(saved, *c.body) << "an unturned picture is saved as downloaded";
    }
  }
  EXPECT_EQ(fetched_, std::vector<std::string>(9, "http://host/p.jpg"));
}

TEST_F(Localise, AHeightAlreadySetStaysWhileTheTurnFollowsThisPicture) {
  for (long double entry : {2.5L, -1.0L}) {
    long double height = entry;
    Run(MakeFlatJpeg(400, 300), height);
    EXPECT_EQ(height, entry);
    EXPECT_EQ(testkit::DecodeJpeg(Saved("00000007_1")).width, 300);
  }
}

TEST_F(Localise, SavesUnturnedBytesExactlyAndTurnedOnesInTheirScanMode) {
  // Trailing bytes after the image stay in an unturned save.
  const std::string trailing = MakeFlatJpeg(30, 40) + "trailing bytes";
  long double height = 0;
  Run(trailing, height);
  EXPECT_EQ(Saved("00000007_1"), trailing);
  // Angle 0 keeps even a mismatched picture byte for byte.
  const std::string landscape = MakeFlatJpeg(40, 30, JpegKind::kProgressive);
  Run(landscape, height, 2, 0);
  EXPECT_EQ(Saved("00000007_1"), landscape);

  for (JpegKind kind : {JpegKind::kBaseline, JpegKind::kProgressive, JpegKind::kGrayscale}) {
    Run(MakeFlatJpeg(40, 30, kind), height, 2, -90);
    const testkit::DecodedJpeg written = testkit::DecodeJpeg(Saved("00000007_1"));
    EXPECT_EQ(written.progressive, kind == JpegKind::kProgressive);
    EXPECT_EQ(written.components, 3);
    EXPECT_EQ(written.width, 30);
  }
  // 180 turns a mismatched picture upside down and keeps its shape.
  Run(MakeFlatJpeg(40, 30), height, 2, 180);
  EXPECT_EQ(testkit::DecodeJpeg(Saved("00000007_1")).width, 40);
}

TEST_F(Localise, PadsNamesAndReplacesBytesThatWouldMisplaceTheFile) {
  const std::string body = MakeFlatJpeg(30, 40);
  const std::map<std::string, std::string> padded = {{"7_1", "00000007_1"},
                                                     {"12_3", "00000012_3"},
                                                     {"1234567890_1", "1234567890_1"},
                                                     {"", "0000000000"},
                                                     {"../x_1", "0000.._x_1"},
                                                     {std::string("a\0b", 3) + "_1", "00000a_b_1"},
                                                     {"a\\b_1", "00000a_b_1"}};
  for (const auto& [name, expected] : padded) {
    long double height = 0;
    EXPECT_EQ(Run(body, height, 2, 90, name), "ab_images\\" + expected + ".jpg");
    EXPECT_EQ(Saved(expected), body);
  }
  // Nothing landed outside the picture folder.
  EXPECT_EQ(testkit::FolderNames(dir_.path()), std::vector<std::string>{"ab_images"});

  session_ = "";
  long double height = 0;
  EXPECT_EQ(Run(body, height), "_images\\00000007_1.jpg");
  EXPECT_TRUE(PathExists(dir_.File("_images/00000007_1.jpg")));
}

TEST_F(Localise, FolderAndFileFailures) {
  const std::string body = MakeFlatJpeg(30, 40);
  long double height = 0;
  // An existing folder is used; its other files stay.
  ASSERT_EQ(::mkdir(dir_.File("ab_images").c_str(), 0777), 0);
  testkit::WriteFileBytes(dir_.File("ab_images/other.jpg"), "x");
  Run(body, height);
  EXPECT_EQ(ReadFileBytes(dir_.File("ab_images/other.jpg")), "x");

  // A regular file in the folder's place.
  session_ = "cd";
  testkit::WriteFileBytes(dir_.File("cd_images"), "");
  EXPECT_EQ(ErrorOf(body, height), "Cannot create " + dir_.File("cd_images"));
  EXPECT_TRUE(fetched_.size() == 1) << "the folder is made before the download";
  try {
    Run(body, height);
  } catch (const Error& error) {
    EXPECT_EQ(error.reason(), "File exists");
  }

  // A save name with "/" names no file, even where the folder before it exists; one with "\\"
  // would be a folder in the page's links.
  for (const std::string name : {"ab/x", "ab\\x"}) {
    session_ = name;
    EXPECT_EQ(ErrorOf(body, height), "Cannot create " + dir_.File(name + "_images"));
    EXPECT_FALSE(PathExists(dir_.File(name + "_images")));
  }

  // A folder in the picture file's place.
  session_ = "ef";
  ASSERT_EQ(::mkdir(dir_.File("ef_images").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir(dir_.File("ef_images/00000007_1.jpg").c_str(), 0777), 0);
  EXPECT_EQ(ErrorOf(body, height),
            "Cannot create file \"" + dir_.File("ef_images/00000007_1.jpg") + "\". Is a directory");
  EXPECT_EQ(testkit::FolderNames(dir_.File("ef_images")),
            std::vector<std::string>{"00000007_1.jpg"})
      << "no temporary file is left behind";
}

TEST_F(Localise, EmptyAndForeignBodies) {
  long double height = 0;
  EXPECT_EQ(ErrorOf("", height), "Invalid floating point operation");
  EXPECT_EQ(height, 0);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("ab_images")));
  EXPECT_FALSE(PathExists(dir_.File("ab_images/00000007_1.jpg")));

  height = 2.5L;
  EXPECT_EQ(Run("", height), "ab_images\\00000007_1.jpg");
  EXPECT_EQ(Saved("00000007_1"), "");

  height = 0;
  EXPECT_EQ(ErrorOf("<html>Not found</html>", height),
            "JPEG error #" + std::to_string(JERR_NO_SOI));
  EXPECT_EQ(Saved("00000007_1"), "") << "a failed picture leaves the earlier file as it was";
}

}  // namespace
}  // namespace picsheet
