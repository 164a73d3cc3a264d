// Faults and foreign input: slow and stalling servers, and number texts that would misplace or
// misname picture files. Each must end with a clear outcome, never a hang, a crash or a stray file.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/core/memory_budget.h"
#include "convert/catalogue.h"
#include "convert/source.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/process.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using std::chrono::milliseconds;
using testkit::LoopbackServer;
using testkit::PathExists;
using testkit::ProcessResult;
using testkit::TempDir;

// Serves body in chunks of chunkSize bytes, pausing before each; stops sending (and keeps the
// connection open until released) after stopAfter bytes.
void ServeDrip(httplib::Response& res, const std::string& body, std::size_t chunkSize,
               milliseconds pause, std::size_t stopAfter, const std::atomic<bool>& released) {
  res.set_chunked_content_provider(
      "image/jpeg", [=, &released](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= stopAfter) {
          while (!released) std::this_thread::sleep_for(milliseconds(20));
          sink.done();
          return true;
        }
        std::this_thread::sleep_for(pause);
        const std::size_t size = std::min(chunkSize, std::min(stopAfter, body.size()) - offset);
        sink.write(body.data() + offset, size);
        if (offset + size >= body.size()) sink.done();
        return true;
      });
}

TEST(NetworkFaults, ASlowDripArrivesWholeAndAStallEndsWithTheBytesSoFar) {
  const std::string body = testkit::MakeFlatJpeg(64, 64);
  std::atomic<bool> released{false};
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/drip", [&](const httplib::Request&, httplib::Response& res) {
      ServeDrip(res, body, body.size() / 8 + 1, milliseconds(400), body.size(), released);
    });
    s.Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
      ServeDrip(res, body, 100, milliseconds(0), 200, released);
    });
  });
  FetchOptions options;
  // A limit of whole seconds with room to spare: under a sanitizer on a busy machine the first
  // bytes may take most of a second to come.
  options.stallTimeout = std::chrono::seconds(3);
  // Eight pauses of 400 ms add up past the stall limit, but bytes keep coming: no time-out.
  EXPECT_EQ(std::move(FetchUrl(server.Url("/drip"), options)).TakeRemaining(), body);

  const auto start = std::chrono::steady_clock::now();
  const std::string partial = std::move(FetchUrl(server.Url("/stall"), options)).TakeRemaining();
  // libcurl judges the speed over its last five seconds, so a stall is noticed within about that
  // plus the stall limit: bounded, no hang.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(partial, body.substr(0, 200));
  released = true;
}

// Converts a served page whose cells carry the given number texts.
class HostileNumbers : public ::testing::Test {
 protected:
  HostileNumbers()
      : server_([this](httplib::Server& s) {
          s.Get("/p.jpg", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(picture_, "image/jpeg");
          });
          s.Get("/list.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page_, "text/html");
          });
        }) {}

  ProcessResult Convert(const std::vector<std::string>& numbers) {
    std::string cells;
    for (const std::string& number : numbers) cells += testkit::Cell(number, server_.Url("/p.jpg"));
    page_ = testkit::CataloguePage("T", cells);
    return testkit::RunProcess(
        PICSHEET_CLI, {"--session", "s", "--no-gap-cells", "--covers-in-place", "--output-dir",
                       out_.path(), server_.Url("/list.htm")});
  }

  std::string picture_ = testkit::MakeFlatJpeg(30, 40);
  std::string page_;
  LoopbackServer server_;
  TempDir out_;
};

TEST_F(HostileNumbers, SeparatorsAndZeroBytesStayInsideThePictureFolder) {
  const ProcessResult run = Convert({"../up", "a/b", "c\\d", std::string("e\0f", 3), "..", "/etc"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Each name is padded to 10 characters with "0"; "/", "\\" and NUL become "_".
  EXPECT_EQ(testkit::FolderNames(out_.File("s_images")),
            (std::vector<std::string>{"000.._up_1.jpg", "000000.._1.jpg", "00000a_b_1.jpg",
                                      "00000c_d_1.jpg", "00000e_f_1.jpg", "0000_etc_1.jpg"}));
  // Only the page and the picture folder were written into the output folder.
  EXPECT_EQ(testkit::FolderNames(out_.path()), (std::vector<std::string>{"s.html", "s_images"}));
  const std::string page = testkit::ReadFileBytes(out_.File("s.html"));
  EXPECT_NE(page.find("src=\"s_images\\000.._up_1.jpg\""), std::string::npos);
}

TEST_F(HostileNumbers, ANameTooLongForTheFileSystemIsAClearError) {
  const std::string longNumber(300, '7');
  const ProcessResult run = Convert({"1", longNumber});
  EXPECT_EQ(run.exitCode, 1);
  const std::string message = "error: Cannot create file \"" + out_.File("s_images/" + longNumber) +
                              "_1.jpg\". File name too long.\n";
  ASSERT_GE(run.err.size(), message.size());
  EXPECT_EQ(run.err.substr(run.err.size() - message.size()), message) << "the last line";
  EXPECT_TRUE(PathExists(out_.File("s_images/00000001_1.jpg")));
  EXPECT_FALSE(PathExists(out_.File("s.html")));
}

long PeakKb() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(HugePages, AHundredMegabytePageOfAMillionCellsConvertsInBoundedMemory) {
  TempDir dir;
  const std::string path = dir.File("huge.htm");
  {
    // Written in pieces, so that the test itself never holds the page before loading it.
    std::ofstream file(path, std::ios::binary);
    file << "<html><center><font size=3><b>Huge</b></font><br><table><tr>";
    const std::string padding(40, ' ');
    for (int n = 1; n <= 1'000'000; ++n) {
      file << "<td><center>" << n << "<br><img src=\"http://h/" << n << ".jpg\" width=100>"
           << padding << "</center></td>";
    }
    file << "</tr></table></html>";
  }
  ASSERT_GT(std::filesystem::file_size(path), 100u << 20);
  const long before = PeakKb();
  std::string pageText;
  LoadSource(path, pageText);
  testkit::CountingView view;
  testkit::FakeLocaliser localiser;
  localiser.recordCalls = false;
  ConvertCatalogue(view, localiser, CatalogueOptions{}, std::move(pageText));
  // Title and table head, a million cells, a row break after every tenth, the closing line.
  EXPECT_GT(view.lines, 2'000'000u);
  // The page is held at most twice (the loaded text and the converter's copy), never per cell.
  // The sanitizers' shadow memory (and AddressSanitizer's quarantine) inflate every figure, so
  // it is only measured in plain builds.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
  EXPECT_LT(PeakKb() - before, 3 * (110L << 10)) << "KB above the peak before loading";
#else
  (void)before;
#endif
}

// Address space limits do not mix with the sanitizers' shadow memory: plain builds only.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(HostileInputTest, APictureFileLargerThanMemoryEndsTheRunWithOutOfMemoryOnAnyThread) {
  // Files each within the run's picture limit, so that only the allocation can fail.
  constexpr std::size_t kFileBytes = std::size_t{512} << 20;
  if (CurrentMemoryLimits().pictureBytes < kFileBytes) {
    GTEST_SKIP() << "this machine's picture limit refuses the files before reading them";
  }
  TempDir out;
  const auto name = [](int n) { return "big" + std::to_string(n) + ".jpg"; };
  for (int n = 1; n <= 4; ++n) {
    std::ofstream(out.File(name(n)), std::ios::binary) << "\xFF\xD8";
    std::filesystem::resize_file(out.File(name(n)), kFileBytes);  // sparse: no disk taken
  }
  testkit::WriteFileBytes(out.File("list.htm"),
                          testkit::CataloguePage("T", testkit::NumberedCells(4, name)));
  for (const char* threads : {"1", "4"}) {
    const ProcessResult run = testkit::RunProcess(
        "/usr/bin/prlimit", {"--as=300000000", PICSHEET_CLI, "--threads", threads, "--output-dir",
                             out.path(), out.File("list.htm")});
    EXPECT_EQ(run.exitCode, 1) << threads << " threads: " << run.err;
    EXPECT_TRUE(run.err.ends_with("\nerror: Out of memory.\n")) << run.err;
  }
}

TEST(HostileInputTest, TurnsInAContainerOfLittleMemoryWaitForRoomAndGiveTheFilesOfOneThread) {
  // Progressive 12-megapixel pictures to turn: about 75 MB of raster and coefficients each, so
  // six at once do not fit in 300 MiB, one at a time does.
  TempDir out;
  testkit::WriteFileBytes(out.File("wide.jpg"),
                          testkit::MakeQuadrantJpeg(4000, 3000, testkit::JpegKind::kProgressive));
  std::string page = "<center><font size=3><b>T</b></font><br><table><tr>";
  for (int i = 1; i <= 6; ++i) {
    page += "<td><center>" + std::to_string(i) + "<br><img src=\"wide.jpg\" alt=x></center></td>";
  }
  testkit::WriteFileBytes(out.File("list.htm"), page + "</tr></table>");
  for (const char* threads : {"1", "6"}) {
    std::filesystem::create_directory(out.File(threads));
    const std::optional<ProcessResult> run = testkit::RunInMemoryContainer(
        std::uint64_t{300} << 20, PICSHEET_CLI,
        {"--threads", threads, "--output-dir", out.File(threads), out.File("list.htm")});
    if (!run) GTEST_SKIP() << "no memory control group can be made here (not root?)";
    EXPECT_EQ(run->exitCode, 0) << threads << " threads: " << run->err;
  }
  EXPECT_TRUE(testkit::SnapshotFolder(out.File("6")) == testkit::SnapshotFolder(out.File("1")));
}
#endif

}  // namespace
}  // namespace picsheet
