// Whole runs of picsheet-cli against a server that sends 2 MB/s in all and answers conditional
// GETs: a first run of 40 pictures of about 150 KB, then the same catalogue again with other cells
// per row, then again after one picture changed on the server. Exits 1 when a target is missed.
//
// Targets: the run again takes at most 0.2x the first run's time, and the server sends no picture
// body for it; after one change, only that body is sent; every run's pictures equal the server's.
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "bench/bench_jpeg.h"
#include "bench/bench_report.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr int kPictures = 40;
constexpr double kBytesPerSecond = 2e6;

// One sending rate shared by every connection: each block waits for its turn on the line.
class SharedLine {
 public:
  void Send(std::size_t bytes) {
    std::chrono::steady_clock::time_point at;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      if (free_ < now) free_ = now;
      free_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::duration<double>(bytes / kBytesPerSecond));
      at = free_;
    }
    std::this_thread::sleep_until(at);
  }

 private:
  std::mutex mutex_;
  std::chrono::steady_clock::time_point free_{};
};

}  // namespace
}  // namespace picsheet

int main() {
  using namespace picsheet;
  std::map<int, std::string> pictures;
  for (int n = 1; n <= kPictures; ++n) {
    pictures[n] = bench::MakePhotoLikeJpeg(560 + n, 720, false, 92);  // about 150 KB
  }
  std::mutex mutex;
  std::map<int, int> versions;
  int bodies = 0;
  SharedLine line;
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(16); };
    s.Get(R"(/p/(\d+)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[1].str());
      std::string etag;
      {
        std::lock_guard<std::mutex> lock(mutex);
        // Built piece by piece: "\"" + a temporary trips GCC 12's -Wrestrict in release builds.
        etag.assign(1, '"').append(std::to_string(n)).append(1, '.');
        etag.append(std::to_string(versions[n])).append(1, '"');
      }
      res.set_header("ETag", etag);
      if (req.get_header_value("If-None-Match") == etag) {
        res.status = 304;
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        ++bodies;
      }
      const std::string* body = &pictures.at(n);
      res.set_content_provider(
          body->size(), "image/jpeg",
          [&line, body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t block = std::min<std::size_t>(length, 16 * 1024);
            line.Send(block);
            return sink.write(body->data() + offset, block);
          });
    });
  });
  testkit::TempDir dir;
  const testkit::ScopedEnvironment cache("XDG_CACHE_HOME", dir.File("cache"));
  testkit::WriteFileBytes(
      dir.File("list.htm"),
      testkit::CataloguePage("Bench", testkit::NumberedCells(kPictures, [&](int n) {
                               return server.Url("/p/" + std::to_string(n) + ".jpg");
                             })));

  bool met = true;
  const auto run = [&](const std::string& cells) {
    testkit::TempDir out;
    const testkit::ProcessResult result = testkit::RunProcess(
        PICSHEET_CLI, {"--output-dir", out.path(), "--session", "bench", "--orientation", "none",
                       "--cells", cells, dir.File("list.htm")});
    if (result.exitCode != 0) {
      std::printf("picsheet-cli failed: %s", result.err.c_str());
      std::exit(2);
    }
    for (int n = 1; n <= kPictures; ++n) {
      std::string name = std::to_string(n) + "_1";
      name.insert(0, 10 - name.size(), '0');
      if (testkit::ReadFileBytes(out.File("bench_images/" + name + ".jpg")) != pictures[n]) {
        std::printf("  picture %d differs from the server's\n", n);
        met = false;
      }
    }
    std::lock_guard<std::mutex> lock(mutex);
    const int sent = bodies;
    bodies = 0;
    return std::pair{result.seconds, sent};
  };
  const auto [first, firstBodies] = run("10");
  const auto [again, againBodies] = run("8");
  {
    std::lock_guard<std::mutex> lock(mutex);
    ++versions[7];
  }
  pictures[7] = bench::MakePhotoLikeJpeg(600, 720, false, 92);
  const auto [changed, changedBodies] = run("8");

  std::printf(
      "%d pictures at %.0f MB/s: first run %.2f s (%d bodies), again with --cells 8 %.2f s"
      " (%d bodies), after one change %.2f s (%d bodies)\n",
      kPictures, kBytesPerSecond / 1e6, first, firstBodies, again, againBodies, changed,
      changedBodies);
  met &= bench::Report("run again / first run", again / first, "<=", 0.2);
  met &= bench::Report("picture bodies sent for the run again", againBodies, "<=", 0);
  met &= bench::Report("picture bodies sent after one changed", changedBodies, "<=", 1);
  return met ? 0 : 1;
}
