// Downloads ahead of the converter: same results as one by one, errors in page order, bounded.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "app/core/picture_plan.h"
#include "app/core/picture_prefetcher.h"
#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/catalogue_fakes.h"
#include "tests/testkit/loopback_server.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

using testkit::LoopbackServer;
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

std::string Cell(const std::string& number, const std::string& url) {
  return "<td><center>" + number + "<br><img src=\"" + url + "\" alt=x></center></td>";
}

// A catalogue of count pictures with repeats, gaps, wrappers and addresses used twice.
std::string GeneratedCatalogue(PictureServer& server, int count, unsigned seed) {
  std::mt19937 random(seed);
  std::string page = "<center><font size=3><b>Generated</b></font><br><table><tr>";
  int number = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned roll = random() % 10;
    if (roll == 0) {
      page += Cell("0", server.Address(i, "wrapper.jpg"));
      continue;
    }
    if (roll > 2) number += 1 + static_cast<int>(random() % 3);
    const int serial = roll == 9 ? 0 : i;  // now and then an address seen before
    page += Cell(std::to_string(number), server.Address(serial, kPictureNames[random() % 8]));
  }
  return page + "</tr></table>";
}

std::map<std::string, std::string> FolderContents(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) {
      files[std::filesystem::relative(entry.path(), folder).string()] =
          ReadFileBytes(entry.path().string());
    }
  }
  return files;
}

struct RunOutcome {
  std::string transcript;
  std::map<std::string, std::string> files;
  std::string error;
};

RunOutcome RunPage(const std::string& source, int jobs, const CatalogueOptions& options = {}) {
  TempDir out;
  RunRequest request;
  request.source = source;
  request.saveName = "run";
  request.programFolder = out.path() + "/";
  request.options = options;
  request.jobs = jobs;
  RunState state;
  testkit::RecordingView view;
  RunOutcome outcome;
  try {
    RunConversion(request, state, view);
  } catch (const Error& e) {
    outcome.error = e.what();
  }
  outcome.transcript = view.transcript;
  outcome.files = FolderContents(out.path());
  return outcome;
}

TEST(PrefetchTest, DownloadsAheadChangeNoByteOfTheResult) {
  PictureServer server;
  for (unsigned seed : {1u, 2u, 3u}) {
    server.page = GeneratedCatalogue(server, 60, seed);
    CatalogueOptions options;
    options.cellsPerRow = 2 + static_cast<int>(seed) * 3;
    options.skipRepeats = seed == 2;
    options.orientation = static_cast<std::int32_t>(seed % 3);
    const RunOutcome oneByOne = RunPage(server.PageUrl(), 1, options);
    const RunOutcome ahead = RunPage(server.PageUrl(), 6, options);
    ASSERT_EQ(oneByOne.error, "") << seed;
    EXPECT_EQ(ahead.error, "") << seed;
    EXPECT_EQ(ahead.transcript, oneByOne.transcript) << seed;
    EXPECT_EQ(ahead.files, oneByOne.files) << seed;
    EXPECT_GT(oneByOne.files.size(), 10u);
  }
}

TEST(PrefetchTest, TheFirstFailingPictureInPageOrderEndsTheRun) {
  PictureServer server;
  std::string page = "<center><font size=3><b>T</b></font><br>";
  for (int i = 1; i <= 30; ++i) {
    page +=
        Cell(std::to_string(i), server.Address(i, i == 12 || i == 20 ? "broken.jpg" : "p1.jpg"));
  }
  server.page = page;
  const RunOutcome oneByOne = RunPage(server.PageUrl(), 1);
  const RunOutcome ahead = RunPage(server.PageUrl(), 6);
  EXPECT_EQ(oneByOne.error.rfind("JPEG error #", 0), 0u);
  EXPECT_EQ(ahead.error, oneByOne.error);
  EXPECT_EQ(ahead.transcript, oneByOne.transcript);
  EXPECT_EQ(ahead.files, oneByOne.files);
  EXPECT_EQ(ahead.files.size(), 11u) << "pictures 1 to 11 saved, none after, no page";
  EXPECT_EQ(ahead.files.count("run.html"), 0u);
}

TEST(PrefetchTest, EveryKeptPictureIsOneGetEvenWhenItsAddressRepeats) {
  PictureServer server;
  const std::string same = server.Address(7, "p2b.jpg");
  server.page = "<center><font size=3><b>T</b></font><br>" + Cell("1", same) + Cell("2", same) +
                Cell("3", server.Address(8, "p4.jpg")) + Cell("3", same);
  CatalogueOptions skipping;
  skipping.skipRepeats = true;  // the second picture of 3 is not kept, so not fetched
  const RunOutcome outcome = RunPage(server.PageUrl(), 6, skipping);
  EXPECT_EQ(outcome.error, "");
  EXPECT_EQ(server.Gets(same), 2);
  EXPECT_EQ(server.TotalGets(), 3);
}

TEST(PrefetchTest, TheDryPassFindsTheAddressesTheRunFetches) {
  const std::string page = "<center><font size=3><b>T</b></font><br>" + Cell("0", "w") +
                           Cell("1", "a") + Cell("1", "b") + Cell("3", "c");
  CatalogueOptions options;
  EXPECT_EQ(PlanPictureAddresses(options, page), (std::vector<std::string>{"w", "a", "b", "c"}));
  options.skipRepeats = true;
  EXPECT_EQ(PlanPictureAddresses(options, page), (std::vector<std::string>{"w", "a", "c"}));
}

TEST(PrefetchTest, DownloadsStayWithinTheWindowAheadOfTheConsumer) {
  std::atomic<int> started{0};
  LoopbackServer server([&](httplib::Server& s) {
    s.Get(R"(/(\d+))", [&](const httplib::Request& req, httplib::Response& res) {
      ++started;
      res.set_content(req.matches[1].str(), "text/plain");
    });
  });
  std::vector<std::string> addresses;
  for (int i = 0; i < 40; ++i) addresses.push_back(server.Url("/" + std::to_string(i)));
  PicturePrefetcher prefetcher(addresses, 2, FetchOptions{});
  // Nothing taken yet: the workers stop at the window of 2 x 2 pictures.
  for (int i = 0; i < 200 && started < 4; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(started.load(), 4);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(std::move(prefetcher.Take(addresses[i])).TakeRemaining(), std::to_string(i));
  }
  EXPECT_EQ(started.load(), 40);
  // An address off the plan is fetched on the spot.
  EXPECT_EQ(std::move(prefetcher.Take(server.Url("/99"))).TakeRemaining(), "99");
}

TEST(PrefetchTest, AServerThatLimitsConnectionsStillGetsEveryPicture) {
  PictureServer server(/*narrow=*/true);
  server.page = GeneratedCatalogue(server, 40, 9);
  const RunOutcome oneByOne = RunPage(server.PageUrl(), 1);
  const RunOutcome ahead = RunPage(server.PageUrl(), 6);
  EXPECT_EQ(oneByOne.error, "");
  EXPECT_EQ(ahead.transcript, oneByOne.transcript);
  EXPECT_EQ(ahead.files, oneByOne.files);
}

TEST(PrefetchTest, BodiesLargerThanTheByteBudgetStillArriveWholeAndInOrder) {
  // Every body is four times the budget: only the next one to be taken may exceed it.
  LoopbackServer server([](httplib::Server& s) {
    s.Get(R"(/big/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content(std::string(4 << 20, req.matches[1].str()[0]), "image/jpeg");
    });
  });
  std::vector<std::string> addresses;
  for (int i = 0; i < 6; ++i) addresses.push_back(server.Url("/big/" + std::to_string(i)));
  PicturePrefetcher prefetcher(addresses, 3, FetchOptions{}, std::size_t{1} << 20);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(std::move(prefetcher.Take(addresses[i])).TakeRemaining(),
              std::string(4 << 20, static_cast<char>('0' + i)));
  }
}

}  // namespace
}  // namespace picsheet
