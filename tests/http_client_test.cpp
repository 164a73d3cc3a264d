// The HTTP client against real loopback servers: dead hosts, failures and their reasons.
#include "web/http_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/gzip.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"
#include "web/referrer_policy.h"

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
  return Error(ErrorKind::kOther, "(nothing thrown)");
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

TEST(HttpClientTest, APictureSavedAfterARetryIsSavedAsAtTheFirstTry) {
  const std::string wide = testkit::MakeFlatJpeg(90, 60);  // turned: decoded and encoded again
  const std::string tall = testkit::MakeFlatJpeg(60, 90);
  std::mutex mutex;
  std::map<std::string, int> gets;  // per path
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/(first|again)/(\w+)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      std::unique_lock<std::mutex> lock(mutex);
      if (req.matches[1] == "again" && gets[req.path]++ == 0) {
        lock.unlock();
        res.status = 503;
        res.set_content("<html>busy</html>", "text/html");
        return;
      }
      res.set_content(req.matches[2].str()[0] == 'w' ? wide : tall, "image/jpeg");
    });
    s.Get(R"(/(first|again)\.htm)", [&](const httplib::Request& req, httplib::Response& res) {
      std::string cells;
      for (const char* name : {"tall", "wide", "tall2"}) {
        cells += testkit::Cell("1", "http://127.0.0.1:" + std::to_string(req.local_port) + "/" +
                                        req.matches[1].str() + "/" + name + ".jpg");
      }
      res.set_content(testkit::CataloguePage("T", cells), "text/html");
    });
  });
  std::map<std::string, std::string> outputs[2];
  for (int i = 0; i < 2; ++i) {
    testkit::TempDir out;
    RunRequest request =
        testkit::FolderRequest(server.Url(i == 0 ? "/first.htm" : "/again.htm"), out.path());
    request.jobs = 2;
    request.fetch.retries = 1;
    request.fetch.retryPause = milliseconds(50);
    ASSERT_EQ(testkit::RunInFolder(request).error, "");
    outputs[i] = testkit::FolderContents(out.path());
  }
  for (const char* path : {"/again/tall.jpg", "/again/wide.jpg", "/again/tall2.jpg"}) {
    EXPECT_EQ(gets[path], 2) << path << ": answered 503 once, then served";
  }
  EXPECT_EQ(outputs[0].size(), 4u);
  EXPECT_EQ(outputs[1], outputs[0]);
}

// openssl's test server on a loopback port with a self-signed certificate for 127.0.0.1.
class TlsServer {
 public:
  explicit TlsServer(const testkit::TempDir& dir)
      : files(testkit::MakeLoopbackCertificate(dir.path())), certificate(files.certificate) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);  // its handshake complaints
      ::execlp("openssl", "openssl", "s_server", "-www", "-accept", "127.0.0.1:0", "-cert",
               certificate.c_str(), "-key", files.key.c_str(), nullptr);
      ::_exit(127);
    }
    ::close(out[1]);
    // It names its port in a line "ACCEPT 127.0.0.1:PORT".
    std::string line;
    for (char c; line.rfind("ACCEPT ", 0) != 0 && ::read(out[0], &c, 1) == 1;) {
      line = c == '\n' ? std::string() : line + c;
    }
    for (char c; ::read(out[0], &c, 1) == 1 && c != '\n';) line += c;
    ::close(out[0]);
    url = "https://127.0.0.1:" + line.substr(line.rfind(':') + 1) + "/";
  }
  ~TlsServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  testkit::LoopbackCertificate files;  // first: the certificate is made before the server starts
  std::string certificate;
  std::string url;

 private:
  pid_t pid_ = -1;
};

TEST(HttpClientTest, CertificatesTrustedForOneProcessAsCurlsToolTakesThem) {
  // The machine's own certificate settings, cleared for the test and restored after it.
  testkit::ScopedEnvironment caBundle("CURL_CA_BUNDLE", std::nullopt);
  testkit::ScopedEnvironment certFile("SSL_CERT_FILE", std::nullopt);
  testkit::ScopedEnvironment certDir("SSL_CERT_DIR", std::nullopt);
  testkit::TempDir dir;
  TlsServer server(dir);
  HttpClient client;
  const Error untrusted = Thrown(client, server.url);
  EXPECT_STREQ(untrusted.what(), ("Cannot open URL " + server.url).c_str());
  EXPECT_EQ(untrusted.reason(), "SSL certificate problem: self-signed certificate");
  for (const char* variable : {"SSL_CERT_FILE", "CURL_CA_BUNDLE"}) {
    ::setenv(variable, server.certificate.c_str(), 1);
    EXPECT_EQ(client.Get(server.url).answer().status, 200) << variable;
    ::unsetenv(variable);
  }
  // As with curl's tool, CURL_CA_BUNDLE wins over SSL_CERT_FILE.
  ::setenv("SSL_CERT_FILE", server.certificate.c_str(), 1);
  ::setenv("CURL_CA_BUNDLE", dir.File("none.pem").c_str(), 1);
  EXPECT_THROW(client.Get(server.url), Error);
}

// Address space limits do not mix with the sanitizers' shadow memory: plain builds only.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(HttpClientTest, AnAnswerLargerThanMemoryEndsTheRunWithOutOfMemory) {
  const std::string zeros(1 << 20, '\0');
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/list.htm", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(
          testkit::CataloguePage(
              "T", testkit::Cell(
                       "1", "http://127.0.0.1:" + std::to_string(req.local_port) + "/huge.jpg")),
          "text/html");
    });
    s.Get("/huge.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(
          std::size_t{1} << 30, "image/jpeg",
          [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            // A JPEG's first marker, so that the body is not given up at its first bytes.
            if (offset == 0) return sink.write("\xFF\xD8", 2);
            return sink.write(zeros.data(), std::min(length, zeros.size()));
          });
    });
  });
  testkit::TempDir out;
  const testkit::ProcessResult run = testkit::RunProcess(
      "/usr/bin/prlimit",
      {"--as=300000000", PICSHEET_CLI, "--output-dir", out.path(), server.Url("/list.htm")});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find(server.Url("/huge.jpg") + ": no memory left for the answer after "),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(run.err.ends_with("\nerror: Out of memory.\n")) << run.err;
}
#endif

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
  EXPECT_EQ(seen.count("Referer"), 0u) << "a page the user asked for has no referrer";
  EXPECT_EQ(target, "/a.jpg");
}

TEST(HttpClientTest, PicturesAreReferredAsBrowsersDoByDefault) {
  const struct {
    const char* page;
    const char* picture;
    const char* referer;
  } kCases[] = {
      {"https://h/cat/list.htm?x=1#top", "https://h/img/1.jpg", "https://h/cat/list.htm?x=1"},
      {"https://u:pw@h/list.htm", "https://h:443/1.jpg", "https://h/list.htm"},
      {"https://h/list.htm", "https://cdn.h/1.jpg", "https://h/"},
      {"http://h:8080/list.htm", "http://h/1.jpg", "http://h:8080/"},
      {"http://h/list.htm", "https://h/1.jpg", "http://h/"},
      {"https://h/list.htm", "http://h/1.jpg", ""},
      {"/home/u/list.htm", "http://h/1.jpg", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(RefererFor(c.page, c.picture), c.referer) << c.page;
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
  try {
    Fetched("images/a.jpg");
  } catch (const Error& error) {
    EXPECT_EQ(error.reason(), "not an http:// or https:// address");
  }
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

// An HTTP date seconds from now: "Tue, 15 Nov 1994 08:12:31 GMT".
std::string HttpDateFromNow(int seconds) {
  const std::time_t when = std::time(nullptr) + seconds;
  std::tm parts{};
  ::gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

TEST(HttpClientTest, BusyServersAreAskedAgainWhenTheySay) {
  const std::string picture = testkit::MakeFlatJpeg(30, 20);
  std::mutex mutex;
  std::map<std::string, int> gets;
  LoopbackServer server([&](httplib::Server& s) {
    // /STATUS/RETRY-AFTER/BUSY-ANSWERS: busy that many times, then the picture.
    s.Get(R"(/(\d+)/([^/]*)/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
      int count = 0;
      {
        std::lock_guard<std::mutex> lock(mutex);
        count = ++gets[req.path];
      }
      if (count > std::stoi(req.matches[3].str())) {
        res.set_content(picture, "image/jpeg");
        return;
      }
      res.status = std::stoi(req.matches[1].str());
      if (req.matches[2].length() > 0) {
        std::string after = req.matches[2].str();
        if (after == "date") after = HttpDateFromNow(2);
        res.set_header("Retry-After", after);
      }
      res.set_content("<html>busy</html>", "text/html");
    });
  });
  const struct {
    std::string path;
    milliseconds atLeast;  // the server's wait, honoured
    int gets;
    long status;  // of the answer delivered
  } cases[] = {
      {"/503/1/1", milliseconds(950), 2, 200},
      {"/429/1/1", milliseconds(950), 2, 200},
      {"/429//1", milliseconds(50), 2, 200},  // no word from the server: the pause
      {"/503/date/1", milliseconds(900), 2, 200},
      {"/503/1/5", milliseconds(1900), 3, 503},  // busy for longer than the tries last
      {"/503/120/1", milliseconds(0), 1, 503},   // a wait too long: that answer, at once
      {"/503/99999999999999999999/1", milliseconds(0), 1, 503},  // past libcurl's numbers
  };
  for (const auto& c : cases) {
    FetchOptions options;
    options.retryPause = milliseconds(50);
    HttpClient client(options);
    const auto start = std::chrono::steady_clock::now();
    const MemoryStream body = client.Get(server.Url(c.path));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(body.answer().status, c.status) << c.path;
    EXPECT_GE(took, c.atLeast) << c.path;
    EXPECT_LT(took, c.atLeast + std::chrono::seconds(5)) << c.path;
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(gets[c.path], c.gets) << c.path;
  }
}

TEST(HttpClientTest, DecodedBytesCountAgainstTheLimitAndUselessBodiesEndAtTheirStart) {
  // 64 MiB of zeros in a body of about 64 KB.
  const std::string bomb = testkit::GzipOfZeros(std::size_t{64} << 20);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/bomb", [&](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(bomb, "image/jpeg");
    });
  });
  FetchOptions limited;
  limited.maxBodyBytes = std::size_t{8} << 20;
  limited.bodyName = "the page";
  const Error error = [&] {
    HttpClient client(limited);
    return Thrown(client, server.Url("/bomb"));
  }();
  EXPECT_EQ(error.kind(), ErrorKind::kOutOfMemory) << error.what();
  EXPECT_EQ(error.reason(), "the page is larger than the 8 MiB a download may use");

  FetchOptions jpeg;
  jpeg.expectedStart = "\xFF\xD8";
  HttpClient client(jpeg);
  const MemoryStream start = client.Get(server.Url("/bomb"));
  EXPECT_EQ(start.Remaining(), std::string(2, '\0')) << "the two bytes that tell";
  EXPECT_EQ(start.answer().status, 200);
  EXPECT_EQ(start.answer().contentType, "image/jpeg");
}

TEST(HttpClientTest, LibcurlsOwnLimitsAreNotCalledOutOfMemory) {
  LoopbackServer server([](httplib::Server& s) {
    s.Get("/long-header", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Long", std::string(150 * 1024, 'a'));
      res.set_content("x", "image/jpeg");
    });
    s.Get(R"(/.*)", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("x", "image/jpeg");
    });
  });
  const struct {
    std::string url;
    std::string reason;
  } cases[] = {
      {server.Url("/long-header"),
       "the server's header line is longer than the 100 KB libcurl takes"},
      {server.Url("/" + std::string(2 << 20, 'a')),
       "the address is longer than the 1 MiB libcurl can send in a request"},
      {server.Url("/" + std::string(9000000, 'a')),
       "the address is longer than the 8000000 bytes libcurl takes"},
  };
  for (const auto& c : cases) {
    HttpClient client;
    const Error error = Thrown(client, c.url);
    EXPECT_EQ(error.kind(), ErrorKind::kFetch) << c.reason;
    EXPECT_EQ(error.reason(), c.reason);
  }
}

}  // namespace
}  // namespace picsheet
