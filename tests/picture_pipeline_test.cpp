// Picture work ahead of the converter: the same page, files and error as one picture at a time,
// work bounded by its window, stopped by cancellation and by destruction.
#include "app/core/picture_pipeline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "app/core/error_message.h"
#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::JpegKind;
using testkit::MakeQuadrantJpeg;

class TranscriptView final : public RunView {
 public:
  void ClearLines() override { transcript += "clear\n"; }
  void AppendLine(std::string_view line) override { transcript += std::string(line) + "\n"; }
  void SetStatus(std::string_view status) override {
    transcript += "status " + std::string(status) + "\n";
  }
  void PictureProgress(int saved, int total) override {
    transcript += "saved " + std::to_string(saved) + "/" + std::to_string(total) + "\n";
  }
  std::string transcript;
};

// A frame header claiming 65500 x 65000 pixels: refused as "Out of memory" when it is turned.
std::string HugeLandscape() {
  std::string huge = MakeQuadrantJpeg(16, 16, JpegKind::kBaseline);
  const char size[] = {'\xFD', '\xE8', '\xFF', '\xDC'};
  huge.replace(huge.find("\xFF\xC0") + 5, 4, size, 4);
  return huge;
}

struct Outcome {
  std::string transcript;
  std::map<std::string, std::string> files;
  std::string error;
  std::string detail;
};

Outcome RunPage(const std::string& source, int jobs, int threads) {
  testkit::TempDir out;
  RunRequest request;
  request.source = source;
  request.saveName = "run";
  request.programFolder = out.path() + "/";
  request.jobs = jobs;
  request.threads = threads;
  RunState state;
  TranscriptView view;
  Outcome outcome;
  try {
    RunConversion(request, state, view);
  } catch (const Error& e) {
    outcome.error = e.what();
    outcome.detail = DescribeFailure(e);
  }
  outcome.transcript = view.transcript;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path())) {
    if (entry.is_regular_file()) {
      outcome.files[entry.path().filename().string()] =
          testkit::ReadFileBytes(entry.path().string());
    }
  }
  return outcome;
}

TEST(PicturePipelineTest, MoreThreadsChangeNoByteAndNoErrorOfTheRun) {
  // A held-back wrapper, turned and unturned, baseline, progressive, grayscale and CMYK pictures,
  // an empty body once the height is fixed, and one failing picture in the middle: a body that is
  // no JPEG (failing at its header) or a header too big to turn (failing in a worker's turn).
  const std::map<std::string, std::string> bodies = {
      {"land", MakeQuadrantJpeg(96, 64, JpegKind::kBaseline)},
      {"tall", MakeQuadrantJpeg(64, 96, JpegKind::kBaseline)},
      {"steps", MakeQuadrantJpeg(120, 48, JpegKind::kProgressive)},
      {"gray", MakeQuadrantJpeg(80, 40, JpegKind::kGrayscale)},
      {"inks", MakeQuadrantJpeg(72, 40, JpegKind::kCmyk)},
      {"square", MakeQuadrantJpeg(50, 50, JpegKind::kProgressive)},
      {"empty", ""},
      {"html", "<html>gone</html>"},
      {"huge", HugeLandscape()}};
  std::string page;
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/p/\d+/(\w+))", [&](const httplib::Request& req, httplib::Response& res) {
      res.set_content(bodies.at(req.matches[1].str()), "image/jpeg");
    });
    s.Get("/page.htm", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(page, "text/html");
    });
  });
  const char* const kinds[] = {"land", "tall", "steps", "gray", "inks", "square"};
  for (const std::string failing : {"", "html", "huge"}) {
    page = "<center><font size=3><b>Mixed</b></font><br><table><tr>";
    for (int i = 1; i <= 30; ++i) {
      const std::string kind = i == 9                        ? "empty"
                               : i == 17 && !failing.empty() ? failing
                                                             : kinds[i % 6];
      page += "<td><center>" + std::to_string(i == 5 ? 0 : i) + "<br><img src=\"" +
              server.Url("/p/" + std::to_string(i) + "/" + kind) + "\" alt=x></center></td>";
    }
    page += "</tr></table>";
    const Outcome oneAtATime = RunPage(server.Url("/page.htm"), 1, 1);
    for (const auto& [jobs, threads] : {std::pair{1, 4}, std::pair{6, 4}, std::pair{6, 2}}) {
      const Outcome ahead = RunPage(server.Url("/page.htm"), jobs, threads);
      EXPECT_EQ(ahead.error, oneAtATime.error) << failing << " " << jobs << "/" << threads;
      EXPECT_EQ(ahead.detail, oneAtATime.detail) << failing;
      EXPECT_EQ(ahead.transcript, oneAtATime.transcript) << failing;
      EXPECT_EQ(ahead.files, oneAtATime.files) << failing;
    }
    if (failing.empty()) {
      EXPECT_EQ(oneAtATime.files.size(), 31u) << "29 pictures, one empty file, the page";
    } else {
      EXPECT_EQ(oneAtATime.files.size(), 16u) << "the pictures before the failing one, no page";
      EXPECT_NE(oneAtATime.detail.find("/p/17/" + failing), std::string::npos);
    }
  }
}

// A body source that records which thread asked for each body.
struct RecordingBodies {
  MemoryStream operator()(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex);
    askedBy[url] = std::this_thread::get_id();
    return MemoryStream(MakeQuadrantJpeg(300, 200, JpegKind::kProgressive));
  }
  std::size_t Asked() {
    std::lock_guard<std::mutex> lock(mutex);
    return askedBy.size();
  }
  std::mutex mutex;
  std::map<std::string, std::thread::id> askedBy;
};

std::vector<std::string> Addresses(int count) {
  std::vector<std::string> addresses;
  for (int i = 0; i < count; ++i) addresses.push_back("http://127.0.0.1:9/" + std::to_string(i));
  return addresses;
}

void WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 400 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TEST(PicturePipelineTest, WorkStaysWithinTheWindowAndEndsWithThePipeline) {
  RecordingBodies bodies;
  const std::vector<std::string> addresses = Addresses(40);
  {
    PicturePipeline pipeline(addresses, 2, 90, 3, std::ref(bodies), FetchOptions{});
    WaitUntil([&] { return bodies.Asked() >= 6; });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(bodies.Asked(), 6u) << "2 x 3 pictures ahead of a converter that took none";
    for (int i = 0; i < 3; ++i) {
      const PreparedPicture picture = pipeline.Take(addresses[i], 2, 90);
      EXPECT_EQ(testkit::DecodeJpeg(picture.bytes).width, 200) << "turned";
    }
    // Destroyed with pictures under way: the workers finish their step and are joined.
  }
  EXPECT_LE(bodies.Asked(), 9u);
}

TEST(PicturePipelineTest, ACancelledRunStartsNoFurtherWorkAndStopsEveryTurn) {
  RecordingBodies bodies;
  const std::vector<std::string> addresses = Addresses(20);
  std::atomic<bool> cancelled{false};
  FetchOptions options;
  options.cancelled = &cancelled;
  PicturePipeline pipeline(addresses, 2, -90, 2, std::ref(bodies), options);
  WaitUntil([&] { return bodies.Asked() >= 4; });
  cancelled = true;
  const auto messageOf = [](const std::exception_ptr& failure) -> std::string {
    try {
      std::rethrow_exception(failure);
    } catch (const Error& e) {
      return e.what();
    }
  };
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const PreparedPicture picture = pipeline.Take(addresses[i], 2, -90);
    // Every turn or encoding under way when the flag came, or begun after it, stops as the run
    // does.
    const std::exception_ptr failure =
        picture.turnFailure ? picture.turnFailure : picture.encodeFailure;
    if (failure) {
      EXPECT_EQ(messageOf(failure), "Interrupted") << i;
    } else {
      EXPECT_LT(i, 4u) << "only the workers' pictures may have been turned whole";
      EXPECT_EQ(testkit::DecodeJpeg(picture.bytes).height, 300) << i;
    }
  }
  // The workers had started the first 2 x 2 before the flag came; everything later was done on
  // this thread.
  for (std::size_t i = 4; i < addresses.size(); ++i) {
    EXPECT_EQ(bodies.askedBy[addresses[i]], std::this_thread::get_id()) << i;
  }
}

TEST(PicturePipelineTest, AnAddressOffThePlanIsFetchedOnTheSpotAndLeavesThePlanInOrder) {
  const std::string portrait = MakeQuadrantJpeg(30, 40, JpegKind::kBaseline);
  testkit::LoopbackServer server([&](httplib::Server& s) {
    s.Get("/extra.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(portrait, "image/jpeg");
    });
  });
  RecordingBodies bodies;
  const std::vector<std::string> addresses = Addresses(3);
  PicturePipeline pipeline(addresses, 2, 90, 2, std::ref(bodies), FetchOptions{});
  EXPECT_EQ(pipeline.Take(server.Url("/extra.jpg"), 2, 90).bytes, portrait);
  for (const std::string& address : addresses) {
    EXPECT_EQ(testkit::DecodeJpeg(pipeline.Take(address, 2, 90).bytes).width, 200);
  }
  EXPECT_EQ(bodies.Asked(), 3u);
}

}  // namespace
}  // namespace picsheet
