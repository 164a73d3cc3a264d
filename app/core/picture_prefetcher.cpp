#include "app/core/picture_prefetcher.h"

#include <algorithm>

namespace picsheet {

PicturePrefetcher::PicturePrefetcher(std::vector<std::string> addresses, int connections,
                                     FetchOptions options)
    : addresses_(std::move(addresses)),
      window_(2 * static_cast<std::size_t>(std::max(connections, 1))),
      slots_(addresses_.size()),
      options_([&] {
        options.cancelled = &stopping_;
        return options;
      }()),
      offPlanClient_(options_) {
  const std::size_t workers =
      std::min(static_cast<std::size_t>(std::max(connections, 1)), addresses_.size());
  workers_.reserve(workers);
  for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
}

PicturePrefetcher::~PicturePrefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  startable_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void PicturePrefetcher::Work() {
  HttpClient client(options_);
  for (;;) {
    std::size_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      startable_.wait(lock, [this] {
        return stopping_ || nextToStart_ >= addresses_.size() ||
               nextToStart_ < nextToTake_ + window_;
      });
      if (stopping_ || nextToStart_ >= addresses_.size()) return;
      index = nextToStart_++;
    }
    MemoryStream body;
    std::exception_ptr error;
    try {
      body = client.Get(addresses_[index]);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slots_[index].body = std::move(body);
      slots_[index].error = error;
      slots_[index].done = true;
    }
    finished_.notify_all();
  }
}

MemoryStream PicturePrefetcher::Take(const std::string& url) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (nextToTake_ >= addresses_.size() || addresses_[nextToTake_] != url) {
    lock.unlock();
    return offPlanClient_.Get(url);
  }
  const std::size_t index = nextToTake_;
  finished_.wait(lock, [&] { return slots_[index].done; });
  Slot slot = std::move(slots_[index]);
  slots_[index] = Slot{};
  ++nextToTake_;
  lock.unlock();
  startable_.notify_all();
  if (slot.error) std::rethrow_exception(slot.error);
  return std::move(slot.body);
}

}  // namespace picsheet
