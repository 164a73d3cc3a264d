// A whole run against a real loopback server: how a failed run tells the user what failed, with
// the designed message and the detail line naming the picture, its address and the reason.
#include "app/core/run_flow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>

#include "app/core/error_message.h"
#include "base/error.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/gzip.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
using testkit::TempDir;

std::string OnePicturePage(const std::string& address) {
  return "<center><font size=3><b>T</b></font><br><table><tr><td><center>1<br><img src=\"" +
         address + "\" alt=x></center></td></tr></table>";
}

// A baseline stream whose frame header claims 12 bits per sample.
std::string TwelveBitJpeg() {
  std::string stream = testkit::MakeFlatJpeg(16, 16);
  stream[stream.find("\xFF\xC0") + 4] = 12;
  return stream;
}

TEST(FailureDetailTest, EachFailureSaysWhatWhereAndWhy) {
  const std::string picture = testkit::MakeFlatJpeg(40, 60);
  // 80 MiB that begin like a JPEG stream, in about 80 KB.
  const std::string bomb = testkit::GzipOfZeros(std::size_t{80} << 20, "\xFF\xD8\xFF\xE0");
  std::string page;
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/page.htm", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(page, "text/html");
    });
    s.Get("/missing.htm", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<html>no such page</html>", "text/html");
    });
    s.Get("/gone.jpg", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<html>gone</html>", "text/html; charset=utf-8");
    });
    s.Get("/html.jpg", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<!DOCTYPE html>", "image/jpeg");
    });
    s.Get("/deep.jpg", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(TwelveBitJpeg(), "image/jpeg");
    });
    s.Get("/big.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture + std::string(2 << 20, '\0'), "image/jpeg");
    });
    s.Get(R"(/bare/(\d+)\.jpg)", [](const httplib::Request& req, httplib::Response& res) {
      res.status = std::stoi(req.matches[1].str());
    });
    s.Get("/bomb.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(bomb, "image/jpeg");
    });
  });
  const std::string dead = "http://no-such-host.invalid/a.jpg";
  const std::string withNul("http://no-such\0host.invalid/a.jpg", 33);
  struct Case {
    std::string source;   // the page to convert; empty: /page.htm holding one picture
    std::string address;  // that picture's address
    std::size_t maxBodyBytes;
    std::string message;
    std::string detail;
  } cases[] = {
      {"", dead, 0, "Cannot open URL " + dead,
       "picture \"1\" #1 in cell 1, " + dead + ": Could not resolve host: no-such-host.invalid"},
      {"", server.Url("/gone.jpg"), 0, "JPEG error #53",
       "picture \"1\" #1 in cell 1, " + server.Url("/gone.jpg") +
           ": the server answered 404 Not Found with text/html"},
      {"", server.Url("/html.jpg"), 0, "JPEG error #53",
       "picture \"1\" #1 in cell 1, " + server.Url("/html.jpg") +
           ": Not a JPEG file: starts with 0x3c 0x21"},
      {"", server.Url("/deep.jpg"), 0, "JPEG error #15",
       "picture \"1\" #1 in cell 1, " + server.Url("/deep.jpg") +
           ": Unsupported JPEG data precision 12"},
      {"", server.Url("/big.jpg"), 1 << 20, "Out of memory",
       "picture \"1\" #1 in cell 1, " + server.Url("/big.jpg") +
           ": the answer is larger than the 1 MiB a download may use"},
      {"", server.Url("/bomb.jpg"), 0, "Out of memory",
       "picture \"1\" #1 in cell 1, " + server.Url("/bomb.jpg") +
           ": the answer unpacks to more than 64 MiB, over 100 times the bytes sent: refused as "
           "a decompression bomb"},
      // Error answers without a body: no picture, not an empty one.
      {"", server.Url("/bare/404.jpg"), 0, "JPEG error #42",
       "picture \"1\" #1 in cell 1, " + server.Url("/bare/404.jpg") +
           ": the server answered 404 Not Found"},
      {"", server.Url("/bare/304.jpg"), 0, "JPEG error #42",
       "picture \"1\" #1 in cell 1, " + server.Url("/bare/304.jpg") +
           ": the server answered 304 Not Modified"},
      // A zero byte reads as U+FFFD, as browsers read it in an attribute.
      {"", withNul, 0, "Cannot open URL http://no-such\xEF\xBF\xBDhost.invalid/a.jpg",
       "picture \"1\" #1 in cell 1, http://no-such\\x00host.invalid/a.jpg: "
       "URL using bad/illegal format or missing URL"},
      {server.Url("/missing.htm"), "", 0, "Cannot open URL " + server.Url("/missing.htm"),
       "the server answered 404 Not Found with text/html"},
  };
  for (const Case& c : cases) {
    page = OnePicturePage(c.address);
    TempDir out;
    testkit::WriteFileBytes(out.File("run.html"), "the previous page");
    RunRequest request;
    request.source = c.source.empty() ? server.Url("/page.htm") : c.source;
    request.saveName = "run";
    request.programFolder = out.path() + "/";
    request.fetch.maxBodyBytes = c.maxBodyBytes;
    request.fetch.retries = 0;
    RunState state;
    testkit::RecordingView view;
    try {
      RunConversion(request, state, view);
      ADD_FAILURE() << "no error for " << c.detail;
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(DescribeFailure(e), c.detail);
    }
    EXPECT_EQ(testkit::ReadFileBytes(out.File("run.html")), "the previous page") << c.detail;
  }
}

TEST(OutputFailureTest, APlaceThatCannotTakeItsFileEndsTheRunAtThatPicture) {
  const std::string picture = testkit::MakeFlatJpeg(40, 60);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/p/\d+\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture, "image/jpeg");
    });
  });
  std::string page = "<center><font size=3><b>T</b></font><br><table><tr>";
  for (int i = 1; i <= 5; ++i) {
    page += "<td><center>" + std::to_string(i) + "<br><img src=\"" +
            server.Url("/p/" + std::to_string(i) + ".jpg") + "\" alt=x></center></td>";
  }
  TempDir out;
  testkit::WriteFileBytes(out.File("list.htm"), page + "</tr></table>");
  // Picture 2's place is taken by a folder.
  std::filesystem::create_directories(out.File("run_images/00000002_1.jpg"));
  for (const int threads : {1, 4}) {
    RunRequest request;
    request.source = out.File("list.htm");
    request.saveName = "run";
    request.programFolder = out.path() + "/";
    request.threads = threads;
    RunState state;
    testkit::RecordingView view;
    try {
      RunConversion(request, state, view);
      ADD_FAILURE() << "the run went past picture 2";
    } catch (const Error& e) {
      EXPECT_EQ(e.what(), "Cannot create file \"" + out.File("run_images/00000002_1.jpg") +
                              "\". Is a directory");
      EXPECT_EQ(e.kind(), ErrorKind::kOutput);
    }
    EXPECT_EQ(testkit::ReadFileBytes(out.File("run_images/00000001_1.jpg")), picture);
    for (const char* later : {"00000003_1.jpg", "00000004_1.jpg", "00000005_1.jpg"}) {
      EXPECT_FALSE(testkit::PathExists(out.File(std::string("run_images/") + later))) << later;
    }
    EXPECT_FALSE(testkit::PathExists(out.File("run.html")));
    EXPECT_EQ(view.LastStatus(), "Изображений 2 №1 ячейка 3") << "no status after picture 2";
    std::filesystem::remove(out.File("run_images/00000001_1.jpg"));
  }
}

// Asks its run to stop once the last picture is saved, after every transfer and turn has ended.
class StopAfterLastPicture final : public RunView {
 public:
  explicit StopAfterLastPicture(std::stop_source& stop) : stop_(stop) {}
  void ClearLines() override {}
  void AppendLine(std::string_view) override {}
  void SetStatus(std::string_view) override {}
  void PictureProgress(int saved, int total) override {
    if (saved == total) stop_.request_stop();
  }

 private:
  std::stop_source& stop_;
};

TEST(StopTest, AStopAfterTheLastPictureLeavesTheFolderAsItWas) {
  const std::string picture = testkit::MakeFlatJpeg(40, 60);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/1.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture, "image/jpeg");
    });
  });
  TempDir out;
  testkit::WriteFileBytes(out.File("list.htm"), OnePicturePage(server.Url("/1.jpg")));
  const auto before = testkit::SnapshotFolder(out.path());
  std::stop_source stop;
  RunRequest request;
  request.source = out.File("list.htm");
  request.saveName = "run";
  request.programFolder = out.path() + "/";
  request.stop = stop.get_token();
  RunState state;
  StopAfterLastPicture view(stop);
  try {
    RunConversion(request, state, view);
    ADD_FAILURE() << "the stopped run saved its page";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kInterrupted);
  }
  EXPECT_EQ(testkit::SnapshotFolder(out.path()), before);
}

}  // namespace
}  // namespace picsheet
