// The CPU time of turning a 12-megapixel baseline picture (decode, turn, encode at quality 90,
// write the file) against libjpeg-turbo's own tools doing the same decode and encode without a
// turn: `djpeg | cjpeg -quality 90`. Two views of the turn: a whole picsheet-cli run of a page of
// this one picture from a loopback server (start-up, download and a thread's first raster
// included), and LocaliseImage on each picture of a run, after the first, in one process set up
// as a run is. Exits 1 when a target is missed.
//
// Targets: each view costs at most 1.3x the CPU time (user + system) of djpeg + cjpeg. Every
// figure is the best of several alternated rounds, since other work on the machine only ever adds
// time.
#include <sys/resource.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/core/memory_tuning.h"
#include "bench/bench_jpeg.h"
#include "bench/bench_report.h"
#include "images/localise.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;  // landscape, so vertical orientation turns it
constexpr int kRounds = 7;

double Seconds(const timeval& time) { return double(time.tv_sec) + double(time.tv_usec) / 1e6; }

double CpuSeconds(const rusage& usage) { return Seconds(usage.ru_utime) + Seconds(usage.ru_stime); }

// User + system time of a shell command line and every process it waited for.
double CommandCpuSeconds(const std::string& command) {
  const testkit::ProcessResult run = testkit::RunProcess("/bin/sh", {"-c", command});
  if (run.exitCode != 0) {
    std::fprintf(stderr, "failed: %s\n%s", command.c_str(), run.err.c_str());
    std::exit(2);
  }
  return run.cpuSeconds;
}

double SelfCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

}  // namespace
}  // namespace picsheet

int main() {
  using namespace picsheet;
  KeepLargeBuffersOutOfTheHeap();
  const std::string stream = bench::MakePhotoLikeJpeg(kWidth, kHeight, false, 90);
  testkit::TempDir dir;
  testkit::WriteFileBytes(dir.File("picture.jpg"), stream);
  const std::string tools = "djpeg '" + dir.File("picture.jpg") + "' | cjpeg -quality 90 > '" +
                            dir.File("tools.jpg") + "'";

  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.Get("/picture.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(stream, "image/jpeg");
    });
  });
  testkit::WriteFileBytes(
      dir.File("page.htm"),
      testkit::CataloguePage("Turn", testkit::Cell("1", server.Url("/picture.jpg"))));
  const std::string cli = "no_proxy='*' '" PICSHEET_CLI "' --output-dir '" + dir.path() +
                          "' --session run '" + dir.File("page.htm") + "' > /dev/null";

  const SessionFolder session{dir.path() + "/", "bench"};
  const PictureFetch fetch = [&](const std::string&) { return MemoryStream(stream); };
  long double height = 0;
  LocaliseImage(session, "picture", 1.9L, height, 2, 90, "1_1", fetch);  // the run's first
  double bestTools = 1e9, bestCli = 1e9, bestEach = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    bestTools = std::min(bestTools, CommandCpuSeconds(tools));
    bestCli = std::min(bestCli, CommandCpuSeconds(cli));
    const double before = SelfCpuSeconds();
    LocaliseImage(session, "picture", 1.9L, height, 2, 90, "1_1", fetch);
    bestEach = std::min(bestEach, SelfCpuSeconds() - before);
  }

  std::printf("%d x %d baseline, %zu bytes; CPU time, best of %d:\n", kWidth, kHeight,
              stream.size(), kRounds);
  std::printf("  djpeg | cjpeg -quality 90                   %6.1f ms\n", bestTools * 1000);
  std::printf("  picsheet-cli, a page of this one picture    %6.1f ms\n", bestCli * 1000);
  std::printf("  LocaliseImage, each picture of a run        %6.1f ms\n", bestEach * 1000);
  bool met = bench::Report("picsheet-cli run / djpeg + cjpeg", bestCli / bestTools, "<=", 1.3);
  met &= bench::Report("each picture of a run / djpeg + cjpeg", bestEach / bestTools, "<=", 1.3);
  return met ? 0 : 1;
}
