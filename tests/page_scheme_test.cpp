// The saved page through the window program's engine reads as Windows-1251: picsheet-cli --pdf
// of a Russian catalogue, the PDF's text and pictures read back with poppler's tools.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::RunProcess;

TEST(PageScheme, AShortRussianTitleAndItsPicturesReachThePdf) {
  std::string page;
  testkit::LoopbackServer server([&page](httplib::Server& s) {
    testkit::ServeSamplePictures(s);
    s.Get("/list.htm", [&page](const httplib::Request&, httplib::Response& res) {
      res.set_content(page, "text/html");
    });
  });
  // "Ёж" and "3а" in Windows-1251: too few letters for the engine to guess the code page.
  const std::string picture = server.Url("/pictures/p1.jpg");
  page = testkit::CataloguePage("\xA8\xE6",
                                testkit::Cell("1", picture) + testkit::Cell("3\xE0", picture));

  testkit::TempDir out;
  const std::string pdf = out.File("list.pdf");
  const testkit::ProcessResult run =
      RunProcess(PICSHEET_CLI, {server.Url("/list.htm"), "--session", "Серия", "--covers-in-place",
                                "--output-dir", out.path(), "--pdf", pdf});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const testkit::ProcessResult text = RunProcess("/usr/bin/pdftotext", {pdf, "-"});
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("Ёж"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("3а"), std::string::npos) << text.out;
  const testkit::ProcessResult images = RunProcess("/usr/bin/pdfimages", {"-list", pdf});
  ASSERT_EQ(images.exitCode, 0) << images.err;
  EXPECT_EQ(std::count(images.out.begin(), images.out.end(), '\n'), 2 + 2) << images.out;
}

}  // namespace
}  // namespace picsheet
