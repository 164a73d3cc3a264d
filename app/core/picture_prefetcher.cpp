// PicturePrefetcher: the worker threads, the ordered hand-out and the ahead budget.
#include "app/core/picture_prefetcher.h"

#include <algorithm>
#include <chrono>

namespace picsheet {

PicturePrefetcher::PicturePrefetcher(std::vector<std::string> addresses, int connections,
                                     FetchOptions options, std::size_t aheadBudgetBytes)
    : addresses_(std::move(addresses)),
      window_(2 * static_cast<std::size_t>(std::max(connections, 1))),
      budget_(aheadBudgetBytes),
      slots_(addresses_.size()),
      options_([&] {
        options.alsoCancelled = &stopping_;
        return options;
      }()),
      offPlanClient_(options_) {
  const std::size_t workers =
      std::min(static_cast<std::size_t>(std::max(connections, 1)), addresses_.size());
  workers_.reserve(workers);
  // A thread that cannot start must not leave the started ones running (their std::thread
  // objects would terminate the program when destroyed joinable).
  try {
    for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    Stop();
    throw;
  }
}

PicturePrefetcher::~PicturePrefetcher() { Stop(); }

void PicturePrefetcher::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  startable_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

std::size_t PicturePrefetcher::BytesAhead() const {
  if (nextToTake_ >= slots_.size()) return 0;
  return bytesHeld_ - slots_[nextToTake_].bytes;
}

void PicturePrefetcher::AdmitBlock(std::size_t index, std::size_t bytes) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The caller's flag is not tied to this condition variable, hence the short waits.
  while (index != nextToTake_ && BytesAhead() + bytes > budget_ && !stopping_ &&
         !(options_.cancelled != nullptr && options_.cancelled->load())) {
    startable_.wait_for(lock, std::chrono::milliseconds(100));
  }
  slots_[index].bytes += bytes;
  bytesHeld_ += bytes;
}

void PicturePrefetcher::Work() {
  std::size_t index = 0;
  FetchOptions options = options_;
  options.beforeBodyBlock = [this, &index](std::size_t bytes) { AdmitBlock(index, bytes); };
  HttpClient client(options);
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      startable_.wait(lock, [this] {
        return stopping_ || nextToStart_ >= addresses_.size() ||
               (nextToStart_ < nextToTake_ + window_ &&
                (nextToStart_ == nextToTake_ || BytesAhead() < budget_));
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
  bytesHeld_ -= slot.bytes;
  ++nextToTake_;
  lock.unlock();
  // Workers waiting to start, and transfers waiting for room in the budget, may go on.
  startable_.notify_all();
  if (slot.error) std::rethrow_exception(slot.error);
  return std::move(slot.body);
}

}  // namespace picsheet
