// Saving the output page: its bytes, and a failed write that keeps the previous page.
#include "app/core/page_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "base/error.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::ReadFileBytes;
using testkit::TempDir;

TEST(SavePageTest, EveryLineEndsInCrLfWithBytesAsTheyAre) {
  TempDir dir;
  const std::string path = dir.File("page.html");
  SavePage(path, {"<b>\xC0\xFF</b>", "", "a\r\nb"});
  EXPECT_EQ(ReadFileBytes(path), "<b>\xC0\xFF</b>\r\n\r\na\r\nb\r\n");
  SavePage(path, {});
  EXPECT_EQ(ReadFileBytes(path), "");
  // Nothing but the page is left in the folder.
  EXPECT_EQ(testkit::FolderNames(dir.path()), std::vector<std::string>{"page.html"});
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
  EXPECT_EQ(testkit::FolderNames(dir.path()), std::vector<std::string>{"page.html"})
      << "the temporary file is removed";
}

}  // namespace
}  // namespace picsheet
