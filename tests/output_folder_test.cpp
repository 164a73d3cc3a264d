// Where the window writes: the program's folder when writable, else the user's documents folder.
#include "app/core/output_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::TempDir;

struct OutputCase {
  const char* what;
  const char* programFolder;
  bool writable;
  const char* expected;  // "@" a scratch home, whose documents folder is @/Documents
};

TEST(WindowOutputFolderTest, BesideTheProgramOnlyWhereWritableAndNotInstalled) {
  const OutputCase cases[] = {
      {"a writable build tree or portable copy", "/home/me/picsheet/", true, "/home/me/picsheet/"},
      {"a read-only folder", "/srv/tools/", false, "@/Documents/picsheet/"},
      {"the installed bin folder, writable for root", "/usr/bin/", true, "@/Documents/picsheet/"},
      {"the installed bin folder by another spelling", "/usr/./bin", true, "@/Documents/picsheet/"},
  };
  for (const OutputCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir home;
    const auto writable = [&c](const std::string&) { return c.writable; };
    const bool inDocuments = c.expected[0] == '@';
    const std::string expected = inDocuments ? home.path() + (c.expected + 1) : c.expected;
    EXPECT_EQ(WindowOutputFolder(c.programFolder, "/usr/bin/", home.File("Documents"), writable),
              expected);
    // The documents folder is made when chosen, and only then.
    EXPECT_EQ(std::filesystem::is_directory(home.File("Documents/picsheet")), inDocuments);
  }
}

TEST(WindowOutputFolderTest, MissingProgramFolderCountsAsNotWritable) {
  TempDir home;
  EXPECT_FALSE(FolderIsWritable(home.File("missing/")));
  EXPECT_TRUE(FolderIsWritable(home.path() + "/"));
  EXPECT_EQ(WindowOutputFolder(home.File("missing/"), "/usr/bin/", home.File("Documents/")),
            home.File("Documents/picsheet/"));
  EXPECT_EQ(WindowOutputFolder(home.path() + "/", "/usr/bin/", home.File("Documents/")),
            home.path() + "/");
}

// Without a documents folder (no home) the program's folder is all there is.
TEST(WindowOutputFolderTest, NoDocumentsFolderKeepsTheProgramFolder) {
  EXPECT_EQ(
      WindowOutputFolder("/usr/bin/", "/usr/bin/", "", [](const std::string&) { return false; }),
      "/usr/bin/");
}

}  // namespace
}  // namespace picsheet
