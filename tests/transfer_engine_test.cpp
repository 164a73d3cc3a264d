// The transfer engine itself against real loopback servers: many transfers at once, its stop and
// its Close.
#include "web/transfer_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <future>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"

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

}  // namespace
}  // namespace picsheet
