// Loading a source page: local files block by block, and the choice between file and link.
#include "convert/source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
using testkit::TempDir;

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

class LoadLocalFileTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.File(name);
    testkit::WriteFileBytes(path, bytes);
    return path;
  }
  TempDir dir_;
};

std::string Pattern(std::size_t size) {
  std::string bytes(size, ' ');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
  return bytes;
}

TEST_F(LoadLocalFileTest, BlockBoundaries) {
  EXPECT_EQ(LoadLocalFile(Write("empty", "")), "");
  EXPECT_EQ(LoadLocalFile(Write("one-block", Pattern(10240))), Pattern(10240));
  EXPECT_EQ(LoadLocalFile(Write("one-more", Pattern(10241))), Pattern(10241));
}

TEST_F(LoadLocalFileTest, AZeroByteCutsOnlyItsOwnBlock) {
  std::string bytes = Pattern(40000);
  bytes[24999] = '\0';  // byte 25000, in the third block (bytes 20481 to 30720)
  const std::string expected = bytes.substr(0, 24999) + bytes.substr(30720);
  EXPECT_EQ(LoadLocalFile(Write("zero", bytes)), expected);
}

TEST_F(LoadLocalFileTest, FilesThatCannotBeOpened) {
  const std::string missing = dir_.File("missing.htm");
  EXPECT_EQ(ThrownMessage([&] { LoadLocalFile(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(ThrownMessage([&] { LoadLocalFile(dir_.path()); }),
            "Cannot open file \"" + dir_.path() + "\". Is a directory");
  // Relative paths are reported made absolute, lexically.
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(
      ThrownMessage([] { LoadLocalFile("./sub/../nothing-here.htm"); }),
      "Cannot open file \"" + std::string(cwd) + "/nothing-here.htm\". No such file or directory");
}

TEST(LoadSourceTest, OnlyTheExactLowerCasePrefixFetches) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/page.htm", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("fetched", "text/html");
    });
  });
  std::string pageText = "before";
  LoadSource(server.Url("/page.htm"), pageText);
  EXPECT_EQ(pageText, "fetched");

  for (const std::string& fileLike :
       {std::string("HTTP://127.0.0.1/x"), std::string("https://127.0.0.1/x"),
        " " + server.Url("/page.htm"), std::string("http:/"), std::string("")}) {
    pageText = "kept";
    EXPECT_EQ(
        ThrownMessage([&] { LoadSource(fileLike, pageText); }).rfind("Cannot open file \"", 0), 0u)
        << fileLike;
    EXPECT_EQ(pageText, "kept") << "an error leaves PageText as it was";
  }
}

TEST(LoadSourceTest, FetchedPagesKeepTheirZeroBytes) {
  const std::string bytes("<b>\0</b>", 8);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/z.htm", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(bytes, "text/html");
    });
  });
  std::string pageText;
  LoadSource(server.Url("/z.htm"), pageText);
  EXPECT_EQ(pageText, bytes);
}

}  // namespace
}  // namespace picsheet
