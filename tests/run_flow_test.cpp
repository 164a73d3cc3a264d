// A whole run against a real loopback server: how a failed run tells the user what failed, with
// the designed message and the detail line naming the picture, its address and the reason.
#include "app/core/run_flow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>

#include "app/core/collection_run.h"
#include "base/error.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/gzip.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
using testkit::TempDir;

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
    page = testkit::CataloguePage("T", testkit::Cell("1", c.address));
    TempDir out;
    testkit::WriteFileBytes(out.File("run.html"), "the previous page");
    RunRequest request =
        testkit::FolderRequest(c.source.empty() ? server.Url("/page.htm") : c.source, out.path());
    request.fetch.maxBodyBytes = c.maxBodyBytes;
    request.fetch.retries = 0;
    const testkit::FolderRun run = testkit::RunInFolder(request);
    EXPECT_EQ(run.error, c.message) << c.detail;
    EXPECT_EQ(run.detail, c.detail);
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
  const std::string page = testkit::CataloguePage(
      "T", testkit::NumberedCells(
               5, [&](int n) { return server.Url("/p/" + std::to_string(n) + ".jpg"); }));
  TempDir out;
  testkit::WriteFileBytes(out.File("list.htm"), page);
  // Picture 2's place is taken by a folder.
  std::filesystem::create_directories(out.File("run_images/00000002_1.jpg"));
  for (const int threads : {1, 4}) {
    RunRequest request = testkit::FolderRequest(out.File("list.htm"), out.path());
    request.threads = threads;
    const testkit::FolderRun run = testkit::RunInFolder(request);
    EXPECT_EQ(run.error, "Cannot create file \"" + out.File("run_images/00000002_1.jpg") +
                             "\". Is a directory");
    EXPECT_EQ(run.kind, ErrorKind::kOutput);
    EXPECT_EQ(testkit::ReadFileBytes(out.File("run_images/00000001_1.jpg")), picture);
    for (const char* later : {"00000003_1.jpg", "00000004_1.jpg", "00000005_1.jpg"}) {
      EXPECT_FALSE(testkit::PathExists(out.File(std::string("run_images/") + later))) << later;
    }
    EXPECT_FALSE(testkit::PathExists(out.File("run.html")));
    EXPECT_EQ(run.view.LastStatus(), "Изображений 2 №1 ячейка 3") << "no status after picture 2";
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
  testkit::WriteFileBytes(out.File("list.htm"),
                          testkit::CataloguePage("T", testkit::Cell("1", server.Url("/1.jpg"))));
  const auto before = testkit::SnapshotFolder(out.path());
  std::stop_source stop;
  RunRequest request = testkit::FolderRequest(out.File("list.htm"), out.path());
  request.stop = stop.get_token();
  StopAfterLastPicture view(stop);
  EXPECT_EQ(testkit::RunInFolder(request, &view).kind, ErrorKind::kInterrupted)
      << "the stopped run saved its page";
  EXPECT_EQ(testkit::SnapshotFolder(out.path()), before);
}

// Tells the order of the catalogues' turns and endings.
class CollectionTranscript final : public CollectionView {
 public:
  void ClearLines() override {}
  void AppendLine(std::string_view) override {}
  void SetStatus(std::string_view) override {}
  void CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem&) override {
    transcript += std::to_string(index + 1) + " of " + std::to_string(count) + ";";
  }
  void CatalogueSaved(std::size_t, const std::string& path, const CatalogueSummary& s) override {
    transcript +=
        std::filesystem::path(path).filename().string() + " " + std::to_string(s.pictures) + ";";
  }
  std::string transcript;
};

TEST(CollectionTest, TheNextPageAndItsPicturesLoadWhileThisOneIsWritten) {
  const std::string picture = testkit::MakeFlatJpeg(40, 60);
  std::mutex mutex;
  std::condition_variable asked;
  bool nextPictureAsked = false;
  std::string pages[2];
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/(\d)\.htm)", [&](const httplib::Request& req, httplib::Response& res) {
      res.set_content(pages[std::stoi(req.matches[1].str())], "text/html");
    });
    s.Get(R"(/(\d)/(\d)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      std::unique_lock<std::mutex> lock(mutex);
      if (req.path == "/1/1.jpg") {
        nextPictureAsked = true;
        asked.notify_all();
      } else if (req.path == "/0/2.jpg") {
        // The first catalogue's last picture comes only once the second's are under way.
        if (!asked.wait_for(lock, std::chrono::seconds(5), [&] { return nextPictureAsked; })) {
          res.status = 504;
          return;
        }
      }
      res.set_content(picture, "image/jpeg");
    });
  });
  for (int page : {0, 1}) {
    pages[page] = testkit::CataloguePage(
        "T", testkit::NumberedCells(2, [&](int n) {
          return server.Url("/" + std::to_string(page) + "/" + std::to_string(n) + ".jpg");
        }));
  }
  TempDir out;
  const RunRequest request = testkit::FolderRequest("", out.path());
  const CollectionPlan plan = PlanCollection({server.Url("/0.htm"), server.Url("/1.htm")});
  RunState state;
  CollectionTranscript view;
  const CollectionOutcome outcome = RunCollection(request, plan.items, state, view);
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(view.transcript, "1 of 2;" + port + "0htm.html 2;2 of 2;" + port + "1htm.html 2;");
  EXPECT_EQ(outcome.total.pictures, 4);
}

}  // namespace
}  // namespace picsheet
