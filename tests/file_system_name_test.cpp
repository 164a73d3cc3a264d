// Cyrillic names end to end through picsheet-cli: a Windows-1251 catalogue served over loopback,
// the page's bytes as the converter writes them, UTF-8 names on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/windows1251.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;

// "Почтовые марки: серия 3" and "3а" as a Russian catalogue carries them, in Windows-1251.
const std::string kTitle1251 =
    "\xCF\xEE\xF7\xF2\xEE\xE2\xFB\xE5 \xEC\xE0\xF0\xEA\xE8: \xF1\xE5\xF0\xE8\xFF 3";
const std::string kNumber1251 = "3\xE0";

// The page the converter writes for Catalogue() with the wrappers in place: the title and the
// number text copied undecoded, the save name's bytes in every src.
std::string ExpectedPage(const std::string& title, const std::string& number,
                         const std::string& session) {
  const std::string padded = std::string(10 - number.size() - 2, '0') + number + "_1";
  return "<html><body><center><b>" + title + "</b></center>\r\n" +
         "<table style=\"width: 19cm\">\r\n" + "<tr valign=\"top\"><td style=\"width:1.9cm\">\r\n" +
         "<img src=\"" + session +
         "_images\\00000001_1.jpg\" style=\"width:1.9cm; height: 2.7cm\"/>\r\n" +
         "1</td><td style=\"width:1.9cm\">\r\n" + "<img src=\"" + session + "_images\\" + padded +
         ".jpg\" style=\"width:1.9cm\"/>\r\n" + number + "</td></tr>\r\n</table></body></html>\r\n";
}

bool EveryNameIsUtf8(const std::string& folder) {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!IsValidUtf8(entry.path().filename().string())) return false;
  }
  return true;
}

class CyrillicNames : public ::testing::Test {
 protected:
  CyrillicNames()
      : server_([this](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get(R"(/loop/.*)", [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect(req.path);
          });
          s.Get("/list.htm", [this](const httplib::Request&, httplib::Response& res) {
            ++pageRequests_;
            res.set_content(page_, "text/html");
          });
        }) {}

  void ServeCatalogue(const std::string& title, const std::string& number,
                      const std::string& secondPicture = "/pictures/p1.jpg") {
    page_ = testkit::CataloguePage(title, testkit::Cell("1", server_.Url("/pictures/p1.jpg")) +
                                              testkit::Cell(number, server_.Url(secondPicture)));
  }

  testkit::ProcessResult Cli(const std::string& session) {
    return testkit::RunProcess(PICSHEET_CLI, {server_.Url("/list.htm"), "--session", session,
                                              "--covers-in-place", "--output-dir", out_.path()});
  }

  std::string Url(const std::string& path) const { return server_.Url(path); }

  std::string page_;
  std::atomic<int> pageRequests_{0};
  testkit::LoopbackServer server_;
  TempDir out_;
};

TEST_F(CyrillicNames, PageKeepsItsBytesAndTheDiskGetsUtf8Names) {
  struct Case {
    std::string title, number;  // as the catalogue carries them
    std::string session;        // --session from a UTF-8 shell
    std::string pageSession;    // the save name's bytes in the page
    std::string folder, file;   // on disk
  } cases[] = {
      {kTitle1251, kNumber1251, "list", "list", "list_images", "0000003а_1.jpg"},
      {kTitle1251, kNumber1251, "Серия", "\xD1\xE5\xF0\xE8\xFF", "Серия_images", "0000003а_1.jpg"},
      // A catalogue written in UTF-8 keeps its names as they are.
      {"Серия 3", "3а", "list", "list", "list_images", "000003а_1.jpg"},
  };
  for (const Case& c : cases) {
    ServeCatalogue(c.title, c.number);
    const testkit::ProcessResult run = Cli(c.session);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string page = out_.File(DecodeWindows1251(c.pageSession) + ".html");
    EXPECT_EQ(run.out.substr(0, run.out.find('\n')), page);
    EXPECT_EQ(ReadFileBytes(page), ExpectedPage(c.title, c.number, c.pageSession));
    EXPECT_TRUE(PathExists(out_.File(c.folder + "/00000001_1.jpg"))) << c.folder;
    EXPECT_TRUE(PathExists(out_.File(c.folder + "/" + c.file))) << c.file;
    EXPECT_TRUE(EveryNameIsUtf8(out_.path()));
  }
}

TEST_F(CyrillicNames, SessionThatWindows1251CannotHoldIsRefusedBeforeTheRun) {
  ServeCatalogue(kTitle1251, kNumber1251);
  const testkit::ProcessResult run = Cli("Серия 名前");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("The save name \"Серия 名前\" has a character that Windows-1251 cannot "
                         "hold: \"名\""),
            std::string::npos)
      << run.err;
  EXPECT_EQ(pageRequests_, 0);
  EXPECT_TRUE(std::filesystem::is_empty(out_.path()));
}

TEST_F(CyrillicNames, FailureNamesThePictureInLettersOnTheTerminal) {
  // An address that redirects to itself cannot be opened.
  ServeCatalogue(kTitle1251, kNumber1251, "/loop/" + kNumber1251 + ".jpg");
  const testkit::ProcessResult run = Cli("list");
  EXPECT_EQ(run.exitCode, 1);
  const std::string address = Url("/loop/3а.jpg");
  EXPECT_NE(run.err.find("picture \"3а\" #1 in cell 2, " + address), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("error: Cannot open URL " + address + ".\n"), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace picsheet
