// Whole-or-nothing files: the temporary file beside the target.
#include <gtest/gtest.h>

#include "base/atomic_file.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

TEST(AtomicFileTest, ANameAsLongAsTheFileSystemAllowsCanBeWritten) {
  testkit::TempDir dir;
  const std::string path = dir.File(std::string(250, 'n') + ".html");  // 255 bytes
  WriteFileAtomically(path, "page");
  EXPECT_EQ(testkit::ReadFileBytes(path), "page");
  EXPECT_EQ(testkit::FolderNames(dir.path()),
            std::vector<std::string>{std::string(250, 'n') + ".html"});
}

}  // namespace
}  // namespace picsheet
