// Where the window writes: the program's folder when writable, else the user's documents folder
// as the XDG user-dirs file names it.
#include "app/core/output_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::TempDir;

// Sets a variable for one test and puts the old value back afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A scratch home; "@" in the texts below stands for its path.
std::string WithHome(std::string text, const std::string& home) {
  for (std::size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, home);
  return text;
}

struct DocumentsCase {
  const char* what;
  const char* userDirs;     // ~/.config/user-dirs.dirs, or nullptr for none
  const char* configHome;   // XDG_CONFIG_HOME, or nullptr for unset
  const char* environment;  // XDG_DOCUMENTS_DIR in the environment, or nullptr
  const char* expected;
};

TEST(UserDocumentsFolderTest, FoundAsXdgUserDirFindsIt) {
  const DocumentsCase cases[] = {
      {"no user-dirs file", nullptr, nullptr, nullptr, "@/Documents/"},
      {"$HOME-relative entry", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", nullptr, nullptr,
       "@/Dokumente/"},
      {"absolute entry", "XDG_DOCUMENTS_DIR=\"@/elsewhere/docs\"\n", nullptr, nullptr,
       "@/elsewhere/docs/"},
      {"relative entry is ignored", "XDG_DOCUMENTS_DIR=\"docs\"\n", nullptr, nullptr,
       "@/Documents/"},
      {"comments and other keys",
       "# XDG_DOCUMENTS_DIR=\"$HOME/no\"\nXDG_MUSIC_DIR=\"$HOME/m\"\n"
       "  XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\r\n",
       nullptr, nullptr, "@/Документы/"},
      {"the last entry wins", "XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n",
       nullptr, nullptr, "@/b/"},
      {"shell escapes", "XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n", nullptr, nullptr,
       "@/My \"Docs\"/"},
      {"XDG_CONFIG_HOME moves the file", nullptr, "@/cfg", nullptr, "@/Documents/"},
      {"environment when the file names none", nullptr, nullptr, "@/env-docs", "@/env-docs/"},
      {"the file before the environment", "XDG_DOCUMENTS_DIR=\"$HOME/file\"\n", nullptr,
       "@/env-docs", "@/file/"},
  };
  for (const DocumentsCase& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir home;
    ScopedVariable homeVariable("HOME", home.path());
    ScopedVariable config(
        "XDG_CONFIG_HOME",
        c.configHome ? std::optional(WithHome(c.configHome, home.path())) : std::nullopt);
    ScopedVariable environment(
        "XDG_DOCUMENTS_DIR",
        c.environment ? std::optional(WithHome(c.environment, home.path())) : std::nullopt);
    // With XDG_CONFIG_HOME set, a file in ~/.config must not count.
    const std::string configFolder = c.configHome ? home.File("cfg") : home.File(".config");
    std::filesystem::create_directories(configFolder);
    if (c.userDirs) {
      testkit::WriteFileBytes(configFolder + "/user-dirs.dirs", WithHome(c.userDirs, home.path()));
    }
    if (c.configHome) {
      std::filesystem::create_directories(home.File(".config"));
      testkit::WriteFileBytes(home.File(".config/user-dirs.dirs"),
                              "XDG_DOCUMENTS_DIR=\"$HOME/wrong\"\n");
    }
    EXPECT_EQ(UserDocumentsFolder(), WithHome(c.expected, home.path()));
  }
}

struct OutputCase {
  const char* what;
  const char* programFolder;
  bool writable;
  const char* expected;  // "@" the scratch home
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
    ScopedVariable homeVariable("HOME", home.path());
    ScopedVariable config("XDG_CONFIG_HOME", std::nullopt);
    ScopedVariable environment("XDG_DOCUMENTS_DIR", std::nullopt);
    const auto writable = [&c](const std::string&) { return c.writable; };
    const std::string expected = WithHome(c.expected, home.path());
    EXPECT_EQ(WindowOutputFolder(c.programFolder, "/usr/bin/", writable), expected);
    // The documents folder is made when chosen, and only then.
    EXPECT_EQ(std::filesystem::is_directory(home.File("Documents/picsheet")),
              expected != c.programFolder);
  }
}

TEST(WindowOutputFolderTest, MissingProgramFolderCountsAsNotWritable) {
  TempDir home;
  ScopedVariable homeVariable("HOME", home.path());
  ScopedVariable config("XDG_CONFIG_HOME", std::nullopt);
  ScopedVariable environment("XDG_DOCUMENTS_DIR", std::nullopt);
  EXPECT_FALSE(FolderIsWritable(home.File("missing/")));
  EXPECT_TRUE(FolderIsWritable(home.path() + "/"));
  EXPECT_EQ(WindowOutputFolder(home.File("missing/"), "/usr/bin/"),
            home.File("Documents/picsheet/"));
  EXPECT_EQ(WindowOutputFolder(home.path() + "/", "/usr/bin/"), home.path() + "/");
}

}  // namespace
}  // namespace picsheet
