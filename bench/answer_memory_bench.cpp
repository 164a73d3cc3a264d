// Peak memory of picsheet-cli for twelve 300 MB picture answers with the default pool: the
// download window is bounded in bytes, so the peak stays near three answers (the one being
// saved, the next one arriving, the 256 MiB ahead) instead of growing with the connections.
// Exits 1 when the target is missed.
//
// Target: peak resident memory <= 3.5 x one answer.
#include <cstdio>
#include <cstring>
#include <string>

#include "bench/bench_jpeg.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace {

constexpr int kAnswers = 12;
constexpr std::size_t kAnswerBytes = std::size_t{300} * 1000 * 1000;

}  // namespace

int main() {
  using namespace picsheet;
  // A real JPEG, then zeros up to 300 MB: read as a picture, saved byte for byte.
  const std::string head = bench::MakePhotoLikeJpeg(64, 48, false, 90);
  static char zeros[1 << 20];
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(16); };
    s.Get(R"(/big/(\d+)\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content_provider(
          kAnswerBytes, "image/jpeg",
          [&](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (offset < head.size()) return sink.write(head.data() + offset, head.size() - offset);
            return sink.write(zeros, std::min(length, sizeof zeros));
          });
    });
  });
  std::string page = "<html><center><font size=3><b>Big</b></font><br><table><tr>";
  for (int n = 1; n <= kAnswers; ++n) {
    page += "<td><center>" + std::to_string(n) + "<br><img src=\"" +
            server.Url("/big/" + std::to_string(n) + ".jpg") + "\" width=100></center></td>";
  }
  page += "</tr></table></html>";
  testkit::TempDir dir;
  testkit::WriteFileBytes(dir.File("big.htm"), page);

  const testkit::ProcessResult run =
      testkit::RunProcess(PICSHEET_CLI, {"--output-dir", dir.path(), "--session", "big",
                                         "--orientation", "none", dir.File("big.htm")});
  if (run.exitCode != 0) {
    std::fprintf(stderr, "picsheet-cli failed: %s\n", run.err.c_str());
    return 2;
  }
  const double answers = static_cast<double>(run.peakKb) * 1024 / kAnswerBytes;
  std::printf(
      "%d answers of %zu MB in %.1f s: peak memory %ld KB = %.2f answers (target <= 3.5) %s\n",
      kAnswers, kAnswerBytes / 1000000, run.seconds, run.peakKb, answers,
      answers <= 3.5 ? "met" : "MISSED");
  return answers <= 3.5 ? 0 : 1;
}
