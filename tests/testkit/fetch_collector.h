// A transfer listener that waits for its transfer's end, for tests that drive the engine.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "base/transfer_engine.h"

namespace picsheet::testkit {

class FetchCollector final : public TransferListener {
 public:
  void Finished(FetchResult result) override {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
    done_.notify_all();
  }
  // The transfer's result, once it has ended.
  FetchResult Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return result_.has_value(); });
    return std::move(*result_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::optional<FetchResult> result_;
};

}  // namespace picsheet::testkit
