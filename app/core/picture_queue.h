// The pictures of a run on their way to the converter, in page order and catalogue after
// catalogue: one ordered queue with one memory budget, fed by the run's transfer engine and by
// worker threads that read, turn and encode the pictures ahead of the converter.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "base/memory_stream.h"
#include "convert/address_resolver.h"
#include "images/picture_work.h"
#include "web/fetch_options.h"
#include "web/transfer_engine.h"

namespace picsheet {

// Worker threads for picture work when nothing else is asked: one per core this process may
// run on, at most 64.
int DefaultPictureThreads();

struct PictureQueueSettings {
  std::int32_t orientation = 2;  // the run's, as the converter passes them
  std::int32_t rotationAngle = 90;
  // Workers that prepare pictures ahead, at most 2 x threads pictures ahead of the converter;
  // with 1 the converter prepares each picture itself when it takes it.
  int threads = 1;
  // The memory held at once: every body from its first byte to the moment the converter takes
  // it (downloading, downloaded, being prepared, prepared), and the working memory of the
  // pictures being turned (raster and decoder buffers, reserved from the header before decoding)
  // with the raster memory threads keep for their next turn. Past it, downloads wait (and pause)
  // and turns wait, but for the picture the converter takes next, so a picture larger than the
  // budget still arrives and is turned. Turns go before the downloads further ahead. Downloads
  // reach no further ahead of the converter than the most pictures one page brought, so pages
  // queued one after the other hold no more at once than the largest of them alone.
  std::size_t budgetBytes = std::size_t{256} << 20;
  FetchOptions fetch;  // every picture's download, unless Append says otherwise
};

class PictureQueue {
 public:
  // An empty queue on engine, which it closes when it ends (its slots are the engine's
  // listeners): pictures come with Append. A stop of runStop ends every download, pause and
  // worker at once.
  PictureQueue(PictureQueueSettings settings, TransferEngine& engine, std::stop_token runStop);
  // A queue of one page's addresses, owning its engine: the queue above with Append(addresses,
  // resolver, settings.fetch).
  PictureQueue(std::vector<std::string> addresses, AddressResolver resolver,
               PictureQueueSettings settings, std::unique_ptr<TransferEngine> engine,
               std::stop_token runStop);
  // Ends what is still under way (downloads, then workers) and waits for it.
  ~PictureQueue();
  PictureQueue(const PictureQueue&) = delete;
  PictureQueue& operator=(const PictureQueue&) = delete;

  // Adds a page's pictures after those already queued and returns the index of the first:
  // resolves the addresses (as the page holds them) with resolver, queues the downloads of those
  // on the web with fetch in their order, and starts the workers still missing; a local file is
  // read when its picture is prepared. Any thread; not from the engine's. Throws
  // std::system_error when no worker thread can be started.
  std::size_t Append(std::vector<std::string> addresses, AddressResolver resolver,
                     FetchOptions fetch);

  // Picture index (counted over every Append), prepared for the settings' orientation and angle:
  // waits for it, or prepares it on this thread when no worker has started it. The pictures are
  // taken in their order, each once (std::logic_error otherwise). Rethrows the error its download,
  // file or header reading ended with: "Cannot open URL %s" (the resolved address) or "Cannot open
  // file
  // \"%s\". %s" among others; throws Error "Interrupted" once the run is stopped. For one
  // thread, the converter's.
  PreparedPicture Take(std::size_t index);

  // The most bytes the queue held at any one time (bodies and working memory), the picture being
  // taken included.
  std::size_t PeakBytesHeld() const;

 private:
  enum class State { kFetching, kFetched, kPreparing, kReady, kTaken };
  struct Slot;
  // What the pictures of one Append share: how their addresses resolve and are fetched.
  struct Page {
    AddressResolver resolver;
    FetchOptions fetch;
  };

  // The budget's rules, asked by the slots on the engine's thread.
  bool MayStart(std::size_t index);
  bool MayDownload(std::size_t index, std::size_t more) const;
  bool IsNext(std::size_t index);
  bool MayKeep(std::size_t index, std::size_t bytes);
  void Dropped(std::size_t index, std::size_t bytes);
  void Fetched(std::size_t index, FetchResult result);

  void Work();
  // Prepares slot index, which the caller has claimed; lock is released meanwhile. counted is
  // the calling thread's working memory in the budget (its kept raster memory between pictures).
  void Prepare(std::size_t index, std::unique_lock<std::mutex>& lock, std::size_t& counted);
  enum class Room { kReserved, kAwaited, kStopped };
  // Waits until work fits and counts it for the calling thread: kReserved within the budget;
  // kAwaited once index is the converter's next picture, which passes the budget and is checked
  // against the system's free memory itself, after the other threads' working memory is back.
  Room Reserve(std::size_t index, const TurnWork& work, std::unique_lock<std::mutex>& lock,
               std::size_t& counted);
  void CountWork(std::size_t& counted, std::size_t bytes);
  // Gives the calling thread's kept raster memory back to the system; lock is released meanwhile.
  void Trim(std::unique_lock<std::mutex>& lock, std::size_t& counted);
  bool Stopped() const { return stop_.stop_requested(); }
  void Recount(Slot& slot, std::size_t bytes);
  // True when body is a 404 of an address read in the page's encoding that the page writes
  // otherwise: PrepareFound asks that form too.
  static bool AsksAgain(const MemoryStream& body, const PictureLocation& location);
  // The slot of picture index, which is not taken yet; the index after the last slot. Under the
  // lock.
  Slot& SlotAt(std::size_t index);
  std::size_t EndIndex() const;
  // Starts the workers still missing for a queue of that many pictures in all.
  void StartWorkers(std::size_t pictures);
  // PrepareAnswer of body, the first answer at slot's location. Where an address read in the
  // page's encoding answers 404, the bytes as the page writes them are asked once more (an old
  // server may keep file names in the page's code page), counted for slot; when that fails too,
  // the error's reason names both answers. Asking again is for the converter's thread only.
  PreparedPicture PrepareFound(MemoryStream body, Slot& slot);
  // The picture's bytes from wherever its address leads, on the spot.
  MemoryStream FetchNow(const Slot& slot);

  const PictureQueueSettings settings_;
  const std::size_t window_;
  std::unique_ptr<TransferEngine> ownedEngine_;
  TransferEngine& engine_;
  std::stop_source stop_;  // this queue's own, requested by the run's stop or by the destructor

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // a slot moved on, the window moved, or the queue stops
  std::deque<Page> pages_;           // one for every Append, in order
  // The slots not taken yet (and those taken before them still under way), from firstSlot_ on;
  // taken slots are dropped from the front, so a long run keeps no slot of its past catalogues.
  std::deque<Slot> slots_;
  std::size_t firstSlot_ = 0;
  std::size_t nextToTake_ = 0;
  std::size_t largestPage_ = 0;  // the most pictures one Append brought
  std::size_t held_ = 0;         // bodies and working memory
  std::size_t peakHeld_ = 0;
  std::size_t workHeld_ = 0;       // the working memory part of held_, every thread's
  std::size_t converterWork_ = 0;  // the converter thread's part of workHeld_
  int roomWanted_ = 0;             // threads waiting for room: idle ones give their kept memory
  bool awaitedWaits_ = false;      // the converter's next picture waits: no other turn starts
  std::size_t largestWork_ = 0;    // the most working memory one picture has needed
  std::vector<std::thread> workers_;
  std::optional<std::stop_callback<std::function<void()>>> onRunStop_;
  std::optional<std::stop_callback<std::function<void()>>> onStop_;
};

}  // namespace picsheet
