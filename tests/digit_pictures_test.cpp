// The program's own digit pictures and their copies beside a page.
#include "app/core/digit_pictures.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/error.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

const std::string kDigits = std::string(PICSHEET_EXAMPLES) + "/../assets/syriannums/";

TEST(DigitPicturesTest, TheProgramFindsItsOwnSetBesideIt) {
  const std::string shipped = ShippedDigitFolder();
  ASSERT_FALSE(shipped.empty());
  for (const std::string& name : DigitPictureNames()) {
    EXPECT_EQ(ReadFileBytes(shipped + name), ReadFileBytes(kDigits + name)) << name;
    EXPECT_EQ(ReadFileBytes(shipped + name).substr(1, 3), "PNG") << name;
  }
  EXPECT_EQ(DigitPictureNames().size(), 19u);
}

TEST(DigitPicturesTest, MissingPicturesAreCopiedAndTheUsersOwnKept) {
  TempDir dir;
  ProvideDigitPictures(kDigits, dir.path() + "/");
  for (const std::string& name : DigitPictureNames()) {
    EXPECT_EQ(ReadFileBytes(dir.File("syriannums/" + name)), ReadFileBytes(kDigits + name));
  }
  WriteFileBytes(dir.File("syriannums/7.png"), "mine");
  std::filesystem::remove(dir.File("syriannums/-3.png"));
  ProvideDigitPictures(kDigits, dir.path() + "/");
  EXPECT_EQ(ReadFileBytes(dir.File("syriannums/7.png")), "mine");
  EXPECT_EQ(ReadFileBytes(dir.File("syriannums/-3.png")), ReadFileBytes(kDigits + "-3.png"));
}

TEST(DigitPicturesTest, AFileInTheFoldersPlaceEndsTheRun) {
  TempDir dir;
  WriteFileBytes(dir.File("syriannums"), "x");
  try {
    ProvideDigitPictures(kDigits, dir.path() + "/");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), ("Cannot create " + dir.File("syriannums")).c_str());
    EXPECT_EQ(e.reason(), "File exists");
  }
  ProvideDigitPictures("", dir.path() + "/");  // no set of its own: nothing to copy
  EXPECT_FALSE(PathExists(dir.File("syriannums/1.png")));
}

}  // namespace
}  // namespace picsheet
