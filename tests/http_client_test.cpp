// The HTTP client against real loopback servers: dead hosts, failures and their reasons.
#include "base/http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/core/picture_prefetcher.h"
#include "base/error.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"

namespace picsheet {
namespace {

using std::chrono::milliseconds;
using testkit::LoopbackServer;

std::string Fetched(HttpClient& client, const std::string& url) {
  return std::move(client.Get(url)).TakeRemaining();
}

Error Thrown(HttpClient& client, const std::string& url) {
  try {
    client.Get(url);
  } catch (const Error& e) {
    return e;
  }
  return Error("(nothing thrown)");
}

// bytes compressed with zlib: windowBits 15 + 16 gives gzip, 15 the zlib form of "deflate".
std::string Compressed(const std::string& bytes, int windowBits) {
  z_stream stream{};
  deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// A loopback socket that accepts connections and closes each at once, counting them.
class DroppingServer {
 public:
  DroppingServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 16);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        const int connection = ::accept(fd_, nullptr, nullptr);
        if (connection < 0 || stopping_) break;
        ++accepted;
        ::close(connection);
      }
    });
  }
  ~DroppingServer() {
    stopping_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    thread_.join();
    ::close(fd_);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/a.jpg"; }
  std::atomic<int> accepted{0};

 private:
  int fd_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// A dead domain among good pictures, as old catalogues have them: each pool connection meets the
// failed lookup and then goes on with good addresses. This once corrupted the heap.
TEST(HttpClientTest, DeadHostsAmongGoodPicturesThroughThePool) {
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
    PicturePrefetcher prefetcher(addresses, 3, FetchOptions{});
    for (const std::string& address : addresses) {
      if (address.find(".invalid/") != std::string::npos) {
        EXPECT_THROW(prefetcher.Take(address), Error);
      } else {
        EXPECT_EQ(prefetcher.Take(address).Remaining(), picture);
      }
    }
  }
}

TEST(HttpClientTest, AnEndlessDripEndsAsAnAddressThatCannotBeOpened) {
  std::atomic<bool> released{false};
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/drip.jpg", [&](const httplib::Request&, httplib::Response& res) {
      // About 3 bytes a second, for about 20 s (bounded, so that a client without a speed
      // limit fails the test instead of hanging it).
      res.set_chunked_content_provider("image/jpeg",
                                       [&](std::size_t offset, httplib::DataSink& sink) {
                                         std::this_thread::sleep_for(milliseconds(300));
                                         sink.write("x", 1);
                                         return !released && offset < 64;
                                       });
    });
  });
  FetchOptions options;
  options.stallTimeout = std::chrono::seconds(1);
  HttpClient client(options);
  const auto start = std::chrono::steady_clock::now();
  const Error error = Thrown(client, server.Url("/drip.jpg"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_STREQ(error.what(), ("Cannot open URL " + server.Url("/drip.jpg")).c_str());
  EXPECT_EQ(error.reason().rfind("Operation too slow", 0), 0u) << error.reason();
  released = true;
}

TEST(HttpClientTest, CompressedAnswersAreDecodedWithoutAskingForThem) {
  const std::string picture = testkit::MakeFlatJpeg(64, 48);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/(gzip|deflate))", [&](const httplib::Request& req, httplib::Response& res) {
      if (req.has_header("Accept-Encoding")) {
        res.status = 400;
        return;
      }
      const std::string coding = req.matches[1].str();
      res.set_header("Content-Encoding", coding);
      res.set_content(Compressed(picture, coding == "gzip" ? 31 : 15), "image/jpeg");
    });
  });
  HttpClient client;
  EXPECT_EQ(Fetched(client, server.Url("/gzip")), picture);
  EXPECT_EQ(Fetched(client, server.Url("/deflate")), picture);
}

TEST(HttpClientTest, TransientFailuresAreTriedAgainOthersNot) {
  std::atomic<int> gets{0};
  const std::string picture = testkit::MakeFlatJpeg(30, 20);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/busy.jpg", [&](const httplib::Request&, httplib::Response& res) {
      ++gets;
      res.status = 503;
      res.set_content("<html>busy</html>", "text/html");
    });
    s.Get("/gone.jpg", [&](const httplib::Request&, httplib::Response& res) {
      ++gets;
      res.status = 404;
      res.set_content("<html>gone</html>", "text/html");
    });
  });
  for (const int retries : {0, 2}) {
    FetchOptions options;
    options.retries = retries;
    options.retryPause = milliseconds(50);
    HttpClient client(options);

    DroppingServer dropping;
    const Error dropped = Thrown(client, dropping.Url());
    EXPECT_STREQ(dropped.what(), ("Cannot open URL " + dropping.Url()).c_str());
    EXPECT_EQ(dropping.accepted, retries + 1);

    gets = 0;
    MemoryStream busy = client.Get(server.Url("/busy.jpg"));
    EXPECT_EQ(busy.answer().status, 503);
    EXPECT_EQ(std::move(busy).TakeRemaining(), "<html>busy</html>");
    EXPECT_EQ(gets, retries + 1);

    gets = 0;
    EXPECT_EQ(Fetched(client, server.Url("/gone.jpg")), "<html>gone</html>");
    EXPECT_EQ(gets, 1);
  }
}

TEST(HttpClientTest, ARefusedConnectionIsTriedAgainAfterGrowingPauses) {
  const int closedPort = [] {
    DroppingServer probe;
    return std::stoi(probe.Url().substr(17));
  }();
  const std::string url = "http://127.0.0.1:" + std::to_string(closedPort) + "/a.jpg";
  FetchOptions options;
  options.retries = 2;
  options.retryPause = milliseconds(200);
  HttpClient client(options);
  const auto start = std::chrono::steady_clock::now();
  const Error error = Thrown(client, url);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(200 + 400));
  EXPECT_STREQ(error.what(), ("Cannot open URL " + url).c_str());
  EXPECT_EQ(error.reason().rfind("Failed to connect to 127.0.0.1 port", 0), 0u) << error.reason();
}

}  // namespace
}  // namespace picsheet
