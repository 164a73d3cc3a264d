// The HTTP client against a real loopback server: bodies, headers, redirects and failures.
#include "base/http_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "base/error.h"
#include "tests/testkit/loopback_server.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;

std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

std::string Fetched(const std::string& url) {
  return std::move(HttpClient().Get(url)).TakeRemaining();
}

// A port nobody listens on: bound, then closed.
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

TEST(HttpClientTest, BodiesArriveWholeWhateverTheStatus) {
  const std::string withZeros("a\0b\0\0c", 6);
  const std::string big(10 * 1024 * 1024 + 7, 'x');
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/page", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("<html>page</html>", "text/html");
    });
    s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<html>not here</html>", "text/html");
    });
    s.Get("/empty", [](const httplib::Request&, httplib::Response& res) { res.status = 200; });
    s.Get("/zeros", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(withZeros, "application/octet-stream");
    });
    s.Get("/big", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(big, "application/octet-stream");
    });
  });
  EXPECT_EQ(Fetched(server.Url("/page")), "<html>page</html>");
  EXPECT_EQ(Fetched(server.Url("/missing")), "<html>not here</html>");
  EXPECT_EQ(Fetched(server.Url("/empty")), "");
  EXPECT_EQ(Fetched(server.Url("/zeros")), withZeros);
  EXPECT_EQ(Fetched(server.Url("/big")), big);

  MemoryStream stream = HttpClient().Get(server.Url("/page"));
  EXPECT_EQ(stream.Position(), 0u);
  EXPECT_EQ(stream.Size(), 17u);
}

TEST(HttpClientTest, ConnectionClosedMidBodyKeepsTheBytesSoFar) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(100000, "image/jpeg",
                               [](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset > 0) return false;  // drop the connection
                                 sink.write("first part", 10);
                                 return true;
                               });
    });
  });
  EXPECT_EQ(Fetched(server.Url("/cut")), "first part");
}

TEST(HttpClientTest, SendsTheAgentAndBypassesCaches) {
  std::mutex mutex;
  httplib::Headers seen;
  std::string target;
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      seen = req.headers;
      target = req.target;
      res.set_content("ok", "text/plain");
    });
  });
  Fetched(server.Url("/a.jpg"));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(seen.find("User-Agent")->second, "Kestro 5.x");
  EXPECT_EQ(seen.find("Cache-Control")->second, "no-cache");
  EXPECT_EQ(seen.find("Pragma")->second, "no-cache");
  EXPECT_EQ(target, "/a.jpg");
}

TEST(HttpClientTest, UnsafeBytesArrivePercentEncoded) {
  std::mutex mutex;
  std::string target;
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/.*)", [&](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard<std::mutex> lock(mutex);
      target = req.target;
      res.set_content("ok", "text/plain");
    });
  });
  // "my ", then "Серия" in Windows-1251.
  EXPECT_EQ(Fetched(server.Url("/my \xD1\xE5\xF0\xE8\xFF.jpg")), "ok");
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(target, "/my%20%D1%E5%F0%E8%FF.jpg");
}

TEST(HttpClientTest, RedirectsAreFollowedOnlyToTheWeb) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/moved",
          [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/target"); });
    s.Get("/target", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("arrived", "text/plain");
    });
    s.Get("/to-file", [](const httplib::Request&, httplib::Response& res) {
      res.set_redirect("file:///etc/passwd");
    });
    s.Get("/loop",
          [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
  });
  EXPECT_EQ(Fetched(server.Url("/moved")), "arrived");
  const std::string toFile = server.Url("/to-file");
  EXPECT_EQ(ThrownMessage([&] { Fetched(toFile); }), "Cannot open URL " + toFile);
  const std::string loop = server.Url("/loop");
  EXPECT_EQ(ThrownMessage([&] { Fetched(loop); }), "Cannot open URL " + loop);
}

TEST(HttpClientTest, AddressesThatCannotBeOpened) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/a.jpg";
  EXPECT_EQ(ThrownMessage([&] { Fetched(refused); }), "Cannot open URL " + refused);
  // No scheme: a picture written relative to its page. libcurl would guess http for it.
  EXPECT_EQ(ThrownMessage([] { Fetched("127.0.0.1:8080/a.jpg"); }),
            "Cannot open URL 127.0.0.1:8080/a.jpg");
  EXPECT_EQ(ThrownMessage([] { Fetched("images/a.jpg"); }), "Cannot open URL images/a.jpg");
  EXPECT_EQ(ThrownMessage([] { Fetched("file:///etc/hostname"); }),
            "Cannot open URL file:///etc/hostname");
  EXPECT_EQ(ThrownMessage([] { Fetched("http://name.invalid/a b.jpg"); }),
            "Cannot open URL http://name.invalid/a b.jpg");
}

TEST(HttpClientTest, AServerThatNeverAnswersTimesOut) {
  // Accepts (the kernel does, from the backlog) but never answers.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  FetchOptions options;
  options.stallTimeout = std::chrono::seconds(1);
  EXPECT_EQ(ThrownMessage([&] { HttpClient(options).Get(url); }), "Cannot open URL " + url);
  ::close(fd);
}

}  // namespace
}  // namespace picsheet
