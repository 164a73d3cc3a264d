// Downloads a run's pictures ahead of the converter on a few kept-alive connections.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/http_client.h"
#include "base/memory_stream.h"

namespace picsheet {

// Fetches the planned addresses in order on `connections` worker threads, each with its own
// HTTP client (so its connection stays alive from picture to picture), and hands the bodies out
// in the same order. Ahead of the one being taken there are at most 2 x connections pictures and
// at most aheadBudgetBytes of body bytes, downloaded or downloading; the next picture to be taken
// is always let through, so a body larger than the budget still arrives.
class PicturePrefetcher {
 public:
  static constexpr std::size_t kDefaultAheadBudget = std::size_t{256} << 20;

  // options.cancelled (the caller's flag) stays in force beside the prefetcher's own; either one
  // ends every transfer. Throws std::system_error when no worker thread can be started.
  PicturePrefetcher(std::vector<std::string> addresses, int connections, FetchOptions options,
                    std::size_t aheadBudgetBytes = kDefaultAheadBudget);
  // Stops the transfers still under way and waits for the workers.
  ~PicturePrefetcher();
  PicturePrefetcher(const PicturePrefetcher&) = delete;
  PicturePrefetcher& operator=(const PicturePrefetcher&) = delete;

  // The body of the next planned picture, waiting for it if need be; rethrows the error its
  // download ended with. An address other than the next planned one is fetched on the spot.
  MemoryStream Take(const std::string& url);

 private:
  struct Slot {
    bool done = false;
    std::size_t bytes = 0;  // body bytes received so far
    MemoryStream body;
    std::exception_ptr error;
  };

  void Work();
  void Stop();
  // Body bytes of the started, untaken pictures behind the next one to be taken. mutex_ held.
  std::size_t BytesAhead() const;
  // Waits until a block of `bytes` for picture `index` fits the budget (or the run stops).
  void AdmitBlock(std::size_t index, std::size_t bytes);

  const std::vector<std::string> addresses_;
  const std::size_t window_;
  const std::size_t budget_;
  std::vector<Slot> slots_;
  std::size_t nextToStart_ = 0;
  std::size_t nextToTake_ = 0;
  std::size_t bytesHeld_ = 0;  // sum of bytes over the started, untaken slots
  std::mutex mutex_;
  std::condition_variable startable_;
  std::condition_variable finished_;
  std::atomic<bool> stopping_{false};
  FetchOptions options_;
  HttpClient offPlanClient_;
  std::vector<std::thread> workers_;
};

}  // namespace picsheet
