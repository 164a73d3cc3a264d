// Collection runs of picsheet-cli against an HTTP/2-over-TLS server (node's http2 module) that
// answers every page and picture 50 ms late, as a distant catalogue site does. Twenty catalogues
// of 50 pictures each, converted by one run (--list), against the same 1000 pictures as one
// catalogue in one run and against twenty runs of one catalogue each; then the peak memory of a
// run of fifty catalogues against that of its largest catalogue alone. Exits 1 when a target is
// missed, 2 when a run fails.
//
// Targets: the collection within 1.3x of the time of the one catalogue of the same pictures; the
// collection's peak memory no more than that of its largest catalogue, give or take 10%: the peak
// of a run of 16 to 20 MB varies by up to about a megabyte with its threads' timing (allocator
// arenas, TLS and connection buffers), so each is the lower of two runs. Pictures or pages held
// from one catalogue to the next would add megabytes per catalogue.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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
constexpr int kCatalogues = 20;
constexpr int kPictures = 50;  // in each of the kCatalogues
constexpr int kMemoryCatalogues = 50;

// Pictures in catalogue k of the memory run: 30 to 70, the largest every fifth.
int MemoryCatalogueSize(int k) { return 30 + (k % 5) * 10; }

// Runs picsheet-cli with args into a fresh folder out. Throws when the run fails or saves another
// number of pages than expected, so that the server stops and the temporary folder goes.
testkit::ProcessResult RunCli(const std::string& out, std::vector<std::string> args,
                              int expectedPages) {
  ::mkdir(out.c_str(), 0755);
  args.insert(args.begin(), {"--output-dir", out});
  const testkit::ProcessResult run = testkit::RunProcess(PICSHEET_CLI, args);
  const auto pages = std::count(run.out.begin(), run.out.end(), '\n');
  if (run.exitCode != 0 || pages != expectedPages) {
    throw std::runtime_error("picsheet-cli saved " + std::to_string(pages) + " of " +
                             std::to_string(expectedPages) + " pages (exit " +
                             std::to_string(run.exitCode) + "): " + run.err);
  }
  return run;
}

// The lower peak memory of two runs of picsheet-cli with args.
// The name of catalogue k of a series ("c7"); built by appending, since GCC 12 gives a false
// -Wrestrict warning on "c" + std::to_string(k) in a release build.
std::string PageName(char series, int k) {
  std::string name(1, series);
  name += std::to_string(k);
  return name;
}

long LowerPeakKb(const std::string& out, const std::vector<std::string>& args, int expectedPages) {
  const long first = RunCli(out, args, expectedPages).peakKb;
  return std::min(first, RunCli(out, args, expectedPages).peakKb);
}

// Writes the list of links for a --list run and returns its path.
std::string WriteList(const testkit::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& links) {
  std::ostringstream list;
  for (const std::string& link : links) list << link << '\n';
  testkit::WriteFileBytes(dir.File(name), list.str());
  return dir.File(name);
}

// Measures and reports; true when every target is met.
bool Measure() {
  testkit::TempDir dir;
  const testkit::ScopedEnvironment cache("XDG_CACHE_HOME", dir.File("cache"));
  const testkit::LoopbackCertificate certificate = testkit::MakeLoopbackCertificate(dir.path());
  const testkit::ScopedEnvironment trusted("CURL_CA_BUNDLE", certificate.certificate);
  testkit::WriteFileBytes(dir.File("portrait.jpg"), bench::MakePhotoLikeJpeg(480, 640, false, 92));
  ::mkdir(dir.File("pages").c_str(), 0755);
  testkit::Http2Server h2(certificate, dir.File("portrait.jpg"), kDelay, dir.File("pages"));

  // Catalogue name holds pictures 1 to count at addresses of its own; returns its link.
  const auto servePage = [&](const std::string& name, int count,
                             const std::function<std::string(int)>& picture) {
    testkit::WriteFileBytes(dir.File("pages/" + name + ".htm"),
                            testkit::CataloguePage(name, testkit::NumberedCells(count, picture)));
    return h2.Url("/pages/" + name + ".htm");
  };
  const auto pictureOf = [&](int catalogue, int n) {
    return h2.Url("/p/c" + std::to_string(catalogue) + "/" + std::to_string(n) + ".jpg");
  };
  std::vector<std::string> links;
  for (int k = 0; k < kCatalogues; ++k) {
    links.push_back(servePage(PageName('c', k), kPictures, [&](int n) { return pictureOf(k, n); }));
  }
  const std::string all = servePage("all", kCatalogues * kPictures, [&](int n) {
    return pictureOf((n - 1) / kPictures, (n - 1) % kPictures + 1);
  });

  // The collection first, on a fresh server, so that the server's count is its connections.
  const testkit::ProcessResult collection =
      RunCli(dir.File("collection"), {"--list", WriteList(dir, "links.txt", links)}, kCatalogues);
  const int connections = h2.Counts().sessions;
  const testkit::ProcessResult one = RunCli(dir.File("one"), {all}, 1);
  double separate = 0;
  for (const std::string& link : links) separate += RunCli(dir.File("separate"), {link}, 1).seconds;

  std::printf("%d catalogues of %d pictures over HTTP/2, %lld ms per answer:\n", kCatalogues,
              kPictures, static_cast<long long>(kDelay.count()));
  std::printf(
      "  one collection run %.2f s over %d connections, one catalogue of %d pictures "
      "%.2f s, %d separate runs %.2f s\n",
      collection.seconds, connections, kCatalogues * kPictures, one.seconds, kCatalogues, separate);
  bool met = true;
  met &= bench::Report("collection time / one catalogue of its pictures",
                       collection.seconds / one.seconds, "<=", 1.3);
  std::printf("  %-56s %9.2f\n", "collection time / separate runs", collection.seconds / separate);

  std::vector<std::string> memoryLinks;
  int largest = 0;
  for (int k = 0; k < kMemoryCatalogues; ++k) {
    memoryLinks.push_back(servePage(PageName('m', k), MemoryCatalogueSize(k),
                                    [&](int n) { return pictureOf(100 + k, n); }));
    if (MemoryCatalogueSize(k) > MemoryCatalogueSize(largest)) largest = k;
  }
  const long collectionKb = LowerPeakKb(
      dir.File("memory"), {"--list", WriteList(dir, "memory.txt", memoryLinks)}, kMemoryCatalogues);
  const long largestKb = LowerPeakKb(dir.File("largest"), {memoryLinks[largest]}, 1);
  std::printf("peak memory: %d catalogues of 30 to %d pictures %ld KB, the largest alone %ld KB\n",
              kMemoryCatalogues, MemoryCatalogueSize(largest), collectionKb, largestKb);
  met &= bench::Report("peak memory, collection / its largest catalogue",
                       double(collectionKb) / largestKb, "<=", 1.1);
  return met;
}

}  // namespace
}  // namespace picsheet

int main() {
  try {
    return picsheet::Measure() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
}
