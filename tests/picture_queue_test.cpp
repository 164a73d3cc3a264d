// The pictures of a run ahead of the converter: the same page, files and error as one picture at
// a time, within one memory budget, stopped at once.
#include "app/core/picture_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "convert/sheet_layout.h"
#include "tests/testkit/catalogue_page.h"
#include "tests/testkit/folder_contents.h"
#include "tests/testkit/folder_run.h"
#include "tests/testkit/jpeg_maker.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::Cell;
using testkit::JpegKind;
using testkit::LoopbackServer;
using testkit::MakeQuadrantJpeg;
using testkit::PathExists;
using testkit::ReadFileBytes;
using testkit::TempDir;

const std::string kPictures = std::string(PICSHEET_EXAMPLES) + "/pictures/";
const char* const kPictureNames[] = {"wrapper.jpg", "p1.jpg", "p2a.jpg", "p2b.jpg",
                                     "p4.jpg",      "p5.jpg", "p6.jpg",  "p7.jpg"};

// Serves the sample pictures, counting the GETs per path; some paths can be made to fail.
class PictureServer {
 public:
  // narrow: one server thread, and every connection closed after one answer.
  explicit PictureServer(bool narrow = false)
      : server_([this, narrow](httplib::Server& s) {
          if (narrow) {
            s.new_task_queue = [] { return new httplib::ThreadPool(1); };
            s.set_keep_alive_max_count(1);
          }
          s.Get(R"(/p/(\d+)/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
            {
              std::lock_guard<std::mutex> lock(mutex_);
              ++gets_[req.path];
            }
            if (req.matches[2].str() == "broken.jpg") {
              res.set_content("<html>gone</html>", "text/html");
              return;
            }
            res.set_content(ReadFileBytes(kPictures + req.matches[2].str()), "image/jpeg");
          });
          s.Get("/page.htm", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(page, "text/html");
          });
        }) {}

  // A distinct address per picture (the serial keeps the addresses apart), or a repeated one.
  std::string Address(int serial, const std::string& name) const {
    return server_.Url("/p/" + std::to_string(serial) + "/" + name);
  }
  std::string PageUrl() const { return server_.Url("/page.htm"); }
  int Gets(const std::string& address) {
    std::lock_guard<std::mutex> lock(mutex_);
    return gets_[address.substr(address.find("/p/"))];
  }
  int TotalGets() {
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& [path, count] : gets_) total += count;
    return total;
  }

  std::string page;

 private:
  std::mutex mutex_;
  std::map<std::string, int> gets_;
  LoopbackServer server_;
};

// A catalogue of count pictures with repeats, gaps, wrappers and addresses used twice.
std::string GeneratedCatalogue(PictureServer& server, int count, unsigned seed) {
  std::mt19937 random(seed);
  std::string cells;
  int number = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned roll = random() % 10;
    if (roll == 0) {
      cells += Cell("0", server.Address(i, "wrapper.jpg"));
      continue;
    }
    if (roll > 2) number += 1 + static_cast<int>(random() % 3);
    const int serial = roll == 9 ? 0 : i;  // now and then an address seen before
    cells += Cell(std::to_string(number), server.Address(serial, kPictureNames[random() % 8]));
  }
  return testkit::CataloguePage("Generated", cells);
}

struct RunOutcome {
  std::string transcript;
  std::map<std::string, std::string> files;
  std::string error;
  std::string detail;
};

RunOutcome RunPage(const std::string& source, int jobs, const CatalogueOptions& options = {}) {
  TempDir out;
  RunRequest request = testkit::FolderRequest(source, out.path());
  request.options = options;
  request.jobs = jobs;
  const testkit::FolderRun run = testkit::RunInFolder(request);
  return {run.view.transcript, testkit::FolderContents(out.path()), run.error, run.detail};
}

TEST(PictureQueueTest, DownloadsAheadChangeNoByteOfTheResult) {
  PictureServer server;
  for (unsigned seed : {1u, 2u, 3u}) {
    server.page = GeneratedCatalogue(server, 60, seed);
    CatalogueOptions options;
    options.cellsPerRow = 2 + static_cast<int>(seed) * 3;
    options.skipRepeats = seed == 2;
    options.orientation = static_cast<Orientation>(seed % 3);
    const RunOutcome oneByOne = RunPage(server.PageUrl(), 1, options);
    const RunOutcome ahead = RunPage(server.PageUrl(), 6, options);
    ASSERT_EQ(oneByOne.error, "") << seed;
    EXPECT_EQ(ahead.error, "") << seed;
    EXPECT_EQ(ahead.transcript, oneByOne.transcript) << seed;
    EXPECT_EQ(ahead.files, oneByOne.files) << seed;
    EXPECT_GT(oneByOne.files.size(), 10u);
  }
}

TEST(PictureQueueTest, TheFirstFailingPictureInPageOrderEndsTheRun) {
  PictureServer server;
  server.page = testkit::CataloguePage("T", testkit::NumberedCells(30, [&](int n) {
                                         return server.Address(
                                             n, n == 12 || n == 20 ? "broken.jpg" : "p1.jpg");
                                       }));
  const RunOutcome oneByOne = RunPage(server.PageUrl(), 1);
  const RunOutcome ahead = RunPage(server.PageUrl(), 6);
  EXPECT_EQ(oneByOne.error.rfind("JPEG error #", 0), 0u);
  EXPECT_EQ(ahead.error, oneByOne.error);
  EXPECT_EQ(ahead.transcript, oneByOne.transcript);
  EXPECT_EQ(ahead.files, oneByOne.files);
  EXPECT_EQ(ahead.files.size(), 11u) << "pictures 1 to 11 saved, none after, no page";
  EXPECT_EQ(ahead.files.count("run.html"), 0u);
}

TEST(PictureQueueTest, EveryKeptPictureIsOneGetEvenWhenItsAddressRepeats) {
  PictureServer server;
  const std::string same = server.Address(7, "p2b.jpg");
  server.page =
      testkit::CataloguePage("T", Cell("1", same) + Cell("2", same) +
                                      Cell("3", server.Address(8, "p4.jpg")) + Cell("3", same));
  CatalogueOptions skipping;
  skipping.skipRepeats = true;  // the second picture of 3 is not kept, so not fetched
  const RunOutcome outcome = RunPage(server.PageUrl(), 6, skipping);
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(server.Gets(same), 2);
  EXPECT_EQ(server.TotalGets(), 3);
}

TEST(PictureQueueTest, TheSheetHoldsTheAddressesTheRunFetches) {
  const std::string page = testkit::CataloguePage(
      "T", Cell("0", "w") + Cell("1", "a") + Cell("1", "b") + Cell("3", "c"));
  const auto planned = [&page](const CatalogueOptions& options) {
    std::vector<std::string> addresses;
    for (const PictureSlot& slot : LayOutSheet(page, options).pictures) {
      addresses.push_back(slot.address);
    }
    return addresses;
  };
  CatalogueOptions options;
  EXPECT_EQ(planned(options), (std::vector<std::string>{"w", "a", "b", "c"}));
  options.skipRepeats = true;
  EXPECT_EQ(planned(options), (std::vector<std::string>{"w", "a", "c"}));
}

TEST(PictureQueueTest, AServerThatLimitsConnectionsStillGetsEveryPicture) {
  PictureServer server(/*narrow=*/true);
  server.page = GeneratedCatalogue(server, 40, 9);
  const RunOutcome oneByOne = RunPage(server.PageUrl(), 1);
  const RunOutcome ahead = RunPage(server.PageUrl(), 6);
  EXPECT_EQ(oneByOne.error, "");
  EXPECT_EQ(ahead.transcript, oneByOne.transcript);
  EXPECT_EQ(ahead.files, oneByOne.files);
}

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

RunOutcome RunThreaded(const std::string& source, int jobs, int threads) {
  TempDir out;
  RunRequest request = testkit::FolderRequest(source, out.path());
  request.jobs = jobs;
  request.threads = threads;
  TranscriptView view;
  const testkit::FolderRun run = testkit::RunInFolder(request, &view);
  return {view.transcript, testkit::FolderContents(out.path()), run.error, run.detail};
}

TEST(PictureQueueTest, MoreThreadsChangeNoByteAndNoErrorOfTheRun) {
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
    std::string cells;
    for (int i = 1; i <= 30; ++i) {
      const std::string kind = i == 9                        ? "empty"
                               : i == 17 && !failing.empty() ? failing
                                                             : kinds[i % 6];
      cells +=
          Cell(std::to_string(i == 5 ? 0 : i), server.Url("/p/" + std::to_string(i) + "/" + kind));
    }
    page = testkit::CataloguePage("Mixed", cells);
    const RunOutcome oneAtATime = RunThreaded(server.Url("/page.htm"), 1, 1);
    for (const auto& [jobs, threads] : {std::pair{1, 4}, std::pair{6, 4}, std::pair{6, 2}}) {
      const RunOutcome ahead = RunThreaded(server.Url("/page.htm"), jobs, threads);
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

// The pictures' addresses are absolute, so any web page serves as their base.
const AddressResolver kWebPage = AddressResolver::ForWebPage("http://127.0.0.1/list.htm");

// A real JPEG followed by padding up to size bytes: read as a picture, kept byte for byte.
std::string PaddedJpeg(std::size_t size, char fill) {
  std::string picture = MakeQuadrantJpeg(32, 24, JpegKind::kBaseline);
  picture.resize(size, fill);
  return picture;
}

std::unique_ptr<PictureQueue> Queue(const std::vector<std::string>& addresses, std::size_t budget,
                                    int threads, std::stop_token stop = {}) {
  PictureQueueSettings settings;
  settings.orientation = 0;
  settings.threads = threads;
  settings.budgetBytes = budget;
  return std::make_unique<PictureQueue>(addresses, kWebPage, settings,
                                        std::make_unique<TransferEngine>(3), stop);
}

// Serves /big/N: PaddedJpeg of size bytes, padded with the digit N.
class PaddedPictureServer {
 public:
  explicit PaddedPictureServer(std::size_t size)
      : server_([size](httplib::Server& s) {
          s.Get(R"(/big/(\d+))", [size](const httplib::Request& req, httplib::Response& res) {
            res.set_content(PaddedJpeg(size, req.matches[1].str()[0]), "image/jpeg");
          });
        }) {}
  // The addresses of pictures 0 to count - 1.
  std::vector<std::string> Addresses(int count) const {
    std::vector<std::string> addresses;
    for (int i = 0; i < count; ++i) addresses.push_back(server_.Url("/big/" + std::to_string(i)));
    return addresses;
  }

 private:
  LoopbackServer server_;
};

TEST(PictureQueueTest, OneBudgetHoldsEveryBodyAndLargerOnesStillArriveInOrder) {
  constexpr std::size_t kBody = std::size_t{4} << 20;
  const PaddedPictureServer server(kBody);
  const std::vector<std::string> addresses = server.Addresses(8);
  // A budget smaller than one body, and one of a few bodies; workers and downloads both ahead.
  for (const std::size_t budget : {std::size_t{1} << 20, 3 * kBody}) {
    const auto queue = Queue(addresses, budget, 2);
    for (int i = 0; i < 8; ++i) {
      // A slow converter: everything that may run ahead does.
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      EXPECT_EQ(queue->Take(static_cast<std::size_t>(i)).bytes,
                PaddedJpeg(kBody, static_cast<char>('0' + i)));
    }
    // Only the picture the converter waits for may pass the budget.
    EXPECT_LE(queue->PeakBytesHeld(), budget + kBody) << budget;
  }
}

TEST(PictureQueueTest, AStopEndsTheDownloadsAndTheTakeAtOnce) {
  const std::string picture = MakeQuadrantJpeg(32, 24, JpegKind::kBaseline);
  std::atomic<bool> released{false};
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/fast.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(picture, "image/jpeg");
    });
    s.Get("/never.jpg", [&](const httplib::Request&, httplib::Response& res) {
      while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      res.set_content(picture, "image/jpeg");
    });
  });
  const std::vector<std::string> addresses = {server.Url("/fast.jpg"), server.Url("/never.jpg"),
                                              server.Url("/never.jpg")};
  for (const int threads : {1, 3}) {
    std::stop_source stop;
    const auto start = std::chrono::steady_clock::now();
    {
      const auto queue = Queue(addresses, std::size_t{1} << 20, threads, stop.get_token());
      EXPECT_EQ(queue->Take(0).bytes, picture);
      std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.request_stop();
      });
      try {
        queue->Take(1);
        ADD_FAILURE() << "a picture that never came was taken";
      } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::kInterrupted) << e.what();
      }
      stopper.join();
    }
    // The server never answers: only the stop can have ended the downloads.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << threads;
  }
  released = true;
}

TEST(PictureQueueTest, PicturesAreTakenByTheirPlaceInOrderAnAddressTwiceIncluded) {
  const std::string portrait = MakeQuadrantJpeg(30, 40, JpegKind::kBaseline);
  const std::string landscape = MakeQuadrantJpeg(300, 200, JpegKind::kProgressive);
  LoopbackServer server([&](httplib::Server& s) {
    s.Get("/extra.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(portrait, "image/jpeg");
    });
    s.Get(R"(/plan/\d+)", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(landscape, "image/jpeg");
    });
  });
  const std::vector<std::string> addresses = {server.Url("/plan/0"), server.Url("/extra.jpg"),
                                              server.Url("/plan/1"), server.Url("/extra.jpg")};
  PictureQueueSettings settings;
  settings.threads = 2;
  PictureQueue queue(addresses, kWebPage, settings, std::make_unique<TransferEngine>(2), {});
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::string taken = queue.Take(i).bytes;
    if (i % 2 == 1) {
      EXPECT_EQ(taken, portrait) << i;
    } else {
      EXPECT_EQ(testkit::DecodeJpeg(taken).width, 200) << "turned";
    }
  }
  EXPECT_THROW(queue.Take(1), std::logic_error) << "taken twice";
}

TEST(PictureQueueTest, AFailedRunEndsAtOnceWhateverTheOtherTransfersDo) {
  // Picture 1 keeps the converter busy with a turn while the downloads run ahead; picture 2 is an
  // error page; the rest never come (until the test ends).
  const std::string landscape = testkit::MakeFlatJpeg(2400, 1600);
  std::atomic<bool> released{false};
  LoopbackServer server([&](httplib::Server& s) {
    s.new_task_queue = [] { return new httplib::ThreadPool(64); };
    s.Get("/p/1.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.set_content(landscape, "image/jpeg");
    });
    s.Get("/p/2.jpg", [&](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("<html>not found</html>", "text/html");
    });
    s.Get(R"(/p/\d+\.jpg)", [&](const httplib::Request&, httplib::Response& res) {
      for (int i = 0; i < 600 && !released; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      res.set_content(landscape, "image/jpeg");
    });
  });
  TempDir folder;
  testkit::WriteFileBytes(
      folder.File("list.htm"),
      testkit::CataloguePage("T", testkit::NumberedCells(6, [&](int n) {
                               return server.Url("/p/" + std::to_string(n) + ".jpg");
                             })));
  for (const auto& [jobs, threads] :
       {std::pair{1, 1}, std::pair{6, DefaultPictureThreads()}, std::pair{6, 4}}) {
    TempDir out;
    RunRequest request = testkit::FolderRequest(folder.File("list.htm"), out.path(), "");
    request.jobs = jobs;
    request.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(testkit::RunInFolder(request).error, "JPEG error #53")
        << "an error page was taken for a picture, " << jobs << "/" << threads;
    // The silent pictures would hold a run that waits for them for 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10))
        << jobs << "/" << threads;
  }
  released = true;
}

TEST(PictureQueueTest, ADownloadPausedForTheBudgetIsNotAStalledOne) {
  constexpr std::size_t kBody = std::size_t{2} << 20;
  const PaddedPictureServer server(kBody);
  const std::vector<std::string> addresses = server.Addresses(4);
  PictureQueueSettings settings;
  settings.orientation = 0;
  settings.budgetBytes = std::size_t{1} << 20;
  settings.fetch.stallTimeout = std::chrono::seconds(1);
  PictureQueue queue(addresses, kWebPage, settings, std::make_unique<TransferEngine>(4), {});
  // Longer than the stall time-out: the downloads behind the first wait, paused, all along.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(queue.Take(static_cast<std::size_t>(i)).bytes,
              PaddedJpeg(kBody, static_cast<char>('0' + i)));
  }
}

}  // namespace
}  // namespace picsheet
