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
// in the same order. At most 2 x connections pictures are downloaded or downloading ahead of the
// one being taken, so memory is bounded by that window, not by the catalogue.
class PicturePrefetcher {
 public:
  PicturePrefetcher(std::vector<std::string> addresses, int connections, FetchOptions options);
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
    MemoryStream body;
    std::exception_ptr error;
  };

  void Work();

  const std::vector<std::string> addresses_;
  const std::size_t window_;
  std::vector<Slot> slots_;
  std::size_t nextToStart_ = 0;
  std::size_t nextToTake_ = 0;
  std::mutex mutex_;
  std::condition_variable startable_;
  std::condition_variable finished_;
  std::atomic<bool> stopping_{false};
  FetchOptions options_;
  HttpClient offPlanClient_;
  std::vector<std::thread> workers_;
};

}  // namespace picsheet
