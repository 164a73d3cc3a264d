// A turned 12-megapixel picture: LocaliseImage's decode, turn and encode against a plain decode
// and encode of the same stream. Targets: time within 1.3x of the plain round trip; peak memory
// within 2.5x of one RGB raster (counter peak_per_raster, measured in a child process).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <malloc.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "bench/bench_jpeg.h"
#include "images/localise.h"

namespace picsheet {
namespace {

constexpr int kWidth = 4000, kHeight = 3000;  // landscape, so vertical orientation turns it

const std::string& Picture(bool progressive) {
  static const std::string baseline = bench::MakePhotoLikeJpeg(kWidth, kHeight, false);
  static const std::string stepwise = bench::MakePhotoLikeJpeg(kWidth, kHeight, true);
  return progressive ? stepwise : baseline;
}

std::string ProgramFolder() {
  static const std::string folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "picsheet-bench-XXXXXX");
    return std::string(::mkdtemp(pattern.data())) + "/";
  }();
  return folder;
}

void LocaliseOnce(const std::string& stream) {
  long double height = 0;
  const PictureFetch fetch = [&](const std::string&) { return MemoryStream(stream); };
  benchmark::DoNotOptimize(LocaliseImage(SessionFolder{ProgramFolder(), "bench"}, "picture", 1.9L,
                                         height, 2, 90, "1_1", fetch));
}

// Peak resident memory in KB of a child process that runs action once after a fork.
long ChildPeakKb(const std::function<void()>& action) {
  const pid_t child = ::fork();
  if (child == 0) {
    // Give back the heap the parent freed, so that the child's allocations show in its peak. The
    // action runs on a thread of its own: the raster memory the parent's thread keeps between
    // turns is already resident in every child, and reusing it would hide the turn's own memory.
    ::malloc_trim(0);
    std::thread(action).join();
    std::_Exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

void PeakCounter(benchmark::State& state, const std::function<void()>& action) {
  const long idle = ChildPeakKb([] {});
  const long peak = ChildPeakKb(action);
  const double raster = double(kWidth) * kHeight * 3 / 1024;
  state.counters["peak_per_raster"] = double(peak - idle) / raster;
}

void BM_LocaliseTurn(benchmark::State& state) {
  const std::string& stream = Picture(state.range(0) != 0);
  for (auto _ : state) LocaliseOnce(stream);
  PeakCounter(state, [&] { LocaliseOnce(stream); });
  state.counters["megapixels_per_s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_PlainDecodeEncode(benchmark::State& state) {
  const std::string& stream = Picture(state.range(0) != 0);
  for (auto _ : state) benchmark::DoNotOptimize(bench::PlainDecodeEncode(stream));
  PeakCounter(state, [&] { bench::PlainDecodeEncode(stream); });
  state.counters["megapixels_per_s"] =
      benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_LocaliseTurn)->Arg(0)->Arg(1)->ArgName("progressive")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainDecodeEncode)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("progressive")
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace picsheet

BENCHMARK_MAIN();
