#include "app/core/picture_pipeline.h"

#include <sched.h>

#include <algorithm>
#include <utility>

namespace picsheet {

int DefaultPictureThreads() {
  // The cores this process may run on (taskset, a container's cpuset), else all the machine has.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  unsigned cores = 0;
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    cores = static_cast<unsigned>(CPU_COUNT(&allowed));
  }
  if (cores == 0) cores = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(cores, 1u, 64u));
}

PicturePipeline::PicturePipeline(std::vector<std::string> addresses, std::int32_t orientation,
                                 std::int32_t rotationAngle, int threads, BodySource bodies,
                                 FetchOptions offPlanFetch)
    : addresses_(std::move(addresses)),
      orientation_(orientation),
      rotationAngle_(rotationAngle),
      window_(2 * static_cast<std::size_t>(std::max(threads, 1))),
      bodies_(std::move(bodies)),
      offPlanFetch_(offPlanFetch),
      slots_(addresses_.size()) {
  const std::size_t workers =
      std::min(static_cast<std::size_t>(std::max(threads, 1)), addresses_.size());
  workers_.reserve(workers);
  try {
    for (std::size_t i = 0; i < workers; ++i) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // A thread that could not start: the ones already running must not outlive the object.
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    startable_.notify_all();
    fetchTurn_.notify_all();
    for (std::thread& worker : workers_) worker.join();
    throw;
  }
}

PicturePipeline::~PicturePipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  startable_.notify_all();
  fetchTurn_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool PicturePipeline::Cancelled() const {
  return offPlanFetch_.cancelled != nullptr && offPlanFetch_.cancelled->load();
}

void PicturePipeline::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    startable_.wait(lock, [this] {
      return stopping_ || Cancelled() || nextToStart_ >= addresses_.size() ||
             (nextToStart_ < nextToTake_ + window_ &&
              (heldBytes_ < kAheadBudget || nextToStart_ == nextToTake_));
    });
    if (stopping_ || Cancelled() || nextToStart_ >= addresses_.size()) return;
    const std::size_t index = nextToStart_++;
    Slot slot;
    FetchInTurn(index, lock, slot);
    if (stopping_) return;
    // A cancelled run keeps the body unprepared: the converter prepares it only if it still
    // reaches that picture.
    if (!slot.error && !Cancelled()) {
      lock.unlock();
      Prepare(slot);
      lock.lock();
    }
    slot.done = true;
    slots_[index] = std::move(slot);
    finished_.notify_all();
  }
}

void PicturePipeline::FetchInTurn(std::size_t index, std::unique_lock<std::mutex>& lock,
                                  Slot& result) {
  // Bodies are asked for in plan order, one at a time: a prefetcher hands them out only in that
  // order, and one HTTP client serves one request at a time.
  // Past the byte budget a body waits until the converter has taken those before it, but the one
  // it takes next never waits.
  fetchTurn_.wait(lock, [&] {
    return stopping_ ||
           (nextToFetch_ == index && (heldBytes_ < kAheadBudget || index == nextToTake_));
  });
  if (stopping_) return;
  lock.unlock();
  try {
    result.body = bodies_(addresses_[index]);
  } catch (...) {
    result.error = std::current_exception();
  }
  lock.lock();
  result.bytes = result.body.Size();
  heldBytes_ += result.bytes;
  ++nextToFetch_;
  fetchTurn_.notify_all();
}

void PicturePipeline::Prepare(Slot& slot) const {
  try {
    slot.prepared =
        PrepareAnswer(std::move(slot.body), orientation_, rotationAngle_, offPlanFetch_.cancelled);
  } catch (...) {
    slot.error = std::current_exception();
  }
}

PreparedPicture PicturePipeline::Take(const std::string& url, std::int32_t orientation,
                                      std::int32_t rotationAngle) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (nextToTake_ >= addresses_.size() || addresses_[nextToTake_] != url ||
      orientation != orientation_ || rotationAngle != rotationAngle_) {
    lock.unlock();
    if (!offPlanClient_) offPlanClient_ = std::make_unique<HttpClient>(offPlanFetch_);
    return PrepareAnswer(offPlanClient_->Get(url), orientation, rotationAngle,
                         offPlanFetch_.cancelled);
  }
  const std::size_t index = nextToTake_;
  Slot slot;
  if (nextToStart_ <= index) {
    // Every worker is busy or has stopped: this thread does the picture's work itself.
    nextToStart_ = index + 1;
    FetchInTurn(index, lock, slot);
  } else {
    finished_.wait(lock, [&] { return slots_[index].done; });
    slot = std::move(slots_[index]);
    slots_[index] = Slot{};
  }
  ++nextToTake_;
  heldBytes_ -= slot.bytes;
  lock.unlock();
  startable_.notify_all();
  fetchTurn_.notify_all();
  if (slot.error) std::rethrow_exception(slot.error);
  if (!slot.prepared) {
    return PrepareAnswer(std::move(slot.body), orientation_, rotationAngle_,
                         offPlanFetch_.cancelled);
  }
  return std::move(*slot.prepared);
}

}  // namespace picsheet
