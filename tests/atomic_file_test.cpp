// Whole-or-nothing files: the temporary file beside the target.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/atomic_file.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

TEST(AtomicFileTest, ANameAsLongAsTheFileSystemAllowsCanBeWritten) {
  testkit::TempDir dir;
  const std::string path = dir.File(std::string(250, 'n') + ".html");  // 255 bytes
  WriteFileAtomically(path, "page");
  EXPECT_EQ(testkit::ReadFileBytes(path), "page");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace picsheet
