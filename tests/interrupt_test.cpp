// An interrupted run changes nothing: picsheet-cli stopped by a signal, a killed run's leftover,
// the lock of a save name, and the caller's cancel reaching every download of the pool.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <thread>

#include "app/core/run_output.h"
#include "base/error.h"
#include "images/jpeg.h"
#include "images/localise.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"
#include "web/transfer_engine.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
using testkit::ProcessResult;
using testkit::ReadFileBytes;
using testkit::TempDir;

constexpr int kPictures = 200;

// A catalogue of 200 pictures whose bytes depend on the series served; the slow series takes
// 20 ms per picture, so a run of it is under way long enough to be stopped.
class SeriesServer {
 public:
  SeriesServer()
      : pictures_{testkit::MakeFlatJpeg(12, 16), testkit::MakeFlatJpeg(16, 12)},
        server_([this](httplib::Server& s) {
          s.new_task_queue = [] { return new httplib::ThreadPool(8); };
          s.Get("/page.htm", [this](const httplib::Request&, httplib::Response& res) {
            const auto address = [this](int n) {
              return server_.Url("/p/" + std::to_string(n) + ".jpg");
            };
            res.set_content(testkit::CataloguePage("T", testkit::NumberedCells(kPictures, address)),
                            "text/html");
          });
          s.Get(R"(/p/\d+\.jpg)", [this](const httplib::Request&, httplib::Response& res) {
            ++served;
            const int series = series_.load();
            if (series == 1) std::this_thread::sleep_for(std::chrono::milliseconds(20));
            res.set_content(pictures_[series], "image/jpeg");
          });
        }) {}

  void Serve(int series) {
    series_ = series;
    served = 0;
  }
  std::string PageUrl() const { return server_.Url("/page.htm"); }
  std::atomic<int> served{0};

 private:
  const std::string pictures_[2];
  std::atomic<int> series_{0};
  LoopbackServer server_;
};

ProcessResult Cli(const std::string& url, const std::string& folder,
                  const std::function<void(pid_t)>& whileRunning = {}) {
  return testkit::RunProcess(
      PICSHEET_CLI, {url, "--session", "cat", "--output-dir", folder, "--orientation", "none"}, "",
      whileRunning);
}

std::string LastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of('\n');
  const std::size_t start = text.rfind('\n', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// Signals the child once the server has handed out `pictures` pictures, or after 30 s: a child
// that ended without asking for them fails its test instead of hanging it.
std::function<void(pid_t)> SignalAfter(SeriesServer& server, int pictures, int signal) {
  return [&server, pictures, signal](pid_t pid) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.served < pictures && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ::kill(pid, signal);
  };
}

TEST(InterruptedCliRun, LeavesTheOlderRunByteIdenticalAndNothingElse) {
  const struct {
    int signal;
    int exitCode;
  } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
  for (const auto& c : cases) {
    SeriesServer server;
    TempDir out;
    ASSERT_EQ(Cli(server.PageUrl(), out.path()).exitCode, 0);
    const auto before = testkit::SnapshotFolder(out.path());
    ASSERT_EQ(before.size(), kPictures + 2u);  // the page, the folder and its pictures

    server.Serve(1);
    const ProcessResult stopped =
        Cli(server.PageUrl(), out.path(), SignalAfter(server, 60, c.signal));
    EXPECT_EQ(stopped.exitCode, c.exitCode) << stopped.err;
    EXPECT_EQ(LastLine(stopped.err), "error: Interrupted.");
    EXPECT_LT(server.served.load(), kPictures) << "stopped in the middle";
    EXPECT_EQ(testkit::SnapshotFolder(out.path()), before);
  }
}

// The sanitizer runtime this test runs under, if any: a child's preloads must begin with it too.
std::string SanitizerRuntime() {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);) {
    if (line.find("/libasan.so") != line.npos || line.find("/libtsan.so") != line.npos) {
      return line.substr(line.find('/')) + ":";
    }
  }
  return {};
}

TEST(InterruptedCliRun, AHangingNameLookupHoldsUpNeitherAStopNorAFailure) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/gone.jpg", [](const httplib::Request&, httplib::Response& res) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the lookup is under way
      res.status = 404;
    });
  });
  const std::string gone = testkit::Cell("1", server.Url("/gone.jpg"));
  const std::string slow = testkit::Cell("2", "http://slow-lookup.invalid/2.jpg");
  // The preloaded resolver takes 30 s for slow-lookup.invalid; a stop (0: a failing picture)
  // ends the run within a second all the same.
  for (const int signal : {SIGTERM, 0}) {
    TempDir out;
    testkit::WriteFileBytes(out.File("page.htm"),
                            testkit::CataloguePage("T", (signal == 0 ? gone : "") + slow));
    const std::string started = out.File("lookup-started");
    std::atomic<std::chrono::steady_clock::time_point> signalled{std::chrono::steady_clock::now()};
    const ProcessResult run = testkit::RunProcess(
        "/usr/bin/env",
        {"LD_PRELOAD=" + SanitizerRuntime() + PICSHEET_SLOW_LOOKUP,
         "PICSHEET_SLOW_LOOKUP_STARTED=" + started, PICSHEET_CLI, out.File("page.htm"), "--session",
         "cat", "--output-dir", out.path()},
        "", [&](pid_t pid) {
          for (int i = 0; signal != 0 && !testkit::PathExists(started) && i < 10000; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
          }
          signalled = std::chrono::steady_clock::now();
          if (signal != 0) ::kill(pid, signal);
        });
    EXPECT_EQ(run.exitCode, signal != 0 ? 128 + signal : 1) << run.err;
    EXPECT_TRUE(testkit::PathExists(started)) << "the slow lookup was under way";
    EXPECT_LT(std::chrono::steady_clock::now() - signalled.load(), std::chrono::seconds(2));
  }
}

// A collection stopped in its second catalogue keeps the first saved and leaves the second's
// earlier run as it was.
TEST(InterruptedCliRun, ACollectionKeepsTheCataloguesSavedBeforeTheStop) {
  SeriesServer server;
  TempDir pages, out;
  testkit::WriteFileBytes(pages.File("p.jpg"), testkit::MakeFlatJpeg(12, 16));
  testkit::WriteFileBytes(pages.File("one.htm"),
                          testkit::CataloguePage("T", testkit::Cell("1", "p.jpg")));
  const std::vector<std::string> args = {pages.File("one.htm"), server.PageUrl(), "--output-dir",
                                         out.path()};
  ASSERT_EQ(
      testkit::RunProcess(PICSHEET_CLI, {server.PageUrl(), "--output-dir", out.path()}).exitCode,
      0);
  const auto before = testkit::SnapshotFolder(out.path());

  server.Serve(1);
  const ProcessResult stopped =
      testkit::RunProcess(PICSHEET_CLI, args, "", SignalAfter(server, 60, SIGTERM));
  EXPECT_EQ(stopped.exitCode, 143) << stopped.err;
  EXPECT_EQ(stopped.out, out.File("onehtm.html") + "\n");
  EXPECT_EQ(LastLine(stopped.err), "error: Interrupted.");
  auto after = testkit::SnapshotFolder(out.path());
  EXPECT_EQ(after.count("onehtm_images/00000001_1.jpg"), 1u);
  std::erase_if(after, [](const auto& entry) { return entry.first.starts_with("onehtm"); });
  EXPECT_EQ(after, before);
}

TEST(InterruptedCliRun, AKilledRunsLeftoverIsClearedByTheNextRunOfItsName) {
  SeriesServer server;
  TempDir out;
  server.Serve(1);
  Cli(server.PageUrl(), out.path(), SignalAfter(server, 60, SIGKILL));
  ASSERT_GT(testkit::SnapshotFolder(out.path()).size(), 1u)
      << "the killed run left its staging behind";

  server.Serve(0);
  ASSERT_EQ(Cli(server.PageUrl(), out.path()).exitCode, 0);
  TempDir fresh;
  ASSERT_EQ(Cli(server.PageUrl(), fresh.path()).exitCode, 0);
  EXPECT_EQ(testkit::SnapshotFolder(out.path()), testkit::SnapshotFolder(fresh.path()));
}

TEST(SaveNameLock, ASecondRunOfTheSameNameFailsAtOnceAndWritesNothing) {
  SeriesServer server;
  TempDir out;
  const auto before = testkit::SnapshotFolder(out.path());
  {
    RunOutput held(out.path() + "/", "cat");
    const ProcessResult second = Cli(server.PageUrl(), out.path());
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(LastLine(second.err), "error: Another run is saving \"cat\" in this folder.");
    EXPECT_EQ(server.served.load(), 0);
  }
  EXPECT_EQ(testkit::SnapshotFolder(out.path()), before) << "the lock leaves nothing behind";
  EXPECT_EQ(Cli(server.PageUrl(), out.path()).exitCode, 0) << "released with its holder";
}

TEST(EngineStop, TheRunsStopEndsEveryTransferAtOnce) {
  // Every answer trickles one byte per 50 ms for a minute.
  LoopbackServer server([](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(8); };
    s.Get(R"(/slow/\d+)", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("image/jpeg", [](std::size_t sent, httplib::DataSink& sink) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (sent >= 1200) {
          sink.done();
          return true;
        }
        return sink.write("x", 1);
      });
    });
  });
  std::vector<std::string> addresses;
  for (int i = 0; i < 6; ++i) addresses.push_back(server.Url("/slow/" + std::to_string(i)));
  std::stop_source stop;
  const auto start = std::chrono::steady_clock::now();
  {
    TransferEngine engine(6, stop.get_token());
    std::deque<AwaitedTransfer> transfers;  // queued as a run queues its pictures: not urgent
    for (std::size_t i = 0; i < addresses.size(); ++i) transfers.emplace_back(false);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      engine.Fetch(addresses[i], FetchOptions{}, transfers[i]);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.request_stop();
    for (auto& transfer : transfers) {
      const FetchResult result = transfer.Wait();
      ASSERT_TRUE(result.error.has_value());
      EXPECT_EQ(result.error->kind(), ErrorKind::kInterrupted);
    }
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
      << "the transfers ran on to their end";
}

TEST(CancelledPicture, TurningAndWritingStopWithInterruptedAndLeaveNoFile) {
  TempDir dir;
  std::stop_source stop;
  stop.request_stop();
  // A landscape picture under vertical orientation is decoded and turned.
  const std::string landscape = testkit::MakeFlatJpeg(640, 480);
  long double height = 0;
  try {
    LocaliseImage(SessionFolder{dir.path() + "/", "s", "", {}, stop.get_token()},
                  "http://host/p.jpg", 1.9L, height, 2, 90, "1_1",
                  [&](const std::string&) { return MemoryStream(landscape); });
    FAIL() << "the turn went on";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Interrupted");
  }
  EXPECT_EQ(testkit::SnapshotFolder(dir.path() + "/s_images").size(), 0u);

  const std::vector<std::uint8_t> raster(640 * 480 * 3, 128);
  try {
    EncodeJpegRgbToMemory(raster.data(), 640, 480, false, 0, stop.get_token());
    FAIL() << "the encoder went on";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Interrupted");
  }
}

}  // namespace
}  // namespace picsheet
