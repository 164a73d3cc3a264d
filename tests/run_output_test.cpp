// The output of a run: staged pictures move into the picture folder in order, all that can.
#include "app/core/run_output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/error.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;
using testkit::WriteFileBytes;

TEST(RunOutputTest, StagedPicturesMoveInOrderAndOneThatCannotDropsNoOther) {
  TempDir out;
  std::filesystem::create_directories(out.File("run_images/b.jpg"));  // in b's way
  {
    RunOutput output(out.path() + "/", "run");
    ASSERT_FALSE(output.stagingFolder().empty());
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
      WriteFileBytes(output.stagingFolder() + "/" + name, name);
      output.Staged(name);
    }
    try {
      output.Commit();
      ADD_FAILURE() << "b was moved onto a folder";
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kOutput);
      EXPECT_EQ(
          std::string(e.what()).rfind("Cannot create file \"" + out.File("run_images/b.jpg"), 0),
          0u)
          << e.what();
    }
  }
  EXPECT_EQ(ReadFileBytes(out.File("run_images/a.jpg")), "a.jpg");
  EXPECT_EQ(ReadFileBytes(out.File("run_images/c.jpg")), "c.jpg");
  EXPECT_TRUE(std::filesystem::is_directory(out.File("run_images/b.jpg")));
}

}  // namespace
}  // namespace picsheet
