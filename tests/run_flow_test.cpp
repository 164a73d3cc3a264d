// The toolkit-free run flow's pieces: save names, the message shown, the saved page.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "app/core/digit_pictures.h"
#include "app/core/error_message.h"
#include "app/core/page_file.h"
#include "app/core/session_name.h"
#include "convert/error.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

const std::string kDigits = std::string(PICSHEET_EXAMPLES) + "/../assets/syriannums/";

TEST(SessionNameTest, DerivedFromThePartAfterTheLastBackslashOrColon) {
  // "Серия" in Windows-1251: bytes of 128 and above are dropped with the blank and the dot.
  EXPECT_EQ(DeriveSessionName("C:\\pages\\\xD1\xE5\xF0\xE8\xFF 12.htm"), "12htm");
  EXPECT_EQ(DeriveSessionName("http://host/list/page7.htm"), "hostlistpage7htm");
  EXPECT_EQ(DeriveSessionName("http://host:8080/a.htm"), "8080ahtm");
  EXPECT_EQ(DeriveSessionName("/home/me/my-list_2.html"), "homememy-list_2html");
  EXPECT_EQ(DeriveSessionName("C:\\pages\\"), "");
  EXPECT_EQ(DeriveSessionName("name:"), "");
  EXPECT_EQ(DeriveSessionName(""), "");
}

TEST(SessionNameTest, FilterKeepsOnlyNameBytes) {
  EXPECT_EQ(FilterSessionName("a-Z_0 9.x/y\\z:\x80\xFF"), "a-Z_09xyz");
}

TEST(MessageForDisplayTest, FullStopOnlyAfterBytesAboveTheFullStop) {
  EXPECT_EQ(MessageForDisplay("Cannot open URL x"), "Cannot open URL x.");
  EXPECT_EQ(MessageForDisplay("JPEG error #55"), "JPEG error #55.");
  EXPECT_EQ(MessageForDisplay("Done."), "Done.");
  EXPECT_EQ(MessageForDisplay("(x)"), "(x)");
  EXPECT_EQ(MessageForDisplay("x!"), "x!");
  EXPECT_EQ(MessageForDisplay("say \"x\""), "say \"x\"");
  EXPECT_EQ(MessageForDisplay("blank "), "blank ");
  EXPECT_EQ(MessageForDisplay("a/"), "a/.");
  EXPECT_EQ(MessageForDisplay("\xD1\xFF"), "\xD1\xFF.");
  EXPECT_EQ(MessageForDisplay(""), "");
}

TEST(SavePageTest, EveryLineEndsInCrLfWithBytesAsTheyAre) {
  TempDir dir;
  const std::string path = dir.File("page.html");
  SavePage(path, {"<b>\xC0\xFF</b>", "", "a\r\nb"});
  EXPECT_EQ(ReadFileBytes(path), "<b>\xC0\xFF</b>\r\n\r\na\r\nb\r\n");
  SavePage(path, {});
  EXPECT_EQ(ReadFileBytes(path), "");
  // Nothing but the page is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(SavePageTest, AFolderThatDoesNotExistCannotTakeThePage) {
  TempDir dir;
  const std::string path = dir.File("missing/page.html");
  try {
    SavePage(path, {"x"});
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(),
                 ("Cannot create file \"" + path + "\". No such file or directory").c_str());
  }
}

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
  }
  ProvideDigitPictures("", dir.path() + "/");  // no set of its own: nothing to copy
  EXPECT_FALSE(PathExists(dir.File("syriannums/1.png")));
}

// A file size limit makes writes fail the way a full disk does.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit saved_{};
  sighandler_t previousHandler_;
};

TEST(SavePageTest, AFailedWriteKeepsThePreviousPage) {
  TempDir dir;
  const std::string path = dir.File("page.html");
  SavePage(path, {"old page"});
  {
    FileSizeLimit limit(16);
    try {
      SavePage(path, {std::string(1000, 'n')});
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Stream write error");
    }
  }
  EXPECT_EQ(ReadFileBytes(path), "old page\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1)
      << "the temporary file is removed";
}

}  // namespace
}  // namespace picsheet
