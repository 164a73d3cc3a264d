// Peak memory of picsheet-cli runs whose answers are large: one budget holds every body the run
// keeps, and compressed answers that inflate without end stop at their limit. Exits 1 when a
// target is missed.
//
// Targets: 24 pictures of 40 MiB (kept byte for byte) at --jobs 6 --threads 4 and with the
// defaults: peak resident memory <= 400 MiB. Twelve 300 MB answers: peak <= 3.5 answers (the one
// being saved, the next one arriving, the budget). A picture and a page answered with gzip that
// inflates to 2 GiB: each run ends within 10 s, peak <= 400 MiB, exit 1, no page.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_jpeg.h"
#include "bench/bench_report.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/gzip.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;

}  // namespace
}  // namespace picsheet

int main() {
  using namespace picsheet;
  // A real JPEG, then zeros up to the answer's size: read as a picture, saved byte for byte.
  const std::string head = bench::MakePhotoLikeJpeg(64, 48, false, 90);
  static char zeros[1 << 20];
  const auto padded = [&](std::size_t size) {
    return [&, size](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(
          size, "image/jpeg", [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset < head.size()) return sink.write(head.data() + offset, head.size() - offset);
            return sink.write(zeros, std::min(length, sizeof zeros));
          });
    };
  };
  const std::string bomb = testkit::GzipOfZeros(std::size_t{2} << 30);
  const auto compressed = [&](const char* type) {
    return [&, type](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Encoding", "gzip");
      res.set_content(bomb, type);
    };
  };
  constexpr std::size_t kLarge = std::size_t{40} << 20;
  constexpr std::size_t kHuge = std::size_t{300} * 1000 * 1000;
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(32); };
    s.Get(R"(/large/(\d+)\.jpg)", padded(kLarge));
    s.Get(R"(/huge/(\d+)\.jpg)", padded(kHuge));
    s.Get(R"(/bomb/(\d+)\.jpg)", compressed("image/jpeg"));
    s.Get("/bomb.htm", compressed("text/html"));
  });
  testkit::TempDir dir;
  const auto page = [&](const std::string& folder, int pictures) {
    const std::string path = dir.File(folder + ".htm");
    testkit::WriteFileBytes(
        path,
        testkit::CataloguePage("Bench", testkit::NumberedCells(pictures, [&](int n) {
                                 return server.Url("/" + folder + "/" + std::to_string(n) + ".jpg");
                               })));
    return path;
  };
  const auto run = [&](const std::string& source, std::vector<std::string> options) {
    testkit::TempDir out;
    std::vector<std::string> args = {"--output-dir", out.path(),      "--session",
                                     "big",          "--orientation", "none"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(source);
    testkit::ProcessResult result = testkit::RunProcess(PICSHEET_CLI, args);
    const bool pageSaved = testkit::PathExists(out.File("big.html"));
    return std::pair{result, pageSaved};
  };

  bool met = true;
  const std::string large = page("large", 24);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--jobs", "6", "--threads", "4"}, std::vector<std::string>{}}) {
    const auto [result, saved] = run(large, options);
    if (result.exitCode != 0 || !saved) {
      std::printf("  24 x 40 MiB failed: %s", result.err.c_str());
      met = false;
    }
    met &= bench::Report(
        std::string("24 x 40 MiB, ") + (options.empty() ? "defaults" : "--jobs 6 --threads 4"),
        result.peakKb * 1024.0 / kMiB, "<=", 400, "MiB");
  }

  {
    const auto [result, saved] = run(page("huge", 12), {});
    if (result.exitCode != 0 || !saved) {
      std::printf("  12 x 300 MB failed: %s", result.err.c_str());
      met = false;
    }
    met &= bench::Report("12 x 300 MB, peak in answers", result.peakKb * 1024.0 / kHuge, "<=", 3.5);
  }

  for (const auto& [what, source, message] :
       {std::tuple{"a picture inflating to 2 GiB", page("bomb", 1), "error: JPEG error #53.\n"},
        std::tuple{"a page inflating to 2 GiB", server.Url("/bomb.htm"),
                   "error: Out of memory.\n"}}) {
    const auto [result, saved] = run(source, {});
    if (result.exitCode != 1 || saved || !result.err.ends_with(message)) {
      std::printf("  %s: exit %d, page %s: %s", what, result.exitCode, saved ? "saved" : "none",
                  result.err.c_str());
      met = false;
    }
    met &= bench::Report(std::string(what) + ", time", result.seconds, "<=", 10, "s");
    met &= bench::Report(std::string(what) + ", peak", result.peakKb * 1024.0 / kMiB, "<=", 400,
                         "MiB");
  }
  return met ? 0 : 1;
}
