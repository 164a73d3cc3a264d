// Runs again without downloading again: kept answers are asked after with their validators, and a
// 304 delivers the kept body, the very bytes a first run saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"
#include "web/answer_cache.h"

namespace picsheet {
namespace {

using testkit::TempDir;

// Pictures with an ETag and a Last-Modified each, answering conditional GETs as a web server does;
// counts the bodies it sends.
class ValidatingServer {
 public:
  ValidatingServer()
      : server_([this](httplib::Server& s) {
          s.Get(R"(/p/(\d+)\.jpg)", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(mutex_);
            const int n = std::stoi(req.matches[1].str());
            // Built piece by piece: "\"" + a temporary trips GCC 12's -Wrestrict when optimised.
            std::string etag(1, '"');
            etag.append(std::to_string(n)).append(1, '-').append(std::to_string(versions_[n]));
            etag.push_back('"');
            res.set_header("ETag", etag);
            res.set_header("Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT");
            if (req.get_header_value("If-None-Match") == etag) {
              res.status = 304;
              return;
            }
            ++bodies_;
            res.set_content(Picture(n), "image/jpeg");
          });
        }) {}

  // Picture n as the server has it now: its size tells the versions apart.
  std::string Picture(int n) const {
    return testkit::MakeFlatJpeg(40 + n + 10 * versions_.at(n), 60);
  }
  void Change(int n) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++versions_[n];
  }
  int TakeBodies() {
    std::lock_guard<std::mutex> lock(mutex_);
    const int sent = bodies_;
    bodies_ = 0;
    return sent;
  }
  std::string Url(const std::string& path) const { return server_.Url(path); }

  std::map<int, int> versions_ = {{1, 0}, {2, 0}, {3, 0}, {4, 0}};

 private:
  std::mutex mutex_;
  int bodies_ = 0;
  testkit::LoopbackServer server_;
};

TEST(RevalidationTest, ARunAgainAsksTheServerAndDownloadsOnlyWhatChanged) {
  ValidatingServer server;
  TempDir work;
  testkit::WriteFileBytes(
      work.File("list.htm"),
      testkit::CataloguePage("T", testkit::NumberedCells(4, [&](int n) {
                               return server.Url("/p/" + std::to_string(n) + ".jpg");
                             })));
  const std::string cache = work.File("cache");
  const auto run = [&](int cells, const std::string& cacheFolder, std::size_t maxBodyBytes = 0) {
    TempDir out;
    RunRequest request = testkit::FolderRequest(work.File("list.htm"), out.path());
    request.options.cellsPerRow = cells;
    request.options.orientation = Orientation::kNone;
    request.cacheFolder = cacheFolder;
    request.fetch.maxBodyBytes = maxBodyBytes;
    const testkit::FolderRun ran = testkit::RunInFolder(request);
    if (ran.kind) throw Error(*ran.kind, ran.error);
    std::map<int, std::string> pictures;
    for (int n = 1; n <= 4; ++n) {
      pictures[n] =
          testkit::ReadFileBytes(out.File("run_images/0000000" + std::to_string(n) + "_1.jpg"));
    }
    return pictures;
  };
  const auto served = [&server] {
    std::map<int, std::string> pictures;
    for (int n = 1; n <= 4; ++n) pictures[n] = server.Picture(n);
    return pictures;
  };

  EXPECT_EQ(run(10, cache), served());
  EXPECT_EQ(server.TakeBodies(), 4) << "a first run downloads everything";
  EXPECT_EQ(run(8, cache), served());
  EXPECT_EQ(server.TakeBodies(), 0) << "every picture was still current";

  server.Change(3);
  EXPECT_EQ(run(8, cache), served());
  EXPECT_EQ(server.TakeBodies(), 1) << "only the changed picture comes again";

  // A kept answer damaged on disk is never used: its address is downloaded again.
  const std::string entry = cache + "/" + AnswerCache::EntryName(server.Url("/p/2.jpg"));
  std::string bytes = testkit::ReadFileBytes(entry);
  bytes[bytes.size() - 10] ^= 0x55;
  testkit::WriteFileBytes(entry, bytes);
  EXPECT_EQ(run(8, cache), served());
  EXPECT_EQ(server.TakeBodies(), 1) << "the damaged entry's picture, and nothing else";

  // A cache folder that cannot be made costs the downloads, not the run.
  testkit::WriteFileBytes(work.File("not-a-folder"), "x");
  EXPECT_EQ(run(8, work.File("not-a-folder/cache")), served());
  EXPECT_EQ(server.TakeBodies(), 4);

  // A kept answer larger than a run lets an answer take is not delivered: the fresh answer is
  // held to that limit. Last, since the failed run's other downloads may still reach the server.
  EXPECT_THROW(run(8, cache, 100), Error);
  EXPECT_GE(server.TakeBodies(), 1) << "asked afresh";
}

}  // namespace
}  // namespace picsheet
