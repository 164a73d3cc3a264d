// Every HTTP transfer of a run driven on one thread: libcurl's multi interface, with transfers
// queued to it, paused for back-pressure, retried when a server is busy, revalidated against the
// answer store (whose disk work runs on a thread of its own), and all ended by one stop or Close.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "base/error.h"
#include "base/memory_stream.h"
#include "web/fetch_options.h"

namespace picsheet {

class AnswerCache;
namespace transfer {
class Loop;
}

// How a transfer ended: its body (with the answer's status, content type and final address), or
// the error that ended it.
struct FetchResult {
  MemoryStream body;
  std::optional<Error> error;
};

// The owner of one transfer, asked and told on the engine's thread as the transfer goes. Each
// call must return at once: it holds up every transfer of the run.
class TransferListener {
 public:
  // May the transfer begin now? A "no" keeps it waiting until the next Wake; so does every
  // transfer queued after it that is not urgent.
  virtual bool MayStart() { return true; }
  // The transfer the run is waiting for: it starts even when its host already has its share of
  // transfers, so that transfers paused for memory can never hold it up.
  virtual bool Urgent() { return false; }
  // May `bytes` more body bytes be kept? They count as the listener's from now on. A "no" pauses
  // the transfer until the next Wake.
  virtual bool MayKeep(std::size_t bytes) {
    (void)bytes;
    return true;
  }
  // Bytes granted by MayKeep that are not kept after all: the body was dropped (the transfer
  // starts again, or failed) or cut short. At Finished, the bytes granted and not dropped are
  // exactly the body's.
  virtual void Dropped(std::size_t bytes) { (void)bytes; }
  // The transfer is over; the last call the listener gets for it.
  virtual void Finished(FetchResult result) = 0;

 protected:
  ~TransferListener() = default;
};

// A transfer someone waits for on a thread of their own; Wait gives its result. One that is
// urgent (the one a caller waits for alone) starts even when its host has its share.
class AwaitedTransfer final : public TransferListener {
 public:
  explicit AwaitedTransfer(bool urgent = true) : urgent_(urgent) {}
  bool Urgent() override { return urgent_; }
  void Finished(FetchResult result) override;
  // Blocks until the transfer has finished; its result, once. Not on the engine's thread.
  FetchResult Wait();

 private:
  const bool urgent_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::optional<FetchResult> result_;
};

class TransferEngine {
 public:
  // Runs at most transfersPerHost transfers to one host at once; four times that where the host
  // multiplexes them on one connection (HTTP/2). stop ends every transfer at once: each finishes
  // with "Interrupted", and so does every transfer queued later. With a cache, every GET of an
  // address kept there asks the server whether the kept answer is still current (If-None-Match,
  // If-Modified-Since) and takes the kept body on a 304; the 200 answers that may be kept are
  // kept. The cache must outlive the engine; the engine uses it on a thread of its own.
  // Throws Error "Unable to initialize Wininet" when libcurl cannot start, std::system_error when
  // no thread can be started.
  explicit TransferEngine(int transfersPerHost, std::stop_token stop = {},
                          AnswerCache* cache = nullptr);
  // Close().
  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

  // Queues one GET of url (a gzip or deflate body is decoded; unsafe bytes are percent-encoded
  // for the request). Transfers start in the order queued. The listener must stay alive until its
  // Finished has returned or the engine is closed. Any thread but the engine's.
  void Fetch(std::string url, FetchOptions options, TransferListener& listener);
  // Asks the engine to look again at the transfers waiting to start or paused. Any thread.
  void Wake();
  // Ends every transfer as a stop does, then the engine's thread; no listener is called after it
  // returns, but for a transfer queued later, which ends at once with "Interrupted" on the thread
  // that queued it. Idempotent; not from a listener.
  void Close();

 private:
  std::unique_ptr<transfer::Loop> loop_;
  std::thread thread_;
};

}  // namespace picsheet
