// Prepares a run's pictures (header, turn decision, decode, turn, encode) on worker threads ahead
// of the converter, which takes them in page order and does all the saving itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/http_client.h"
#include "base/memory_stream.h"
#include "images/picture_work.h"

namespace picsheet {

// Worker threads for picture work when nothing else is asked: one per core this process may
// run on, at most 64.
int DefaultPictureThreads();

// Gives the body at an address. The pipeline calls it for the planned addresses in plan order, one
// call at a time (never two at once, from whichever worker's turn it is), so a prefetcher's Take
// or a single HTTP client can serve it.
using BodySource = std::function<MemoryStream(const std::string& url)>;

// Prepares the planned pictures on `threads` workers, at most 2 x threads pictures ahead of the
// one the converter takes, and hands them out in plan order. Work stops early when the run's
// cancel flag (offPlanFetch.cancelled) turns true: no new picture is started, and the converter
// does what is left of a picture it still takes. It stops too when the pipeline is destroyed.
// Take is for one thread, the converter's.
class PicturePipeline {
 public:
  // orientation and rotationAngle are the run's; offPlanFetch sets up the client that serves an
  // address the plan did not foresee, and carries the run's cancel flag.
  PicturePipeline(std::vector<std::string> addresses, std::int32_t orientation,
                  std::int32_t rotationAngle, int threads, BodySource bodies,
                  FetchOptions offPlanFetch);
  // Lets the pictures under way finish their current step, drops the rest and joins the workers.
  ~PicturePipeline();
  PicturePipeline(const PicturePipeline&) = delete;
  PicturePipeline& operator=(const PicturePipeline&) = delete;

  // The next planned picture when url is its address, waiting for it if need be (or preparing it
  // here when no worker has started it); any other address, or other orientation or angle, is
  // fetched and prepared on the spot. Rethrows the error its download or header reading ended
  // with, as the same exception object.
  PreparedPicture Take(const std::string& url, std::int32_t orientation,
                       std::int32_t rotationAngle);

 private:
  struct Slot {
    bool done = false;
    MemoryStream body;      // kept unprepared when the work was cut short
    std::size_t bytes = 0;  // the body's size, counted in heldBytes_ until the slot is taken
    std::optional<PreparedPicture> prepared;
    std::exception_ptr error;
  };

  void Work();
  bool Cancelled() const;
  // Fetches planned picture index in its turn; the caller holds lock, which is released meanwhile.
  void FetchInTurn(std::size_t index, std::unique_lock<std::mutex>& lock, Slot& result);
  void Prepare(Slot& slot) const;

  const std::vector<std::string> addresses_;
  const std::int32_t orientation_;
  const std::int32_t rotationAngle_;
  const std::size_t window_;
  const BodySource bodies_;
  const FetchOptions offPlanFetch_;
  std::unique_ptr<HttpClient> offPlanClient_;  // made at the first address off the plan
  std::vector<Slot> slots_;
  std::size_t nextToStart_ = 0;  // the first picture no one has started
  std::size_t nextToFetch_ = 0;  // the picture whose download is next in turn
  std::size_t nextToTake_ = 0;   // the picture the converter takes next
  // Bodies fetched and not yet taken. Past the budget no further picture is started, but the
  // one the converter takes next, so that large answers do not pile up once per worker.
  static constexpr std::size_t kAheadBudget = std::size_t{256} << 20;
  std::size_t heldBytes_ = 0;
  std::mutex mutex_;
  std::condition_variable startable_;  // the window moved, or the pipeline stops
  std::condition_variable fetchTurn_;  // a download finished, so the next one may begin
  std::condition_variable finished_;   // a picture is ready
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace picsheet
