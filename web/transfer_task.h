// One GET inside the transfer engine, from its queueing to its end, across the tries it takes;
// with the books of the memory it was granted. Internal to the web library.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "base/memory_stream.h"
#include "web/answer_cache.h"
#include "web/cache_policy.h"
#include "web/curl_request.h"
#include "web/fetch_options.h"
#include "web/transfer_engine.h"

namespace picsheet::transfer {

using Clock = std::chrono::steady_clock;

// Why a body was cut before libcurl finished it.
enum class BodyCut {
  kNone,
  kUseless,      // its first bytes showed it is of no use to the caller
  kTooLarge,     // past the answer's limit
  kBomb,         // unpacked far past what came over the wire
  kOutOfMemory,  // no memory for the next bytes
  kFailure,      // a callback threw: Task::failure says what
};

// The body bytes a transfer's listener granted it in this try. Every grant and every give-back
// goes through here, so that at Finished the listener holds exactly the bytes of the body.
class BudgetBooks {
 public:
  explicit BudgetBooks(TransferListener& listener) : listener_(&listener) {}
  // Asks for bytes more; counts them when granted.
  bool Take(std::size_t bytes) {
    if (!listener_->MayKeep(bytes)) return false;
    granted_ += bytes;
    return true;
  }
  // Gives back bytes granted that are not kept after all.
  void GiveBack(std::size_t bytes) {
    granted_ -= bytes;
    listener_->Dropped(bytes);
  }
  // Gives back everything granted: the body is dropped.
  void GiveBackAll() {
    if (granted_ > 0) GiveBack(granted_);
  }

 private:
  TransferListener* listener_;
  std::size_t granted_ = 0;
};

// A host's share of transfers, counted by the engine's thread.
struct HostState {
  int active = 0;
  bool multiplexed = false;
};

// The answer store's disk work a task waits for, done away from the engine's thread.
enum class StoreStep {
  kLookUp,    // find the kept answer whose validators the next try sends
  kReadKept,  // read the kept body of an answer the server called current
  kKeep,      // keep a fresh 200 answer, or forget one that may not be kept
};

// One GET: what the caller asked, its tries so far, and the try under way. Owned by one thread at a
// time: the engine's, or the store's worker while it does the task's storeStep.
struct Task {
  std::uint64_t sequence = 0;
  std::string url;         // as given: the messages name it so
  std::string requestUrl;  // as sent: unsafe bytes percent-encoded
  std::string hostKey;
  HostState* host = nullptr;  // the loop's state of hostKey, set once the loop takes the task
  FetchOptions options;
  TransferListener* listener = nullptr;
  std::optional<BudgetBooks> books;  // set with listener

  int triesLeft = 0;
  std::chrono::milliseconds nextPause{};
  Clock::time_point dueAt{};  // a retry waits until then
  bool bypassCache = false;   // the kept answer could not serve: ask without validators

  // The try under way.
  bool lookedUp = false;                 // the store was asked for a kept answer
  std::optional<CachedAnswer> kept;      // whose validators it sent; its body is delivered on a 304
  std::optional<std::string> keptBody;   // that body, read once the budget let it in
  std::optional<AnswerFacts> keepFacts;  // a fresh answer the store is to keep or forget
  StoreStep storeStep = StoreStep::kLookUp;
  std::unique_ptr<CurlRequest> request;  // in the multi handle while the task is active
  MemoryStream body;
  bool answered = false;  // the final answer's headers are complete, or body bytes came
  bool anyByte = false;   // a header line or body byte arrived
  bool startChecked = false;
  bool reserved = false;
  bool paused = false;
  BodyCut cut = BodyCut::kNone;
  Clock::time_point lastBodyByte{};
  std::exception_ptr failure;  // thrown in a callback; ends the transfer

  void* curl() const { return request ? request->handle() : nullptr; }

  // Ready for a new try; the last one's handle is out of the multi handle by now, and its bytes
  // were given back.
  void ResetTry() {
    request.reset();
    lookedUp = false;
    kept.reset();
    keptBody.reset();
    keepFacts.reset();
    body = MemoryStream();
    answered = anyByte = startChecked = reserved = paused = false;
    cut = BodyCut::kNone;
    failure = nullptr;
  }
};

}  // namespace picsheet::transfer
