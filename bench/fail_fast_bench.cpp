// Whole runs of picsheet-cli that end on a failure while other transfers hang, and runs against a
// busy server that says when to ask again. Six pictures: the first is a 12-megapixel landscape
// that keeps the converter turning, the second an error page, the rest answer 20 s late or never.
// Exits 1 when a target is missed.
//
// Targets: each failed run (slow and silent server; defaults and --jobs 6 --threads 4) ends with
// "JPEG error #53." within 1.5 s; a run whose pictures answer 503 + Retry-After: 2 for 2 s and
// 429 + Retry-After: 1 once exits 0 within 2 to 8 s with every picture saved.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "bench/bench_jpeg.h"
#include "bench/bench_report.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

std::string Catalogue(const testkit::LoopbackServer& server, const std::string& folder) {
  return testkit::CataloguePage(
      "Bench", testkit::NumberedCells(6, [&](int n) {
        return server.Url("/" + folder + "/" + std::to_string(n) + ".jpg");
      }));
}

}  // namespace
}  // namespace picsheet

int main() {
  using namespace picsheet;
  const std::string landscape = bench::MakePhotoLikeJpeg(4000, 3000, false, 90);
  const std::string small = bench::MakePhotoLikeJpeg(480, 640, false, 90);
  std::atomic<bool> released{false};
  std::mutex mutex;
  std::chrono::steady_clock::time_point busySince{};
  bool saidSlowDown = false;
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(64); };
    s.Get(R"(/(slow|silent)/(\d)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[2].str());
      if (n == 2) {
        res.status = 404;
        res.set_content("<html>not found</html>", "text/html");
        return;
      }
      if (n >= 3) {
        const auto wait =
            req.matches[1].str() == "slow" ? std::chrono::seconds(20) : std::chrono::seconds(3600);
        const auto until = std::chrono::steady_clock::now() + wait;
        while (!released && std::chrono::steady_clock::now() < until) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }
      res.set_content(n == 1 ? landscape : small, "image/jpeg");
    });
    s.Get(R"(/busy/(\d)\.jpg)", [&](const httplib::Request& req, httplib::Response& res) {
      const int n = std::stoi(req.matches[1].str());
      std::lock_guard<std::mutex> lock(mutex);
      const auto now = std::chrono::steady_clock::now();
      if (n == 1) {
        if (busySince == std::chrono::steady_clock::time_point{}) busySince = now;
        if (now - busySince < std::chrono::seconds(2)) {
          res.status = 503;
          res.set_header("Retry-After", "2");
          res.set_content("<html>busy</html>", "text/html");
          return;
        }
      }
      if (n == 2 && !saidSlowDown) {
        saidSlowDown = true;
        res.status = 429;
        res.set_header("Retry-After", "1");
        res.set_content("<html>slow down</html>", "text/html");
        return;
      }
      res.set_content(small, "image/jpeg");
    });
  });
  testkit::TempDir dir;
  bool met = true;
  for (const std::string folder : {"slow", "silent"}) {
    const std::string page = dir.File(folder + ".htm");
    std::ofstream(page, std::ios::binary) << Catalogue(server, folder);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{}, std::vector<std::string>{"--jobs", "6", "--threads", "4"}}) {
      testkit::TempDir out;
      std::vector<std::string> args = {"--output-dir", out.path()};
      args.insert(args.end(), options.begin(), options.end());
      args.push_back(page);
      const testkit::ProcessResult run = testkit::RunProcess(PICSHEET_CLI, args);
      const bool failedRight = run.exitCode == 1 && run.err.ends_with("error: JPEG error #53.\n");
      if (!failedRight) std::printf("  unexpected end: %d %s", run.exitCode, run.err.c_str());
      met &= failedRight &&
             bench::Report(
                 folder + " server, " + (options.empty() ? "defaults" : "--jobs 6 --threads 4"),
                 run.seconds, "<=", 1.5, "s");
    }
  }
  released = true;

  const std::string busyPage = dir.File("busy.htm");
  std::ofstream(busyPage, std::ios::binary) << Catalogue(server, "busy");
  testkit::TempDir out;
  const testkit::ProcessResult busy = testkit::RunProcess(
      PICSHEET_CLI, {"--output-dir", out.path(), "--session", "busy", busyPage});
  const std::size_t saved = testkit::FolderContents(out.File("busy_images")).size();
  if (busy.exitCode != 0 || saved != 6) {
    std::printf("  busy run: exit %d, %zu pictures saved: %s", busy.exitCode, saved,
                busy.err.c_str());
    met = false;
  }
  // Honoured Retry-After: at least the 2 s the server asked for, and not much more.
  const std::string busyRun = "busy server, 503 + Retry-After: 2, 429 + Retry-After: 1";
  met &= bench::Report(busyRun, busy.seconds, ">=", 2, "s");
  met &= bench::Report(busyRun, busy.seconds, "<=", 8, "s");
  return met ? 0 : 1;
}
