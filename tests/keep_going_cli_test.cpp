// picsheet-cli --keep-going end to end: a catalogue with a dead host and an error page among its
// pictures, served by a real loopback server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos;) {
    parts.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
  if (start < text.size()) parts.push_back(text.substr(start));
  return parts;
}

class KeepGoingCli : public ::testing::Test {
 protected:
  KeepGoingCli()
      : server_([this](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get("/pages/list.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page_, "text/html");
          });
        }) {
    // Ten numbers; picture 4 lives on a host that does not exist, picture 7 is an HTML page.
    const char* pictures[] = {"p1.jpg", "p2a.jpg", "p4.jpg", "",       "p5.jpg",
                              "p6.jpg", "",        "p7.jpg", "p1.jpg", "p2b.jpg"};
    page_ = testkit::CataloguePage(
        "T", testkit::NumberedCells(10, [&](int n) {
          return n == 4   ? dead_
                 : n == 7 ? errorPage()
                          : server_.Url(std::string("/pictures/") + pictures[n - 1]);
        }));
  }

  std::string errorPage() const { return server_.Url("/error-page.jpg"); }

  testkit::ProcessResult Cli(std::vector<std::string> args) const {
    args.insert(args.end(),
                {"--session", "s", "--output-dir", out_.path(), server_.Url("/pages/list.htm")});
    return testkit::RunProcess(PICSHEET_CLI, args);
  }

  const std::string dead_ = "http://no-such-host.invalid/4.jpg";
  std::string page_;
  testkit::LoopbackServer server_;
  testkit::TempDir out_;
};

TEST_F(KeepGoingCli, SavesThePageWithPlaceholdersListsWhatWasLeftOutAndExitsWithThree) {
  const testkit::ProcessResult run = Cli({"--keep-going", "--summary"});
  EXPECT_EQ(run.exitCode, 3) << run.err;
  EXPECT_EQ(Split(run.out, "\n").back(),
            "summary: 10 cells, 8 pictures saved, 0 empty cells for missing numbers, 0 repeats "
            "stacked, 0 repeats skipped, 0 wrappers moved to the end, 2 pictures left out");

  // One line per cell's picture after its opener: cell k's picture is line 2k + 1.
  const std::vector<std::string> lines = Split(ReadFileBytes(out_.File("s.html")), "\r\n");
  ASSERT_EQ(lines.size(), 24u);
  int pictures = 0;
  for (int cell = 1; cell <= 10; ++cell) {
    const std::string& line = lines[static_cast<std::size_t>(2 * cell + 1)];
    if (cell == 4 || cell == 7) {
      EXPECT_EQ(line.rfind("<img style=\"width:1.9cm; height: ", 0), 0u) << line;
    } else {
      EXPECT_EQ(line.rfind("<img src=\"s_images\\", 0), 0u) << line;
      ++pictures;
    }
  }
  EXPECT_EQ(pictures, 8);
  EXPECT_TRUE(PathExists(out_.File("s_images/00000010_1.jpg")));
  EXPECT_FALSE(PathExists(out_.File("s_images/00000004_1.jpg")));

  // Both failures, in page order, with where they are and why.
  const std::vector<std::string> listed = Split(run.err, "\n");
  ASSERT_EQ(listed.size(), 2u) << run.err;
  EXPECT_EQ(listed[0].rfind("skipped: picture \"4\" #1 in cell 4, " + dead_ + ": ", 0), 0u)
      << listed[0];
  EXPECT_EQ(listed[1].rfind("skipped: picture \"7\" #1 in cell 7, " + errorPage() + ": ", 0), 0u)
      << listed[1];
}

TEST_F(KeepGoingCli, WithoutItTheFirstDeadLinkEndsTheRun) {
  const testkit::ProcessResult run = Cli({});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  const std::string designed = "error: Cannot open URL " + dead_ + ".\n";
  ASSERT_GE(run.err.size(), designed.size());
  EXPECT_EQ(run.err.substr(run.err.size() - designed.size()), designed) << run.err;
  EXPECT_FALSE(PathExists(out_.File("s.html")));
  EXPECT_TRUE(PathExists(out_.File("s_images/00000003_1.jpg")));
}

}  // namespace
}  // namespace picsheet
