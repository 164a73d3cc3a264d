// Paths as the user is shown them.
#include "base/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace picsheet {
namespace {

TEST(AbsolutePathLexicallyTest, FoldsDotsAndSlashes) {
  EXPECT_EQ(AbsolutePathLexically("/a/./b//c/../d/"), "/a/b/d");
  EXPECT_EQ(AbsolutePathLexically("/../x"), "/x");
  EXPECT_EQ(AbsolutePathLexically("//net/x"), "//net/x");
  EXPECT_EQ(AbsolutePathLexically("///x"), "/x");
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(AbsolutePathLexically(""), AbsolutePathLexically(cwd));
}

TEST(SystemErrorDescriptionTest, EndsWithoutFullStopOrLineBreak) {
  EXPECT_EQ(SystemErrorDescription(ENOENT), "No such file or directory");
}

}  // namespace
}  // namespace picsheet
