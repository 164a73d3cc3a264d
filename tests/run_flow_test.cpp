// The toolkit-free run flow's pieces: save names, the message shown, the saved page.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "app/core/error_message.h"
#include "app/core/page_file.h"
#include "app/core/session_name.h"
#include "base/error.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::ReadFileBytes;
using testkit::TempDir;

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
