// What the answer store costs per picture of 5 MB: a lookup (open, check the length and the
// CRC-32 of the whole entry, mark it used), a lookup plus reading the body back for a 304 (checked
// again), and a store (temporary file, write, rename). The entry sits in the page cache, as it does
// on a second run shortly after the first; CPU time is the figure to read.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "tests/testkit/temp_dir.h"
#include "web/answer_cache.h"

namespace picsheet {
namespace {

constexpr std::size_t kBodyBytes = 5 << 20;
const std::string kUrl = "http://example.org/series/p1.jpg";

std::string Body() {
  std::mt19937 random(1);
  std::string body(kBodyBytes, '\0');
  for (char& c : body) c = static_cast<char>(random());
  return body;
}

StoredAnswer Facts() { return {kUrl, kUrl, "\"5f1-abc\"", "", "image/jpeg"}; }

void BM_Lookup(benchmark::State& state) {
  testkit::TempDir dir;
  AnswerCache cache(dir.File("cache"));
  if (!cache.Store(Facts(), Body())) state.SkipWithError("cannot store");
  for (auto _ : state) {
    std::optional<CachedAnswer> found = cache.Lookup(kUrl);
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodyBytes));
}
BENCHMARK(BM_Lookup)->Unit(benchmark::kMillisecond);

void BM_LookupAndReadBody(benchmark::State& state) {
  testkit::TempDir dir;
  AnswerCache cache(dir.File("cache"));
  if (!cache.Store(Facts(), Body())) state.SkipWithError("cannot store");
  for (auto _ : state) {
    std::optional<std::string> body = cache.Lookup(kUrl)->ReadBody();
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodyBytes));
}
BENCHMARK(BM_LookupAndReadBody)->Unit(benchmark::kMillisecond);

void BM_Store(benchmark::State& state) {
  testkit::TempDir dir;
  AnswerCache cache(dir.File("cache"));
  const std::string body = Body();
  for (auto _ : state) benchmark::DoNotOptimize(cache.Store(Facts(), body));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBodyBytes));
}
BENCHMARK(BM_Store)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace picsheet

BENCHMARK_MAIN();
