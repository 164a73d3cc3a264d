// Whole runs of picsheet-cli against a loopback server that answers every request 50 ms late, as
// a distant catalogue site does. Reports one-by-one fetching (--jobs 1), the default pool, and a
// plain parallel download of the same addresses with curl at the same parallelism, plus the peak
// memory of runs of 200 and 800 pictures; then a run of 300 pictures from an HTTP/2-over-TLS
// server (node's http2 module) as late. Exits 1 when a target is missed.
//
// Targets: default >= 4.5x faster than --jobs 1; default within 1.3x of curl's transfer time;
// peak memory for 800 pictures within 1.2x of that for 200; the HTTP/2 run within 1.2 s over at
// most 2 connections.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "bench/bench_jpeg.h"
#include "bench/bench_report.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/http2_server.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/scoped_environment.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr auto kDelay = std::chrono::milliseconds(50);
constexpr int kJobs = 6;

struct Pictures {
  std::string portrait = bench::MakePhotoLikeJpeg(480, 640, false, 92);
  std::string landscape = bench::MakePhotoLikeJpeg(640, 480, true, 92);
};

// Picture n is landscape (and so turned under vertical orientation) for every third n.
bool IsLandscape(int n) { return n % 3 == 0; }

testkit::ProcessResult RunCli(const std::string& page, const std::string& out,
                              const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"--output-dir", out, "--session", "bench"};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(page);
  testkit::ProcessResult run = testkit::RunProcess(PICSHEET_CLI, args);
  if (run.exitCode != 0) {
    std::fprintf(stderr, "picsheet-cli failed: %s\n", run.err.c_str());
    std::exit(2);
  }
  return run;
}

double CurlParallel(const testkit::LoopbackServer& server, int pictures,
                    const testkit::TempDir& dir) {
  const std::string config = dir.File("curl.cfg");
  {
    std::ofstream file(config);
    for (int n = 1; n <= pictures; ++n) {
      file << "url = \"" << server.Url("/pictures/" + std::to_string(n) + ".jpg") << "\"\n"
           << "output = \"/dev/null\"\n";
    }
  }
  const testkit::ProcessResult run = testkit::RunProcess(
      "/usr/bin/curl",
      {"--silent", "--parallel", "--parallel-max", std::to_string(kJobs), "--config", config});
  if (run.exitCode != 0) {
    std::fprintf(stderr, "curl failed (%d): %s\n", run.exitCode, run.err.c_str());
    std::exit(2);
  }
  return run.seconds;
}

}  // namespace
}  // namespace picsheet

int main() {
  using namespace picsheet;
  const Pictures pictures;
  std::printf("pictures: portrait %zu bytes, landscape %zu bytes, %lld ms per answer\n",
              pictures.portrait.size(), pictures.landscape.size(),
              static_cast<long long>(kDelay.count()));
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(32); };
    s.Get(R"(/pictures/(\d+)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      std::this_thread::sleep_for(kDelay);
      const int n = std::stoi(req.matches[1].str());
      res.set_content(IsLandscape(n) ? pictures.landscape : pictures.portrait, "image/jpeg");
    });
  });
  testkit::TempDir dir;
  const auto writePage = [&](int count) {
    const std::string path = dir.File("catalogue" + std::to_string(count) + ".htm");
    std::ofstream(path, std::ios::binary)
        << testkit::CataloguePage("Bench", testkit::NumberedCells(count, [&](int n) {
                                    return server.Url("/pictures/" + std::to_string(n) + ".jpg");
                                  }));
    return path;
  };
  const std::string page200 = writePage(200);
  const std::string page800 = writePage(800);

  const testkit::ProcessResult oneByOne = RunCli(page200, dir.path(), {"--jobs", "1"});
  const testkit::ProcessResult pooled = RunCli(page200, dir.path(), {});
  const double curl = CurlParallel(server, 200, dir);
  const testkit::ProcessResult pooled800 = RunCli(page800, dir.path(), {});

  std::printf("200 pictures: --jobs 1 %.2f s, default %.2f s, curl --parallel-max %d %.2f s\n",
              oneByOne.seconds, pooled.seconds, kJobs, curl);
  std::printf("peak memory: 200 pictures %ld KB, 800 pictures %ld KB\n", pooled.peakKb,
              pooled800.peakKb);
  bool met = true;
  met &= bench::Report("speed-up of the default over --jobs 1", oneByOne.seconds / pooled.seconds,
                       ">=", 4.5);
  met &= bench::Report("default time / parallel curl time", pooled.seconds / curl, "<=", 1.3);
  met &= bench::Report("peak memory 800 / 200 pictures", double(pooled800.peakKb) / pooled.peakKb,
                       "<=", 1.2);

  // The same pictures over HTTP/2: several in flight on one connection.
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(dir.path());
  const testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  testkit::WriteFileBytes(dir.File("portrait.jpg"), pictures.portrait);
  testkit::Http2Server h2(certificate, dir.File("portrait.jpg"), kDelay);
  testkit::WriteFileBytes(
      dir.File("h2.htm"),
      testkit::CataloguePage("Bench", testkit::NumberedCells(300, [&](int n) {
                               return h2.Url("/p/" + std::to_string(n) + ".jpg");
                             })));
  const testkit::ProcessResult overHttp2 = RunCli(dir.File("h2.htm"), dir.path(), {});
  const int connections = h2.Counts().sessions;
  std::printf("300 pictures over HTTP/2: default %.2f s over %d connections\n", overHttp2.seconds,
              connections);
  met &= bench::Report("HTTP/2 run of 300 pictures, seconds", overHttp2.seconds, "<=", 1.2);
  met &= bench::Report("HTTP/2 run of 300 pictures, connections", connections, "<=", 2);
  return met ? 0 : 1;
}
