// Where the answer store lives: XDG_CACHE_HOME, HOME, the password database, or nowhere.
#include "web/cache_folder.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "tests/testkit/process.h"
#include "tests/testkit/scoped_environment.h"
#include "web/answer_cache.h"

namespace picsheet {
namespace {

TEST(DefaultCacheFolderTest, FollowsTheXdgRules) {
  // A user the password database does not know has no home folder at all.
  const passwd* user = ::getpwuid(::getuid());
  const std::string fromDatabase = user ? std::string(user->pw_dir) + "/.cache/picsheet" : "";
  const struct {
    std::optional<std::string> xdgCacheHome;
    std::optional<std::string> home;
    std::string folder;
  } cases[] = {
      {"/var/cache/u", "/home/u", "/var/cache/u/picsheet"},
      {"/var/cache/u//", "/home/u", "/var/cache/u/picsheet"},
      {"relative/cache", "/home/u", "/home/u/.cache/picsheet"},
      {"", "/home/u", "/home/u/.cache/picsheet"},
      {std::nullopt, "/home/u/", "/home/u/.cache/picsheet"},
      {std::nullopt, "/", "/.cache/picsheet"},
      {std::nullopt, "relative", fromDatabase},
      {std::nullopt, "", fromDatabase},
      {std::nullopt, std::nullopt, fromDatabase},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xdgCacheHome.value_or("(unset)") + " " + c.home.value_or("(unset)"));
    testkit::ScopedEnvironment xdg("XDG_CACHE_HOME", c.xdgCacheHome);
    testkit::ScopedEnvironment home("HOME", c.home);
    EXPECT_EQ(DefaultCacheFolder(), c.folder);
  }
}

// A user with no home at all gets no folder, and a store there finds and keeps nothing quietly.
TEST(DefaultCacheFolderTest, NoHomeGivesAStoreThatKeepsNothing) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to take a user id without a home";
  const uid_t stranger = 54321;
  ASSERT_EQ(::getpwuid(stranger), nullptr);
  const auto answers = testkit::RunInChildren(1, [&](int) -> std::string {
    ::unsetenv("XDG_CACHE_HOME");
    ::unsetenv("HOME");
    if (::setresgid(stranger, stranger, stranger) != 0 ||
        ::setresuid(stranger, stranger, stranger) != 0)
      return "cannot change user";
    const std::string folder = DefaultCacheFolder();
    if (!folder.empty()) return "a folder: " + folder;
    AnswerCache cache(folder);
    if (cache.usable()) return "usable";
    if (cache.Store({"http://host/a.jpg", "http://host/a.jpg", "\"1\"", "", "image/jpeg"}, "x"))
      return "stored";
    if (cache.Lookup("http://host/a.jpg")) return "found";
    return "";
  });
  EXPECT_EQ(answers[0], "");
}

}  // namespace
}  // namespace picsheet
