// PictureQueue: the slots of a run's pictures, their budget, the workers and the converter's take.
#include "app/core/picture_queue.h"

#include <sched.h>

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "app/core/error_message.h"
#include "base/messages.h"
#include "convert/source.h"
#include "images/raster_lease.h"
#include "web/http_client.h"

namespace picsheet {
namespace {

// The error of an address its page may not name (another scheme, a local file from the web).
Error RefusedAddress(const std::string& address, const PictureLocation& location) {
  return Error(ErrorKind::kFetch, messages::CannotOpenUrl(address), location.reason);
}

}  // namespace

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

// One planned picture: the listener of its download, then what became of it.
struct PictureQueue::Slot final : TransferListener {
  PictureQueue* queue = nullptr;
  std::size_t index = 0;
  const Page* page = nullptr;
  std::string address;  // as the page holds it
  State state = State::kFetching;
  PictureLocation location;
  std::size_t bytes = 0;  // counted in held_ until the converter takes the picture
  MemoryStream body;      // a local file's is read when the picture is prepared
  std::optional<PreparedPicture> prepared;
  std::optional<Error> error;

  bool MayStart() override { return queue->MayStart(index); }
  bool Urgent() override { return queue->IsNext(index); }
  bool MayKeep(std::size_t more) override { return queue->MayKeep(index, more); }
  void Dropped(std::size_t fewer) override { queue->Dropped(index, fewer); }
  void Finished(FetchResult result) override { queue->Fetched(index, std::move(result)); }
};

PictureQueue::Slot& PictureQueue::SlotAt(std::size_t index) { return slots_[index - firstSlot_]; }

std::size_t PictureQueue::EndIndex() const { return firstSlot_ + slots_.size(); }

PictureQueue::PictureQueue(PictureQueueSettings settings, TransferEngine& engine,
                           std::stop_token runStop)
    : settings_(std::move(settings)),
      window_(2 * static_cast<std::size_t>(std::max(settings_.threads, 1))),
      engine_(engine) {
  onStop_.emplace(stop_.get_token(), [this] {
    { std::lock_guard<std::mutex> lock(mutex_); }  // a waiter between its check and its wait
    changed_.notify_all();
  });
  onRunStop_.emplace(std::move(runStop), [this] { stop_.request_stop(); });
}

PictureQueue::PictureQueue(std::vector<std::string> addresses, AddressResolver resolver,
                           PictureQueueSettings settings, std::unique_ptr<TransferEngine> engine,
                           std::stop_token runStop)
    : PictureQueue(std::move(settings), *engine, std::move(runStop)) {
  ownedEngine_ = std::move(engine);
  Append(std::move(addresses), std::move(resolver), settings_.fetch);
}

std::size_t PictureQueue::Append(std::vector<std::string> addresses, AddressResolver resolver,
                                 FetchOptions fetch) {
  std::vector<Slot*> downloads;
  std::size_t first = 0;
  std::size_t pictures = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    first = EndIndex();
    largestPage_ = std::max(largestPage_, addresses.size());
    const Page& page = pages_.emplace_back(Page{std::move(resolver), std::move(fetch)});
    for (std::string& address : addresses) {
      Slot& slot = slots_.emplace_back();
      slot.queue = this;
      slot.index = EndIndex() - 1;
      slot.page = &page;
      slot.location = page.resolver.Resolve(address);
      slot.address = std::move(address);
      switch (slot.location.kind) {
        case PictureLocation::Kind::kWeb:
          downloads.push_back(&slot);
          break;
        case PictureLocation::Kind::kLocalFile:
          slot.state = State::kFetched;
          break;
        case PictureLocation::Kind::kRefused:
          slot.error = RefusedAddress(slot.address, slot.location);
          slot.state = State::kReady;
          break;
      }
    }
    pictures = EndIndex();
  }
  changed_.notify_all();  // local files are there for the workers at once
  // Queued outside the lock: a closed engine ends a transfer on this thread, through Fetched.
  for (Slot* slot : downloads) engine_.Fetch(slot->location.where, slot->page->fetch, *slot);
  StartWorkers(pictures);
  return first;
}

// One worker for each thread the settings ask for, but none for a single picture, which the
// converter prepares as it takes it.
void PictureQueue::StartWorkers(std::size_t pictures) {
  if (settings_.threads <= 1 || pictures <= 1) return;
  const std::size_t wanted = std::min(static_cast<std::size_t>(settings_.threads), pictures);
  if (workers_.size() >= wanted) return;
  try {
    while (workers_.size() < wanted) workers_.emplace_back([this] { Work(); });
  } catch (...) {
    // A thread that could not start: the ones already running must not outlive the queue.
    stop_.request_stop();
    engine_.Close();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    throw;
  }
}

PictureQueue::~PictureQueue() {
  stop_.request_stop();
  // No slot hears from a transfer after this; then the workers finish their current step.
  engine_.Close();
  for (std::thread& worker : workers_) worker.join();
  onRunStop_.reset();
}

// Turns go before the downloads further ahead, which would take the room as the converter frees
// it: the downloads leave room for the other workers' turns, each as large as the largest seen
// (but half the budget at most), and none goes on while a turn waits for room. The picture the
// converter waits for always goes on.
bool PictureQueue::MayDownload(std::size_t index, std::size_t more) const {
  if (index == nextToTake_) return true;
  // No more pictures ahead of the converter than the largest page queued holds: a page's own
  // pictures all may come at once, and a collection holds no more than its largest page would.
  if (index - nextToTake_ >= largestPage_) return false;
  const std::size_t others = static_cast<std::size_t>(std::max(settings_.threads, 1)) - 1;
  const std::size_t room = std::min(largestWork_ * others, settings_.budgetBytes / 2);
  return roomWanted_ == 0 && held_ + more + room <= settings_.budgetBytes;
}

bool PictureQueue::MayStart(std::size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return MayDownload(index, 1);
}

bool PictureQueue::IsNext(std::size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  return index == nextToTake_;
}

bool PictureQueue::MayKeep(std::size_t index, std::size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!MayDownload(index, bytes)) return false;
  Recount(SlotAt(index), SlotAt(index).bytes + bytes);
  return true;
}

void PictureQueue::Dropped(std::size_t index, std::size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Recount(SlotAt(index), SlotAt(index).bytes - bytes);
  }
  changed_.notify_all();  // room for the turns waiting
  engine_.Wake();         // and for the transfers
}

void PictureQueue::Fetched(std::size_t index, FetchResult result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = SlotAt(index);
    if (result.error) {
      slot.error = std::move(result.error);
      slot.state = State::kReady;
    } else {
      slot.body = std::move(result.body);
      slot.state = State::kFetched;
    }
  }
  changed_.notify_all();
}

void PictureQueue::Recount(Slot& slot, std::size_t bytes) {
  held_ = held_ - slot.bytes + bytes;
  slot.bytes = bytes;
  peakHeld_ = std::max(peakHeld_, held_);
}

void PictureQueue::CountWork(std::size_t& counted, std::size_t bytes) {
  held_ = held_ - counted + bytes;
  workHeld_ = workHeld_ - counted + bytes;
  counted = bytes;
  peakHeld_ = std::max(peakHeld_, held_);
}

void PictureQueue::Trim(std::unique_lock<std::mutex>& lock, std::size_t& counted) {
  lock.unlock();
  RasterLease::ReleaseKept();
  lock.lock();
  CountWork(counted, 0);
  changed_.notify_all();
}

PictureQueue::Room PictureQueue::Reserve(std::size_t index, const TurnWork& work,
                                         std::unique_lock<std::mutex>& lock, std::size_t& counted) {
  // The raster part may be the thread's kept memory, which the lease reuses when large enough.
  const auto need = [&] {
    return std::max(counted, work.rasterBytes) + (work.bytes - work.rasterBytes);
  };
  bool wanting = false;
  const auto want = [&](bool now) {
    if (now == wanting) return;
    wanting = now;
    roomWanted_ += now ? 1 : -1;
    if (now) changed_.notify_all();  // idle workers give their kept memory back
  };
  for (;;) {
    if (Stopped()) {
      want(false);
      return Room::kStopped;
    }
    if (index == nextToTake_) {
      // As with one thread, the picture is measured against what the system can give; the
      // other threads' turns, which one thread would not have under way, are waited for first.
      // The converter's own kept memory is no turn under way: it waits for this picture.
      const std::size_t workers = workHeld_ - converterWork_;
      const std::size_t mine = &counted == &converterWork_ ? 0 : counted;
      awaitedWaits_ = false;
      if (workers == mine || TurnedRasterFits(work.width, work.height)) {
        want(false);
        CountWork(counted, need());
        return Room::kAwaited;
      }
      awaitedWaits_ = true;
    } else if (!awaitedWaits_ && held_ - counted + need() <= settings_.budgetBytes) {
      want(false);
      CountWork(counted, need());
      return Room::kReserved;
    }
    if (counted > 0) {
      Trim(lock, counted);  // this thread's kept memory is in the way too
      continue;
    }
    want(true);
    changed_.wait(lock);
  }
}

void PictureQueue::Work() {
  std::size_t counted = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::optional<std::size_t> claimed;
    changed_.wait(lock, [&] {
      if (Stopped()) return true;
      const std::size_t end = std::min(EndIndex(), nextToTake_ + window_);
      for (std::size_t i = nextToTake_; i < end; ++i) {
        // A picture to be asked again is left to the converter's thread: a worker waiting for a
        // transfer of its own could outlast the engine, which closes before the workers end.
        const Slot& slot = SlotAt(i);
        if (slot.state == State::kFetched && !AsksAgain(slot.body, slot.location)) {
          claimed = i;
          return true;
        }
      }
      return roomWanted_ > 0 && counted > 0;
    });
    if (Stopped()) break;
    if (!claimed) {
      Trim(lock, counted);  // another thread waits for room this one keeps idle
      continue;
    }
    Prepare(*claimed, lock, counted);
  }
  CountWork(counted, 0);  // the thread's kept memory ends with it
}

void PictureQueue::Prepare(std::size_t index, std::unique_lock<std::mutex>& lock,
                           std::size_t& counted) {
  Slot& slot = SlotAt(index);
  slot.state = State::kPreparing;
  MemoryStream body = std::move(slot.body);
  const bool local = slot.location.kind == PictureLocation::Kind::kLocalFile;
  lock.unlock();
  std::optional<PreparedPicture> prepared;
  std::optional<Error> error;
  try {
    if (local) {
      body = FetchNow(slot);
      std::lock_guard<std::mutex> counting(mutex_);
      Recount(slot, body.Size());
    }
    if (AsksAgain(body, slot.location)) {
      // Only the converter's thread gets here (workers leave these to it), for the picture it
      // awaits, which may pass the budget.
      prepared = PrepareFound(std::move(body), slot);
    } else {
      const TurnWork work =
          TurnWorkOf(body.Remaining(), settings_.orientation, settings_.rotationAngle);
      Room room = Room::kAwaited;
      if (work.bytes != 0) {
        lock.lock();
        largestWork_ = std::max(largestWork_, work.bytes);
        room = Reserve(index, work, lock, counted);
        lock.unlock();
      }
      if (room == Room::kStopped) throw InterruptedError();
      prepared = PrepareAnswer(std::move(body), settings_.orientation, settings_.rotationAngle,
                               stop_.get_token(), room == Room::kReserved);
    }
  } catch (const Error& e) {
    error = e;
  } catch (const std::bad_alloc&) {
    // On a worker thread it would end the program; the converter rethrows it as an error.
    error = OutOfMemoryError();
  }
  lock.lock();
  // The raster is back with the thread: what it keeps stays counted while the budget has room.
  CountWork(counted, RasterLease::KeptBytes());
  if (held_ > settings_.budgetBytes && counted > 0) Trim(lock, counted);
  // The body became what the file gets: the same bytes, or the turned picture encoded.
  Recount(slot, prepared ? prepared->bytes.size() : 0);
  slot.prepared = std::move(prepared);
  slot.error = std::move(error);
  slot.state = State::kReady;
  changed_.notify_all();
}

PreparedPicture PictureQueue::Take(std::size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The budget and the workers' window follow the order of taking, which is the addresses' own.
  if (index != nextToTake_ || index >= EndIndex()) {
    throw std::logic_error("picture " + std::to_string(index) + " taken out of order");
  }
  Slot& slot = SlotAt(index);
  changed_.wait(lock, [&] {
    return Stopped() || slot.state == State::kReady || slot.state == State::kFetched;
  });
  if (slot.state == State::kFetched) {
    Prepare(index, lock, converterWork_);  // every worker is busy, or there are none
  } else if (slot.state != State::kReady) {
    throw InterruptedError();
  }
  std::optional<PreparedPicture> prepared = std::move(slot.prepared);
  std::optional<Error> error = std::move(slot.error);
  slot.state = State::kTaken;
  Recount(slot, 0);
  ++nextToTake_;
  // A taken slot has heard the last of its transfer, and no worker looks behind nextToTake_.
  while (!slots_.empty() && slots_.front().state == State::kTaken) {
    slots_.pop_front();
    ++firstSlot_;
  }
  lock.unlock();
  changed_.notify_all();  // the workers' window moved
  engine_.Wake();         // the budget has room again, and there is a new next picture
  if (error) throw std::move(*error);
  return std::move(*prepared);
}

bool PictureQueue::AsksAgain(const MemoryStream& body, const PictureLocation& location) {
  return body.answer().status == 404 && !location.asWritten.empty();
}

PreparedPicture PictureQueue::PrepareFound(MemoryStream body, Slot& slot) {
  const PictureLocation& location = slot.location;
  if (!AsksAgain(body, location)) {
    return PrepareAnswer(std::move(body), settings_.orientation, settings_.rotationAngle,
                         stop_.get_token());
  }
  const std::string first = DescribeAnswer(body.answer());
  body = MemoryStream();
  try {
    MemoryStream second = FetchUrl(location.asWritten, slot.page->fetch, &engine_);
    {
      std::lock_guard<std::mutex> counting(mutex_);
      Recount(slot, second.Size());
    }
    return PrepareAnswer(std::move(second), settings_.orientation, settings_.rotationAngle,
                         stop_.get_token());
  } catch (Error& error) {
    if (error.undelivered()) {
      error.SetReason("in UTF-8, " + first + "; as written, " + error.reason());
    }
    throw;
  }
}

MemoryStream PictureQueue::FetchNow(const Slot& slot) {
  switch (slot.location.kind) {
    case PictureLocation::Kind::kWeb:
      return FetchUrl(slot.location.where, slot.page->fetch, &engine_);
    case PictureLocation::Kind::kLocalFile:
      return MemoryStream(LoadLocalPicture(slot.location.where, slot.page->fetch.maxBodyBytes));
    case PictureLocation::Kind::kRefused:
      break;
  }
  throw RefusedAddress(slot.address, slot.location);
}

std::size_t PictureQueue::PeakBytesHeld() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peakHeld_;
}

}  // namespace picsheet
