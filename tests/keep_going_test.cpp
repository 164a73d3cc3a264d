// Runs that keep going past pictures that cannot be had: the whole run flow against a loopback
// server serving real JPEGs, a broken picture, and a dead host.
#include <gtest/gtest.h>

#include <jerror.h>
#include <jpeglib.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "app/core/run_flow.h"
#include "base/messages.h"
#include "convert/numbers.h"
#include "images/jpeg.h"
#include "images/localise.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/sample_site.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::Cell;
using testkit::LoopbackServer;
using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;

const std::string kDead = "http://no-such-host.invalid/x.jpg";

// A landscape picture whose header reads fine but whose second scan names a component the frame
// lacks: it fails only when it is decoded for its turn, after its height could have been taken.
std::string BrokenLandscape() {
  std::string broken = testkit::MakeFlatJpeg(300, 100, testkit::JpegKind::kProgressive);
  broken[broken.find("\xFF\xDA", broken.find("\xFF\xDA") + 2) + 5] = '\x07';
  return broken;
}

std::string Placeholder(const std::string& height) {
  return "<img style=\"width:1.9cm; height: " + height + "cm\"/>";
}

struct Outcome {
  std::vector<std::string> lines;
  CatalogueSummary summary;
  std::string error;  // empty when the page was saved
};

class KeepGoing : public ::testing::Test {
 protected:
  KeepGoing()
      : server_([](httplib::Server& s) {
          testkit::ServeSamplePictures(s);
          s.Get("/broken.jpg", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(BrokenLandscape(), "image/jpeg");
          });
        }) {}

  std::string Picture(const std::string& name) const { return server_.Url("/pictures/" + name); }

  // The page comes from a local file, so that a cancelled run still gets as far as its pictures.
  Outcome Run(const std::vector<std::string>& cells, std::stop_token stop = {}) {
    std::string page;
    for (const std::string& cell : cells) page += cell;
    testkit::WriteFileBytes(out_.File("list.htm"), testkit::CataloguePage("T", page));
    RunRequest request = testkit::FolderRequest(out_.File("list.htm"), out_.path(), "s");
    request.options.keepGoing = true;
    request.stop = stop;
    testkit::FolderRun run = testkit::RunInFolder(request);
    return {run.view.lines, run.state.summary, run.error};
  }

  LoopbackServer server_;
  TempDir out_;
};

TEST_F(KeepGoing, APictureLeftOutKeepsItsCellAndLeavesTheHeightToTheFirstOneHad) {
  const Outcome run =
      Run({Cell("1", server_.Url("/broken.jpg")), Cell("2", Picture("p1.jpg")), Cell("3", kDead)});
  ASSERT_EQ(run.error, "");
  const JpegPicture p1 = LoadJpegPicture(ReadFileBytes(testkit::SamplePictureFolder() + "p1.jpg"));
  const std::string height = FormatOneDecimal(p1.height * (19.0L / 10) / p1.width);
  const std::vector<std::string> expected = {
      "<html><body><center><b>T</b></center>",
      "<table style=\"width: 19cm\">",
      "<tr valign=\"top\"><td style=\"width:1.9cm\">",
      Placeholder("1.9"),  // square: no picture had fixed the height yet
      "1</td><td style=\"width:1.9cm\">",
      "<img src=\"s_images\\00000002_1.jpg\" style=\"width:1.9cm; height: " + height + "cm\"/>",
      "2</td><td style=\"width:1.9cm\">",
      Placeholder(height),
      "3</td></tr>\r\n</table></body></html>"};
  EXPECT_EQ(run.lines, expected);
  std::string saved;
  for (const std::string& line : expected) saved += line + "\r\n";
  EXPECT_EQ(ReadFileBytes(out_.File("s.html")), saved);
  EXPECT_FALSE(PathExists(out_.File("s_images/00000001_1.jpg")));
  EXPECT_EQ(run.summary.pictures, 1);

  ASSERT_EQ(run.summary.leftOut.size(), 2u);
  const Error& broken = run.summary.leftOut[0];
  EXPECT_EQ(std::string(broken.what()), "JPEG error #" + std::to_string(JERR_BAD_COMPONENT_ID));
  ASSERT_TRUE(broken.picture());
  EXPECT_EQ(broken.picture()->numberText, "1");
  EXPECT_EQ(broken.picture()->cell, 1);
  EXPECT_EQ(broken.picture()->address, server_.Url("/broken.jpg"));
  EXPECT_FALSE(broken.reason().empty());
  const Error& dead = run.summary.leftOut[1];
  EXPECT_EQ(std::string(dead.what()), "Cannot open URL " + kDead);
  EXPECT_EQ(dead.picture()->cell, 3);
}

// A cover keeps its held-back cell at the end, a repeat its place under the "<br/>": the page is
// the one where they arrived, with placeholders for their lines, and later names do not move.
TEST_F(KeepGoing, ACoverOrARepeatLeftOutKeepsItsPlaceAndTheNamesAfterIt) {
  const auto cells = [&](const std::string& failing) {
    return std::vector<std::string>{Cell("0", failing), Cell("1", Picture("p1.jpg")),
                                    Cell("1", failing), Cell("1", Picture("p1.jpg")),
                                    Cell("0", Picture("wrapper.jpg"))};
  };
  const Outcome whole = Run(cells(Picture("p1.jpg")));
  ASSERT_EQ(whole.error, "");
  ASSERT_TRUE(whole.summary.leftOut.empty());
  const Outcome run = Run(cells(kDead));
  ASSERT_EQ(run.error, "");

  std::vector<std::string> expected = whole.lines;
  const std::string height = whole.lines[3].substr(whole.lines[3].find("height: ") + 8, 3);
  for (std::string& line : expected) {
    if (line.find("00000001_2.jpg") != std::string::npos ||
        line.find("00000000_1.jpg") != std::string::npos) {
      line = Placeholder(height);
    }
  }
  EXPECT_EQ(run.lines, expected);
  EXPECT_TRUE(PathExists(out_.File("s_images/00000001_3.jpg")));
  EXPECT_TRUE(PathExists(out_.File("s_images/00000000_2.jpg")));
  ASSERT_EQ(run.summary.leftOut.size(), 2u);
  EXPECT_EQ(run.summary.leftOut[0].picture()->cell, 0);  // held back
  EXPECT_EQ(run.summary.leftOut[1].picture()->index, 2);
  EXPECT_EQ(run.summary.wrappersMoved, 1);
  EXPECT_EQ(FormatSummary(run.summary),
            "3 cells, 3 pictures saved, 0 empty cells for missing numbers, 2 repeats stacked, 0 "
            "repeats skipped, 1 wrapper moved to the end, 2 pictures left out");
}

TEST_F(KeepGoing, FailuresOfTheOutputOrOfCancellingStillEndTheRun) {
  // A folder in the way of the second picture's file: it cannot be created.
  std::filesystem::create_directories(out_.File("s_images/00000002_1.jpg"));
  const Outcome blocked = Run(
      {Cell("1", Picture("p1.jpg")), Cell("2", Picture("p1.jpg")), Cell("3", Picture("p1.jpg"))});
  EXPECT_EQ(blocked.error.rfind("Cannot create file \"", 0), 0u) << blocked.error;
  EXPECT_FALSE(PathExists(out_.File("s.html")));
  EXPECT_TRUE(blocked.summary.leftOut.empty());

  // Once the run is being cancelled, a failed download is no dead link.
  std::stop_source stop;
  stop.request_stop();
  const Outcome stopped = Run({Cell("1", Picture("p1.jpg"))}, stop.get_token());
  EXPECT_EQ(stopped.error, "Interrupted");
  EXPECT_TRUE(stopped.summary.leftOut.empty());
  EXPECT_FALSE(PathExists(out_.File("s.html")));
}

// Which failures of one picture mean only that it cannot be had.
TEST(Undelivered, FetchReadAndDecodeCountButTheMachineAndTheFilesDoNot) {
  const auto failing = [](ErrorKind kind, const char* message) {
    return [kind, message](const std::string&) -> MemoryStream { throw Error(kind, message); };
  };
  const auto answering = [](std::string body) {
    return [body](const std::string&) { return MemoryStream(body); };
  };
  const struct {
    const char* what;
    PictureFetch fetch;
    bool blockFile;
    bool undelivered;
  } cases[] = {
      {"a dead link", failing(ErrorKind::kFetch, "Cannot open URL http://x/p.jpg"), false, true},
      {"an HTML page", answering("<html>404</html>"), false, true},
      {"an empty answer", answering(""), false, true},
      {"broken past its header", answering(BrokenLandscape()), false, true},
      {"memory", failing(ErrorKind::kOutOfMemory, messages::kOutOfMemory), false, false},
      {"no HTTP handle", failing(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable), false,
       false},
      {"a file that cannot be created", answering(testkit::MakeFlatJpeg(10, 20)), true, false},
  };
  for (const auto& c : cases) {
    TempDir dir;
    if (c.blockFile) std::filesystem::create_directories(dir.File("s_images/00000001_1.jpg"));
    long double height = 0;
    try {
      LocaliseImage(SessionFolder{dir.path() + "/", "s"}, "http://x/p.jpg", 1.9L, height, 2, 90,
                    "1_1", c.fetch);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.undelivered(), c.undelivered) << c.what << ": " << error.what();
    }
  }
}

}  // namespace
}  // namespace picsheet
