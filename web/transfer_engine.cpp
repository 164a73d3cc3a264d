// TransferEngine: libcurl's multi interface on one thread; the only file that talks to libcurl.
#include "web/transfer_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "base/ascii.h"
#include "base/messages.h"
#include "web/answer_cache.h"
#include "web/cache_policy.h"
#include "web/curl_request.h"
#include "web/http_status.h"

namespace picsheet {
namespace {

using Clock = std::chrono::steady_clock;

// A Content-Length is a claim of the server's; memory is set aside for at most this much of it
// at once, the rest grows as bytes really arrive.
constexpr std::size_t kMaxReservation = 64u << 20;
// Streams one multiplexed connection carries per allowed transfer, as browsers keep many streams
// on one connection.
constexpr int kStreamsPerTransfer = 4;
// The longest the loop sleeps when nothing happens; a wake-up or a socket ends it earlier.
constexpr int kLongestPollMs = 1000;
// A compressed answer that unpacks past both of these is refused as a decompression bomb: real
// pictures and pages shrink by far less than a hundred to one, and below 64 MiB the answer's own
// limit is protection enough.
constexpr std::size_t kBombBytes = 64u << 20;
constexpr curl_off_t kBombRatio = 100;

std::string SizeText(std::size_t bytes) {
  const std::size_t mebibyte = std::size_t{1} << 20;
  if (bytes % mebibyte == 0) return std::to_string(bytes / mebibyte) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// The server's Retry-After in seconds; 0 when there is none. libcurl reads a number too large
// for its type as no wait at all, which is the opposite of what the server asked: such a number
// is a wait longer than any.
curl_off_t RetryAfterSeconds(CURL* curl) {
  curl_off_t seconds = 0;
  curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &seconds);
  struct curl_header* header = nullptr;
  if (seconds != 0 ||
      curl_easy_header(curl, "Retry-After", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
    return seconds;
  }
  const std::string_view value = TrimmedOf(header->value, " \t");
  const bool number = !value.empty() && value.find_first_not_of("0123456789") == value.npos;
  return number && value.find_first_not_of('0') != value.npos
             ? std::numeric_limits<curl_off_t>::max()
             : 0;
}

struct HostState {
  int active = 0;
  bool multiplexed = false;
};

}  // namespace

// One GET, from its queueing to its end, across the tries it takes.
struct TransferEngine::Task {
  std::uint64_t sequence = 0;
  std::string url;         // as given: the messages name it so
  std::string requestUrl;  // as sent: unsafe bytes percent-encoded
  std::string hostKey;
  HostState* host = nullptr;  // the loop's state of hostKey, set once the loop takes the task
  FetchOptions options;
  TransferListener* listener = nullptr;
  Loop* loop = nullptr;

  int triesLeft = 0;
  std::chrono::milliseconds nextPause{};
  Clock::time_point dueAt{};  // a retry waits until then
  bool bypassCache = false;   // the kept answer could not serve: ask without validators

  // The try under way.
  std::optional<CachedAnswer> kept;      // whose validators it sent; its body is delivered on a 304
  std::unique_ptr<CurlRequest> request;  // in the multi handle while the task is active
  MemoryStream body;
  std::size_t granted = 0;  // body bytes the listener granted for this try
  bool answered = false;    // the final answer's headers are complete, or body bytes came
  bool anyByte = false;     // a header line or body byte arrived
  bool startChecked = false;
  bool abandoned = false;  // the body's first bytes showed it is of no use
  bool reserved = false;
  bool tooLarge = false;
  bool bomb = false;  // unpacked far past what came over the wire
  bool outOfMemory = false;
  bool paused = false;
  Clock::time_point lastBodyByte{};
  std::exception_ptr failure;  // thrown in a callback; ends the transfer

  CURL* curl() const { return request ? static_cast<CURL*>(request->handle()) : nullptr; }

  // Ready for a new try; the last one's handle is out of the multi handle by now.
  void ResetTry() {
    request.reset();
    kept.reset();
    body = MemoryStream();
    granted = 0;
    answered = anyByte = startChecked = abandoned = reserved = tooLarge = bomb = outOfMemory =
        paused = false;
    failure = nullptr;
  }
};

class TransferEngine::Loop {
 public:
  Loop(int transfersPerHost, std::stop_token stop, AnswerCache* cache);
  ~Loop();

  void Submit(std::unique_ptr<Task> task);
  void Wake() {
    woken_ = true;
    curl_multi_wakeup(multi_);
  }
  void Stop() {
    stopping_ = true;
    curl_multi_wakeup(multi_);
  }
  void Close() {
    closing_ = true;
    Stop();
  }
  void Run();

  // libcurl's callbacks; user is the Task.
  static std::size_t OnBodyBytes(char* data, std::size_t size, std::size_t count, void* user);
  static std::size_t OnHeaderBytes(char* data, std::size_t size, std::size_t count, void* user);

 private:
  std::size_t OnBody(Task& task, const char* data, std::size_t bytes);
  void OnHeaderLine(Task& task, std::string_view line);
  template <typename Body>
  static std::size_t Guarded(Task& task, const Body& body);

  void TakeIncoming();
  void StartDueRetries(Clock::time_point now);
  void StartWhatMay();
  std::optional<Error> Begin(Task& task);
  // Takes the try's handle out of the multi handle and gives its place on the host back.
  void Detach(Task& task);
  void ResumePaused();
  void CollectFinished();
  void Conclude(std::unique_ptr<Task> task, CURLcode result);
  // Keeps a 200 answer when it may be kept, and forgets one that may not.
  void KeepAnswer(const Task& task, const AnswerInfo& answer);
  // Delivers the kept bodies of answers that were still current, as the budget lets them in.
  void DeliverKept();
  // Asks again at once, without validators: the kept answer could not serve.
  void AskAfresh(std::unique_ptr<Task> task);
  void Retry(std::unique_ptr<Task> task, std::chrono::milliseconds wait);
  void Finish(std::unique_ptr<Task> task, FetchResult result);
  void EndEverything();
  int PollTimeoutMs(Clock::time_point now) const;
  int LimitOf(const HostState& host) const {
    return host.multiplexed ? transfersPerHost_ * kStreamsPerTransfer : transfersPerHost_;
  }

  const int transfersPerHost_;
  AnswerCache* const cache_;
  CURLM* multi_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> closing_{false};
  std::atomic<bool> woken_{false};

  std::mutex mutex_;  // guards incoming_ and nextSequence_
  std::vector<std::unique_ptr<Task>> incoming_;
  std::uint64_t nextSequence_ = 0;

  // The engine thread's own: by sequence, so that starts and resumes keep the queued order.
  std::map<std::uint64_t, std::unique_ptr<Task>> pending_;
  std::map<std::uint64_t, std::unique_ptr<Task>> waiting_;  // for a retry's time
  std::map<std::uint64_t, std::unique_ptr<Task>> active_;
  // Answered 304: the kept body waits for room in its listener's budget.
  std::map<std::uint64_t, std::unique_ptr<Task>> current_;
  std::map<std::string, HostState> hosts_;  // entries stay put: tasks point at them

  // Registered once the rest is ready, and let go before the multi handle it wakes is cleaned up:
  // a stop may come from any thread at any time, and letting go waits for a callback under way.
  std::optional<std::stop_callback<std::function<void()>>> onStop_;
};

// libcurl is C: an exception must not unwind through it, so failures are noted and the transfer
// aborted by returning a short count; the engine turns them into errors once libcurl returned.
template <typename Body>
std::size_t TransferEngine::Loop::Guarded(Task& task, const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    task.outOfMemory = true;
  } catch (...) {
    task.failure = std::current_exception();
  }
  return 0;
}

std::size_t TransferEngine::Loop::OnBodyBytes(char* data, std::size_t size, std::size_t count,
                                              void* user) {
  auto* task = static_cast<Task*>(user);
  return task->loop->OnBody(*task, data, size * count);
}

std::size_t TransferEngine::Loop::OnHeaderBytes(char* data, std::size_t size, std::size_t count,
                                                void* user) {
  auto* task = static_cast<Task*>(user);
  task->loop->OnHeaderLine(*task, std::string_view(data, size * count));
  return size * count;
}

TransferEngine::Loop::Loop(int transfersPerHost, std::stop_token stop, AnswerCache* cache)
    : transfersPerHost_(std::max(transfersPerHost, 1)),
      cache_(cache),
      multi_(InitialiseCurl() ? curl_multi_init() : nullptr) {
  if (multi_ == nullptr) throw Error(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable);
  onStop_.emplace(std::move(stop), [this] { Stop(); });
}

TransferEngine::Loop::~Loop() {
  onStop_.reset();
  curl_multi_cleanup(multi_);
}

void TransferEngine::Loop::Submit(std::unique_ptr<Task> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task->sequence = nextSequence_++;
    incoming_.push_back(std::move(task));
  }
  curl_multi_wakeup(multi_);
}

void TransferEngine::Loop::Run() {
  while (!closing_) {
    TakeIncoming();
    if (stopping_) {
      EndEverything();
    } else {
      StartDueRetries(Clock::now());
      if (woken_.exchange(false)) {
        ResumePaused();
        DeliverKept();
      }
      StartWhatMay();
      int running = 0;
      curl_multi_perform(multi_, &running);
      CollectFinished();
      DeliverKept();
      StartWhatMay();  // a finished transfer freed its host's place
    }
    if (closing_) break;
    curl_multi_poll(multi_, nullptr, 0, PollTimeoutMs(Clock::now()), nullptr);
  }
  TakeIncoming();
  EndEverything();
}

void TransferEngine::Loop::TakeIncoming() {
  std::vector<std::unique_ptr<Task>> arrived;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    arrived.swap(incoming_);
  }
  for (auto& task : arrived) {
    task->host = &hosts_[task->hostKey];
    const std::uint64_t sequence = task->sequence;
    pending_.emplace(sequence, std::move(task));
  }
}

void TransferEngine::Loop::StartDueRetries(Clock::time_point now) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (it->second->dueAt <= now) {
      pending_.emplace(it->first, std::move(it->second));
      it = waiting_.erase(it);
    } else {
      ++it;
    }
  }
}

void TransferEngine::Loop::StartWhatMay() {
  bool refused = false;  // a transfer may not start yet: the ones after it wait too
  for (auto it = pending_.begin(); it != pending_.end();) {
    Task& task = *it->second;
    HostState& host = *task.host;
    const bool urgent = task.listener->Urgent();
    if (!urgent && (refused || host.active >= LimitOf(host))) {
      ++it;
      continue;
    }
    if (!urgent && !task.listener->MayStart()) {
      refused = true;
      ++it;
      continue;
    }
    std::unique_ptr<Task> owned = std::move(it->second);
    it = pending_.erase(it);
    if (std::optional<Error> error = Begin(*owned)) {
      Finish(std::move(owned), {{}, std::move(*error)});
    } else {
      ++host.active;
      active_.emplace(owned->sequence, std::move(owned));
    }
  }
}

std::optional<Error> TransferEngine::Loop::Begin(Task& task) {
  task.ResetTry();
  // An answer kept from an earlier run is asked after, never taken unasked: the server says
  // whether it is still current.
  std::vector<std::string> validators;
  if (cache_ != nullptr && !task.bypassCache) task.kept = cache_->Lookup(task.requestUrl);
  // One kept by a run that could give an answer more memory is not offered: a fresh answer is
  // held to this transfer's limit as it arrives.
  const std::size_t limit = task.options.maxBodyBytes;
  if (task.kept && limit != 0 && task.kept->bodyBytes() > limit) task.kept.reset();
  if (task.kept) {
    validators = RevalidationHeaders(task.kept->facts().etag, task.kept->facts().lastModified);
  }
  try {
    task.request =
        std::make_unique<CurlRequest>(task.url, task.requestUrl, task.options, validators,
                                      CurlSinks{OnBodyBytes, OnHeaderBytes, &task});
  } catch (const Error& error) {
    return error;
  }
  // A transfer ended while its host name is still being looked up must not wait for the lookup:
  // libcurl would join its resolver thread, as long as the system's resolver takes (half a minute
  // and more), and hold up a stop or the end of a failed run. It leaves the thread to finish on
  // its own instead, which then frees what it holds.
  curl_easy_setopt(task.curl(), CURLOPT_QUICK_EXIT, 1L);
  if (curl_multi_add_handle(multi_, task.curl()) != CURLM_OK) {
    task.ResetTry();
    return Error(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable);
  }
  return std::nullopt;
}

std::size_t TransferEngine::Loop::OnBody(Task& task, const char* data, std::size_t bytes) {
  task.answered = true;
  task.anyByte = true;
  task.lastBodyByte = Clock::now();
  const std::size_t limit = task.options.maxBodyBytes;
  return Guarded(task, [&]() -> std::size_t {
    if (!task.reserved) {
      task.reserved = true;
      curl_off_t length = -1;
      curl_easy_getinfo(task.curl(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
      if (length > 0) {
        const auto claimed = static_cast<std::size_t>(length);
        if (limit != 0 && claimed > limit) {
          task.tooLarge = true;
          return 0;
        }
        task.body.Reserve(std::min(claimed, kMaxReservation));
      }
    }
    // Decoded bytes count as they arrive, so a small compressed answer that inflates without
    // end stops at the limit, not when memory runs out.
    if (limit != 0 && task.body.Size() + bytes > limit) {
      task.tooLarge = true;
      return 0;
    }
    if (task.body.Size() + bytes > kBombBytes) {
      curl_off_t transferred = 0;
      curl_easy_getinfo(task.curl(), CURLINFO_SIZE_DOWNLOAD_T, &transferred);
      if (static_cast<curl_off_t>(task.body.Size() + bytes) > kBombRatio * transferred) {
        task.bomb = true;
        return 0;
      }
    }
    if (!task.listener->MayKeep(bytes)) {
      task.paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    task.granted += bytes;
    std::size_t taken = 0;
    const std::string& start = task.options.expectedStart;
    if (!task.startChecked && !start.empty()) {
      // Keeps just the bytes that decide; the caller judges the body by them as it would by
      // the whole of it.
      taken = std::min(start.size() - task.body.Size(), bytes);
      task.body.MakeRoom(task.body.Size() + taken, limit);
      task.body.Append(data, taken);
      if (task.body.Size() < start.size()) return bytes;
      task.startChecked = true;
      if (task.body.Remaining() != start) {
        task.abandoned = true;
        task.listener->Dropped(bytes - taken);
        task.granted -= bytes - taken;
        return 0;
      }
    }
    task.body.MakeRoom(task.body.Size() + bytes - taken, limit);
    task.body.Append(data + taken, bytes - taken);
    return bytes;
  });
}

void TransferEngine::Loop::OnHeaderLine(Task& task, std::string_view line) {
  task.anyByte = true;
  if (line != "\r\n" && line != "\n") return;
  // The end of one answer's headers: it is the final answer unless it is informational or a
  // redirect that is about to be followed.
  long status = 0;
  curl_easy_getinfo(task.curl(), CURLINFO_RESPONSE_CODE, &status);
  long version = 0;
  curl_easy_getinfo(task.curl(), CURLINFO_HTTP_VERSION, &version);
  if (version == CURL_HTTP_VERSION_2_0 || version == CURL_HTTP_VERSION_3) {
    task.host->multiplexed = true;
  }
  struct curl_header* location = nullptr;
  const bool redirect =
      status >= 300 && status < 400 &&
      curl_easy_header(task.curl(), "Location", 0, CURLH_HEADER, -1, &location) == CURLHE_OK;
  if ((status < 100 || status >= 200) && !redirect) task.answered = true;
}

void TransferEngine::Loop::Detach(Task& task) {
  curl_multi_remove_handle(multi_, task.curl());
  // A fresh handle for every try: libcurl 7.88 corrupts its heap when a handle that failed a
  // transfer is used again, and the connections live in the multi handle anyway.
  task.request.reset();
  --task.host->active;
}

void TransferEngine::Loop::ResumePaused() {
  for (auto& [sequence, task] : active_) {
    if (!task->paused) continue;
    task->paused = false;
    // Hands the held bytes to OnBody again at once, which may pause the transfer anew.
    curl_easy_pause(task->curl(), CURLPAUSE_CONT);
  }
}

void TransferEngine::Loop::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    Task* finished = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &finished);
    const CURLcode result = message->data.result;
    auto it = active_.find(finished->sequence);
    std::unique_ptr<Task> task = std::move(it->second);
    active_.erase(it);
    Conclude(std::move(task), result);
  }
}

void TransferEngine::Loop::Conclude(std::unique_ptr<Task> task, CURLcode result) {
  CURL* curl = task->curl();
  AnswerInfo answer;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  answer.reasonPhrase = ReasonPhrase(answer.status);
  char* text = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &text) == CURLE_OK && text != nullptr) {
    answer.contentType = text;
  }
  text = nullptr;
  if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &text) == CURLE_OK && text != nullptr) {
    answer.finalUrl = text;
  }
  const curl_off_t retryAfter = RetryAfterSeconds(curl);
  const std::string reason = task->request->Reason(result);
  const bool whole = result == CURLE_OK && !task->abandoned && !task->tooLarge && !task->bomb &&
                     !task->outOfMemory && !task->failure;
  if (cache_ != nullptr && whole && answer.status == 200) KeepAnswer(*task, answer);
  Detach(*task);

  const auto fail = [&](Error error) { Finish(std::move(task), {{}, std::move(error)}); };
  const auto deliver = [&] {
    task->body.SetAnswer(std::move(answer));
    task->body.Rewind();
    MemoryStream body = std::move(task->body);
    Finish(std::move(task), {std::move(body), std::nullopt});
  };
  if (task->tooLarge) {
    return fail(Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
                      task->options.bodyName + " is larger than the " +
                          SizeText(task->options.maxBodyBytes) + " a download may use"));
  }
  if (task->bomb) {
    return fail(Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
                      task->options.bodyName + " unpacks to more than " + SizeText(kBombBytes) +
                          ", over " + std::to_string(kBombRatio) +
                          " times the bytes sent: refused as a decompression bomb"));
  }
  if (task->outOfMemory) {
    return fail(Error(ErrorKind::kOutOfMemory, messages::kOutOfMemory,
                      "no memory left for " + task->options.bodyName + " after " +
                          std::to_string(task->body.Size()) + " bytes"));
  }
  if (task->failure) {
    try {
      std::rethrow_exception(task->failure);
    } catch (const Error& error) {
      return fail(error);
    } catch (const std::exception& error) {
      return fail(Error(ErrorKind::kOther, error.what()));
    }
  }
  const bool canTryAgain = task->triesLeft > 0;
  if (whole && answer.status == 304 && task->kept) {
    // Still current; unless it came from elsewhere than the kept one did, after a redirect that
    // changed since.
    if (answer.finalUrl != task->kept->facts().finalUrl) return AskAfresh(std::move(task));
    const std::uint64_t sequence = task->sequence;
    current_.emplace(sequence, std::move(task));
    return;
  }
  if (result == CURLE_OK || task->abandoned) {
    if (canTryAgain && IsBusyStatus(answer.status)) {
      // The server's own word on when to ask again, unless it asks for too long a wait.
      if (retryAfter <= task->options.longestRetryAfter.count()) {
        const std::chrono::milliseconds wait =
            retryAfter > 0 ? std::chrono::milliseconds(std::chrono::seconds(retryAfter))
                           : task->nextPause;
        return Retry(std::move(task), wait);
      }
    }
    return deliver();
  }
  const std::string url = task->url;
  if (!task->answered) {
    if (canTryAgain && IsTransientFailure(result, task->anyByte)) {
      return Retry(std::move(task), task->nextPause);
    }
    return fail(Error(ErrorKind::kFetch, messages::CannotOpenUrl(url), reason));
  }
  // Bytes still trickling in when the speed limit struck: an endless drip, not a stall. A body
  // that cannot be decoded is of no use in any part.
  const bool dripping = result == CURLE_OPERATION_TIMEDOUT &&
                        Clock::now() - task->lastBodyByte < task->options.stallTimeout;
  if (dripping || result == CURLE_BAD_CONTENT_ENCODING) {
    return fail(Error(ErrorKind::kFetch, messages::CannotOpenUrl(url), reason));
  }
  // A failure after the answer arrived ends the body with the bytes so far.
  deliver();
}

void TransferEngine::Loop::KeepAnswer(const Task& task, const AnswerInfo& answer) {
  const auto values = [&task](const char* name) {
    std::vector<std::string> found;
    struct curl_header* header = nullptr;
    for (std::size_t index = 0;
         curl_easy_header(task.curl(), name, index, CURLH_HEADER, -1, &header) == CURLHE_OK;
         ++index) {
      found.emplace_back(header->value);
      if (index + 1 >= header->amount) break;
    }
    return found;
  };
  const auto first = [&values](const char* name) {
    std::vector<std::string> found = values(name);
    return found.empty() ? std::string() : found.front();
  };
  AnswerFacts facts;
  facts.url = task.requestUrl;
  facts.status = answer.status;
  facts.etag = first("ETag");
  facts.lastModified = first("Last-Modified");
  facts.cacheControl = values("Cache-Control");
  facts.vary = values("Vary");
  facts.bodyBytes = task.body.Size();
  const std::uint64_t limit =
      task.options.maxBodyBytes != 0 ? task.options.maxBodyBytes : UINT64_MAX;
  if (!MayStoreAnswer(facts, limit) ||
      !cache_->Store(StoredAnswer{task.requestUrl, answer.finalUrl, facts.etag, facts.lastModified,
                                  answer.contentType},
                     task.body.Remaining())) {
    cache_->Remove(task.requestUrl);
  }
}

void TransferEngine::Loop::DeliverKept() {
  for (auto it = current_.begin(); it != current_.end();) {
    Task& task = *it->second;
    const auto bytes = static_cast<std::size_t>(task.kept->bodyBytes());
    if (!task.listener->MayKeep(bytes)) {
      ++it;
      continue;
    }
    std::unique_ptr<Task> owned = std::move(it->second);
    it = current_.erase(it);
    std::optional<std::string> body = owned->kept->ReadBody();
    if (!body) {
      // The kept body went bad after its lookup: it is never used, the address asked afresh.
      owned->listener->Dropped(bytes);
      AskAfresh(std::move(owned));
      continue;
    }
    const StoredAnswer& facts = owned->kept->facts();
    AnswerInfo answer;
    answer.status = 200;
    answer.reasonPhrase = ReasonPhrase(200);
    answer.contentType = facts.contentType;
    answer.finalUrl = facts.finalUrl;
    MemoryStream delivered(std::move(*body));
    delivered.SetAnswer(std::move(answer));
    owned->granted = bytes;
    Finish(std::move(owned), {std::move(delivered), std::nullopt});
  }
}

void TransferEngine::Loop::AskAfresh(std::unique_ptr<Task> task) {
  task->listener->Dropped(task->granted);
  task->ResetTry();
  task->bypassCache = true;
  const std::uint64_t sequence = task->sequence;
  pending_.emplace(sequence, std::move(task));
}

void TransferEngine::Loop::Retry(std::unique_ptr<Task> task, std::chrono::milliseconds wait) {
  task->listener->Dropped(task->granted);
  task->ResetTry();
  --task->triesLeft;
  // A short, growing pause gives a restarting or overloaded server time.
  task->nextPause *= 2;
  task->dueAt = Clock::now() + wait;
  const std::uint64_t sequence = task->sequence;
  waiting_.emplace(sequence, std::move(task));
}

void TransferEngine::Loop::Finish(std::unique_ptr<Task> task, FetchResult result) {
  if (result.error && task->granted > 0) task->listener->Dropped(task->granted);
  TransferListener* listener = task->listener;
  task.reset();
  listener->Finished(std::move(result));
}

void TransferEngine::Loop::EndEverything() {
  std::vector<std::unique_ptr<Task>> ended;
  for (auto* tasks : {&active_, &pending_, &waiting_, &current_}) {
    for (auto& [sequence, task] : *tasks) ended.push_back(std::move(task));
    tasks->clear();
  }
  std::sort(ended.begin(), ended.end(),
            [](const auto& a, const auto& b) { return a->sequence < b->sequence; });
  for (auto& task : ended) {
    if (task->request) Detach(*task);
    Finish(std::move(task), {{}, InterruptedError()});
  }
}

int TransferEngine::Loop::PollTimeoutMs(Clock::time_point now) const {
  auto timeout = std::chrono::milliseconds(kLongestPollMs);
  for (const auto& [sequence, task] : waiting_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(task->dueAt - now);
    timeout = std::min(timeout, std::max(left, std::chrono::milliseconds(0)));
  }
  return static_cast<int>(timeout.count());
}

void AwaitedTransfer::Finished(FetchResult result) {
  std::lock_guard<std::mutex> lock(mutex_);
  result_ = std::move(result);
  finished_.notify_all();
}

FetchResult AwaitedTransfer::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return result_.has_value(); });
  return std::move(*result_);
}

TransferEngine::TransferEngine(int transfersPerHost, std::stop_token stop, AnswerCache* cache)
    : loop_(std::make_unique<Loop>(transfersPerHost, std::move(stop), cache)),
      thread_([this] { loop_->Run(); }) {}

TransferEngine::~TransferEngine() { Close(); }

void TransferEngine::Fetch(std::string url, FetchOptions options, TransferListener& listener) {
  auto task = std::make_unique<Task>();
  task->requestUrl = PercentEncodeUnsafeBytes(url);
  task->hostKey = HostKey(task->requestUrl);
  task->url = std::move(url);
  task->triesLeft = std::max(options.retries, 0);
  task->nextPause = options.retryPause;
  task->options = std::move(options);
  task->listener = &listener;
  task->loop = loop_.get();
  loop_->Submit(std::move(task));
}

void TransferEngine::Wake() { loop_->Wake(); }

void TransferEngine::Close() {
  if (!thread_.joinable()) return;
  loop_->Close();
  thread_.join();
}

}  // namespace picsheet
