// TransferEngine: the loop that drives libcurl's multi interface on one thread, starts transfers
// as their hosts and listeners allow, and acts on each finished try. What arrives during a
// transfer is in transfer_receive.cpp, what a finished try came to in transfer_outcome.cpp, the
// answer store's disk work in store_worker.cpp.
#include "web/transfer_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "base/messages.h"
#include "web/http_status.h"
#include "web/store_worker.h"
#include "web/transfer_outcome.h"
#include "web/transfer_receive.h"
#include "web/transfer_task.h"

namespace picsheet {
namespace transfer {
namespace {

// Streams one multiplexed connection carries per allowed transfer, as browsers keep many streams
// on one connection.
constexpr int kStreamsPerTransfer = 4;
// The longest the loop sleeps when nothing happens; a wake-up or a socket ends it earlier.
constexpr int kLongestPollMs = 1000;

using TaskMap = std::map<std::uint64_t, std::unique_ptr<Task>>;

void Put(TaskMap& tasks, std::unique_ptr<Task> task) {
  const std::uint64_t sequence = task->sequence;
  tasks.emplace(sequence, std::move(task));
}

}  // namespace

class Loop {
 public:
  Loop(int transfersPerHost, std::stop_token stop, AnswerCache* cache);
  ~Loop();

  // False once the loop has ended: the task was not taken.
  bool Submit(std::unique_ptr<Task>& task);
  void Wake() {
    woken_ = true;
    curl_multi_wakeup(multi_);
  }
  void Stop() {
    stopping_ = true;
    if (store_) store_->Stop();
    curl_multi_wakeup(multi_);
  }
  void Close() {
    closing_ = true;
    Stop();
  }
  void Run();

 private:
  void TakeIncoming(bool last);
  void StartDueRetries(Clock::time_point now);
  void StartWhatMay();
  // Puts the task's first try of this round into the multi handle; its host's place is taken.
  void Launch(std::unique_ptr<Task> task);
  std::optional<Error> Begin(Task& task);
  // Takes the try's handle out of the multi handle and gives its place on the host back.
  void Detach(Task& task);
  void ResumePaused();
  void CollectFinished();
  // A finished try in two steps: what it came to (Classify), then Act on it.
  void Conclude(std::unique_ptr<Task> task, CURLcode result);
  void Act(std::unique_ptr<Task> task, Outcome outcome, AnswerInfo answer);
  // Lets the kept bodies of answers that were still current in, as the budget has room.
  void DeliverKept();
  // Goes on with the tasks the store's worker is done with.
  void TakeFromStore();
  void Deliver(std::unique_ptr<Task> task);
  // Asks again at once, without validators: the kept answer could not serve.
  void AskAfresh(std::unique_ptr<Task> task);
  void Retry(std::unique_ptr<Task> task, std::chrono::milliseconds wait);
  void Finish(std::unique_ptr<Task> task, FetchResult result);
  void EndEverything(std::vector<std::unique_ptr<Task>> ended = {});
  int PollTimeoutMs(Clock::time_point now) const;
  int LimitOf(const HostState& host) const {
    return host.multiplexed ? transfersPerHost_ * kStreamsPerTransfer : transfersPerHost_;
  }

  const int transfersPerHost_;
  CURLM* multi_ = nullptr;
  std::unique_ptr<StoreWorker> store_;  // with a cache only
  std::atomic<bool> stopping_{false};
  std::atomic<bool> closing_{false};
  std::atomic<bool> woken_{false};

  std::mutex mutex_;  // guards the three below
  std::vector<std::unique_ptr<Task>> incoming_;
  std::uint64_t nextSequence_ = 0;
  bool ended_ = false;  // the loop took its last tasks

  // The engine thread's own: by sequence, so that starts and resumes keep the queued order.
  TaskMap pending_;
  TaskMap waiting_;  // for a retry's time
  TaskMap active_;
  TaskMap current_;                         // answered 304: the kept body waits for budget room
  std::map<std::string, HostState> hosts_;  // entries stay put: tasks point at them

  // Registered once the rest is ready, and let go before the multi handle it wakes is cleaned up:
  // a stop may come from any thread at any time, and letting go waits for a callback under way.
  std::optional<std::stop_callback<std::function<void()>>> onStop_;
};

Loop::Loop(int transfersPerHost, std::stop_token stop, AnswerCache* cache)
    : transfersPerHost_(std::max(transfersPerHost, 1)),
      multi_(InitialiseCurl() ? curl_multi_init() : nullptr) {
  if (multi_ == nullptr) throw Error(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable);
  try {
    if (cache != nullptr) {
      store_ = std::make_unique<StoreWorker>(*cache, [this] { curl_multi_wakeup(multi_); });
    }
  } catch (...) {
    curl_multi_cleanup(multi_);
    throw;
  }
  onStop_.emplace(std::move(stop), [this] { Stop(); });
}

Loop::~Loop() {
  onStop_.reset();
  store_.reset();
  curl_multi_cleanup(multi_);
}

bool Loop::Submit(std::unique_ptr<Task>& task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return false;
    task->sequence = nextSequence_++;
    incoming_.push_back(std::move(task));
  }
  curl_multi_wakeup(multi_);
  return true;
}

void Loop::Run() {
  while (!closing_) {
    TakeIncoming(false);
    if (stopping_) {
      EndEverything();
    } else {
      StartDueRetries(Clock::now());
      TakeFromStore();
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
  TakeIncoming(true);
  EndEverything(store_ ? store_->Close() : std::vector<std::unique_ptr<Task>>{});
}

void Loop::TakeIncoming(bool last) {
  std::vector<std::unique_ptr<Task>> arrived;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    arrived.swap(incoming_);
    ended_ = last;
  }
  for (auto& task : arrived) {
    task->host = &hosts_[task->hostKey];
    Put(pending_, std::move(task));
  }
}

void Loop::StartDueRetries(Clock::time_point now) {
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (it->second->dueAt <= now) {
      pending_.emplace(it->first, std::move(it->second));
      it = waiting_.erase(it);
    } else {
      ++it;
    }
  }
}

void Loop::StartWhatMay() {
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
    ++host.active;
    // An answer kept from an earlier run is asked after, never taken unasked: the server says
    // whether it is still current. The store is looked up first, away from this thread.
    if (store_ && !owned->bypassCache && !owned->lookedUp) {
      owned->storeStep = StoreStep::kLookUp;
      store_->Post(std::move(owned));
    } else {
      Launch(std::move(owned));
    }
  }
}

void Loop::Launch(std::unique_ptr<Task> task) {
  if (std::optional<Error> error = Begin(*task)) {
    --task->host->active;
    return Finish(std::move(task), {{}, std::move(*error)});
  }
  Put(active_, std::move(task));
}

std::optional<Error> Loop::Begin(Task& task) {
  std::vector<std::string> validators;
  if (task.kept) {
    validators = RevalidationHeaders(task.kept->facts().etag, task.kept->facts().lastModified);
  }
  try {
    task.request = std::make_unique<CurlRequest>(task.url, task.requestUrl, task.options,
                                                 validators, SinksFor(&task));
  } catch (const Error& error) {
    return error;
  }
  // A transfer ended while its host name is still being looked up must not wait for the lookup:
  // libcurl would join its resolver thread, as long as the system's resolver takes (half a minute
  // and more), and hold up a stop or the end of a failed run. It leaves the thread to finish on
  // its own instead, which then frees what it holds.
  curl_easy_setopt(task.curl(), CURLOPT_QUICK_EXIT, 1L);
  if (curl_multi_add_handle(multi_, task.curl()) != CURLM_OK) {
    task.request.reset();
    return Error(ErrorKind::kHttpUnavailable, messages::kHttpUnavailable);
  }
  return std::nullopt;
}

void Loop::Detach(Task& task) {
  curl_multi_remove_handle(multi_, task.curl());
  // A fresh handle for every try: libcurl 7.88 corrupts its heap when a handle that failed a
  // transfer is used again, and the connections live in the multi handle anyway.
  task.request.reset();
  --task.host->active;
}

void Loop::ResumePaused() {
  for (auto& [sequence, task] : active_) {
    if (!task->paused) continue;
    task->paused = false;
    // Hands the held bytes to the body callback again at once, which may pause the transfer anew.
    curl_easy_pause(task->curl(), CURLPAUSE_CONT);
  }
}

void Loop::CollectFinished() {
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

void Loop::Conclude(std::unique_ptr<Task> task, CURLcode result) {
  FinishedTry done = ReadFinishedTry(*task, result);
  Outcome outcome = Classify(*task, done);
  // The headers the store needs are read while the handle is still there. An answer that may not
  // be kept makes the store forget the one it kept, without holding up this one.
  if (store_ && outcome.kind == Outcome::Kind::kDeliver && IsWhole(*task, done) &&
      done.answer.status == 200) {
    task->keepFacts = FactsToKeep(*task, done.answer.status);
    if (!task->keepFacts) store_->Forget(task->requestUrl);
  }
  Detach(*task);
  Act(std::move(task), std::move(outcome), std::move(done.answer));
}

void Loop::Act(std::unique_ptr<Task> task, Outcome outcome, AnswerInfo answer) {
  switch (outcome.kind) {
    case Outcome::Kind::kFail:
      // Moved, not copied: no copy of the error's text is left on this thread once the listener
      // has it.
      return Finish(std::move(task), {{}, std::move(*outcome.error)});
    case Outcome::Kind::kRetry:
      return Retry(std::move(task), outcome.wait);
    case Outcome::Kind::kAskAfresh:
      return AskAfresh(std::move(task));
    case Outcome::Kind::kCurrent:
      return Put(current_, std::move(task));
    case Outcome::Kind::kDeliver:
      break;
  }
  task->body.SetAnswer(std::move(answer));
  task->body.Rewind();
  if (!task->keepFacts) return Deliver(std::move(task));
  // Kept (or forgotten) before it is delivered: the store reads the body as it is.
  task->storeStep = StoreStep::kKeep;
  store_->Post(std::move(task));
}

void Loop::DeliverKept() {
  for (auto it = current_.begin(); it != current_.end();) {
    Task& task = *it->second;
    if (!task.books->Take(static_cast<std::size_t>(task.kept->bodyBytes()))) {
      ++it;
      continue;
    }
    std::unique_ptr<Task> owned = std::move(it->second);
    it = current_.erase(it);
    owned->storeStep = StoreStep::kReadKept;
    store_->Post(std::move(owned));
  }
}

void Loop::TakeFromStore() {
  if (!store_) return;
  for (std::unique_ptr<Task>& task : store_->TakeDone()) {
    switch (task->storeStep) {
      case StoreStep::kLookUp:
        Launch(std::move(task));
        break;
      case StoreStep::kKeep:
        Deliver(std::move(task));
        break;
      case StoreStep::kReadKept: {
        // A kept body that went bad after its lookup is never used: the address is asked afresh.
        if (!task->keptBody) {
          AskAfresh(std::move(task));
          break;
        }
        const StoredAnswer& facts = task->kept->facts();
        AnswerInfo answer;
        answer.status = 200;
        answer.reasonPhrase = ReasonPhrase(200);
        answer.contentType = facts.contentType;
        answer.finalUrl = facts.finalUrl;
        task->body = MemoryStream(std::move(*task->keptBody));
        task->body.SetAnswer(std::move(answer));
        Deliver(std::move(task));
        break;
      }
    }
  }
}

void Loop::Deliver(std::unique_ptr<Task> task) {
  MemoryStream body = std::move(task->body);
  Finish(std::move(task), {std::move(body), std::nullopt});
}

void Loop::AskAfresh(std::unique_ptr<Task> task) {
  task->books->GiveBackAll();
  task->ResetTry();
  task->bypassCache = true;
  Put(pending_, std::move(task));
}

void Loop::Retry(std::unique_ptr<Task> task, std::chrono::milliseconds wait) {
  task->books->GiveBackAll();
  task->ResetTry();
  --task->triesLeft;
  // A short, growing pause gives a restarting or overloaded server time.
  task->nextPause *= 2;
  task->dueAt = Clock::now() + wait;
  Put(waiting_, std::move(task));
}

void Loop::Finish(std::unique_ptr<Task> task, FetchResult result) {
  if (result.error) task->books->GiveBackAll();
  TransferListener* listener = task->listener;
  task.reset();
  listener->Finished(std::move(result));
}

void Loop::EndEverything(std::vector<std::unique_ptr<Task>> ended) {
  if (store_) {
    for (auto& task : store_->TakeDone()) ended.push_back(std::move(task));
  }
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

int Loop::PollTimeoutMs(Clock::time_point now) const {
  auto timeout = std::chrono::milliseconds(kLongestPollMs);
  for (const auto& [sequence, task] : waiting_) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(task->dueAt - now);
    timeout = std::min(timeout, std::max(left, std::chrono::milliseconds(0)));
  }
  return static_cast<int>(timeout.count());
}

}  // namespace transfer

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
    : loop_(std::make_unique<transfer::Loop>(transfersPerHost, std::move(stop), cache)),
      thread_([this] { loop_->Run(); }) {}

TransferEngine::~TransferEngine() { Close(); }

void TransferEngine::Fetch(std::string url, FetchOptions options, TransferListener& listener) {
  auto task = std::make_unique<transfer::Task>();
  task->requestUrl = PercentEncodeUnsafeBytes(url);
  task->hostKey = HostKey(task->requestUrl);
  task->url = std::move(url);
  task->triesLeft = std::max(options.retries, 0);
  task->nextPause = options.retryPause;
  task->options = std::move(options);
  task->listener = &listener;
  task->books.emplace(listener);
  // After Close no thread would ever end it: it ends here, as every transfer of a closed engine.
  if (!loop_->Submit(task)) listener.Finished({{}, InterruptedError()});
}

void TransferEngine::Wake() { loop_->Wake(); }

void TransferEngine::Close() {
  if (!thread_.joinable()) return;
  loop_->Close();
  thread_.join();
}

}  // namespace picsheet
