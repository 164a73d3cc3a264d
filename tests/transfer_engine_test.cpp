// The transfer engine itself against real loopback servers: many transfers at once, its stop and
// its Close.
#include "web/transfer_engine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <future>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"
#include "web/answer_cache.h"

namespace picsheet {
namespace {

using std::chrono::milliseconds;
using testkit::LoopbackServer;

// A dead domain among good pictures, as old catalogues have them: the engine's transfers meet the
// failed lookups and go on with good addresses. This once corrupted the heap.
TEST(TransferEngineTest, DeadHostsAmongGoodPicturesThroughThePool) {
  // Larger than libcurl's receive buffer, so every answer fills it.
  std::string picture(200 * 1024, '\0');
  for (std::size_t i = 0; i < picture.size(); ++i) picture[i] = static_cast<char>(i * 7919 >> 3);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/p/\d+\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture, "image/jpeg");
    });
  });
  std::vector<std::string> addresses;
  for (int i = 0; i < 40; ++i) {
    addresses.push_back(i % 4 == 0 ? "http://no-such-host-" + std::to_string(i) + ".invalid/a.jpg"
                                   : server.Url("/p/" + std::to_string(i) + ".jpg"));
  }
  for (int run = 0; run < 5; ++run) {
    TransferEngine engine(3);
    std::deque<AwaitedTransfer> collectors;  // queued as a run queues its pictures: not urgent
    for (std::size_t i = 0; i < addresses.size(); ++i) collectors.emplace_back(false);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      engine.Fetch(addresses[i], FetchOptions{}, collectors[i]);
    }
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      FetchResult result = collectors[i].Wait();
      if (addresses[i].find(".invalid/") != std::string::npos) {
        EXPECT_TRUE(result.error.has_value()) << addresses[i];
      } else {
        EXPECT_EQ(result.body.Remaining(), picture) << addresses[i];
      }
    }
  }
}

TEST(TransferEngineTest, AStopDoesNotWaitForABusyServersTime) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/busy", [](const httplib::Request&, httplib::Response& res) {
      res.status = 503;
      res.set_header("Retry-After", "50");
      res.set_content("<html>busy</html>", "text/html");
    });
  });
  std::stop_source stop;
  TransferEngine engine(2, stop.get_token());
  AwaitedTransfer busy;
  engine.Fetch(server.Url("/busy"), FetchOptions{}, busy);
  std::this_thread::sleep_for(milliseconds(200));
  const auto stopped = std::chrono::steady_clock::now();
  stop.request_stop();
  const FetchResult result = busy.Wait();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
  ASSERT_TRUE(result.error.has_value());
  EXPECT_EQ(result.error->kind(), ErrorKind::kInterrupted);
}

// Hands the result over through a future, so that a transfer that never ends fails the test
// instead of hanging it.
class PromisedTransfer final : public TransferListener {
 public:
  void Finished(FetchResult result) override { promise_.set_value(std::move(result)); }
  std::future<FetchResult> Result() { return promise_.get_future(); }

 private:
  std::promise<FetchResult> promise_;
};

TEST(TransferEngineTest, AFetchAfterCloseEndsAtOnceAsInterrupted) {
  TransferEngine engine(1);
  engine.Close();
  PromisedTransfer late;
  std::future<FetchResult> result = late.Result();
  engine.Fetch("http://127.0.0.1:9/a.jpg", FetchOptions{}, late);
  ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const FetchResult ended = result.get();
  ASSERT_TRUE(ended.error.has_value());
  EXPECT_EQ(ended.error->kind(), ErrorKind::kInterrupted);
}

// A kept answer whose lookup hangs (its entry is a FIFO nobody writes to, as a stuck disk would
// keep it) holds up no transfer under way: the store is not asked on the thread that drives the
// sockets.
TEST(TransferEngineTest, AStoreThatHangsHoldsUpNoTransfer) {
  std::promise<void> queued;
  std::shared_future<void> hangingQueued = queued.get_future().share();
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/p/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
      if (req.matches[1] == "2") {  // answers once the hanging lookup is under way
        hangingQueued.wait_for(std::chrono::seconds(5));
        std::this_thread::sleep_for(milliseconds(100));
      }
      res.set_content("picture " + req.matches[1].str(), "image/jpeg");
    });
  });
  testkit::TempDir dir;
  AnswerCache cache(dir.File("cache"));
  const std::string hanging = server.Url("/p/1");
  const std::string entry = dir.File("cache") + "/" + AnswerCache::EntryName(hanging);
  ASSERT_EQ(::mkfifo(entry.c_str(), 0600), 0);
  TransferEngine engine(2, {}, &cache);
  PromisedTransfer other;
  std::future<FetchResult> otherResult = other.Result();
  AwaitedTransfer stuck;
  engine.Fetch(server.Url("/p/2"), FetchOptions{}, other);
  std::this_thread::sleep_for(milliseconds(100));
  engine.Fetch(hanging, FetchOptions{}, stuck);
  queued.set_value();
  const bool otherEnded =
      otherResult.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  // A writer that comes and goes lets the lookup on: the entry is no answer.
  int writer = -1;
  for (int i = 0; i < 500 && writer < 0; ++i, std::this_thread::sleep_for(milliseconds(10))) {
    writer = ::open(entry.c_str(), O_WRONLY | O_NONBLOCK);
  }
  ASSERT_GE(writer, 0);
  ::close(writer);
  ASSERT_TRUE(otherEnded);
  EXPECT_EQ(otherResult.get().body.Remaining(), "picture 2");
  EXPECT_EQ(stuck.Wait().body.Remaining(), "picture 1");
}

}  // namespace
}  // namespace picsheet
