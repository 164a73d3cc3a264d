// StoreWorker: lookups, reads and stores of the answer store, one at a time on its own thread.
#include "web/store_worker.h"

#include <curl/curl.h>

#include <cstdint>
#include <utility>

namespace picsheet::transfer {

std::optional<AnswerFacts> FactsToKeep(const Task& task, long status) {
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
  facts.status = status;
  facts.etag = first("ETag");
  facts.lastModified = first("Last-Modified");
  facts.cacheControl = values("Cache-Control");
  facts.vary = values("Vary");
  facts.bodyBytes = task.body.Size();
  const std::uint64_t limit =
      task.options.maxBodyBytes != 0 ? task.options.maxBodyBytes : UINT64_MAX;
  if (!MayStoreAnswer(facts, limit)) return std::nullopt;
  return facts;
}

StoreWorker::StoreWorker(AnswerCache& cache, std::function<void()> done)
    : cache_(cache), done_(std::move(done)), thread_([this] { Run(); }) {}

StoreWorker::~StoreWorker() { Close(); }

void StoreWorker::Post(std::unique_ptr<Task> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back({std::move(task), {}});
  }
  posted_.notify_one();
}

void StoreWorker::Forget(std::string url) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back({nullptr, std::move(url)});
  }
  posted_.notify_one();
}

std::vector<std::unique_ptr<Task>> StoreWorker::TakeDone() {
  std::vector<std::unique_ptr<Task>> done;
  std::lock_guard<std::mutex> lock(mutex_);
  done.swap(finished_);
  return done;
}

void StoreWorker::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  posted_.notify_one();
}

std::vector<std::unique_ptr<Task>> StoreWorker::Close() {
  Stop();
  if (thread_.joinable()) thread_.join();
  std::vector<std::unique_ptr<Task>> held = TakeDone();
  for (Job& job : queued_) {
    if (job.task) held.push_back(std::move(job.task));
  }
  queued_.clear();
  return held;
}

void StoreWorker::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    posted_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (queued_.empty()) return;
    Job job = std::move(queued_.front());
    queued_.pop_front();
    if (!stopping_) {
      lock.unlock();
      if (job.task) {
        Do(*job.task);
      } else {
        cache_.Remove(job.url);
      }
      lock.lock();
    }
    if (!job.task) continue;
    finished_.push_back(std::move(job.task));
    lock.unlock();
    done_();
    lock.lock();
  }
}

void StoreWorker::Do(Task& task) {
  switch (task.storeStep) {
    case StoreStep::kLookUp: {
      task.kept = cache_.Lookup(task.requestUrl);
      // One kept by a run that could give an answer more memory is not offered: a fresh answer is
      // held to this transfer's limit as it arrives.
      const std::size_t limit = task.options.maxBodyBytes;
      if (task.kept && limit != 0 && task.kept->bodyBytes() > limit) task.kept.reset();
      task.lookedUp = true;
      return;
    }
    case StoreStep::kReadKept:
      task.keptBody = task.kept->ReadBody();
      return;
    case StoreStep::kKeep: {
      const AnswerFacts& facts = *task.keepFacts;
      const AnswerInfo& answer = task.body.answer();
      if (!cache_.Store(StoredAnswer{task.requestUrl, answer.finalUrl, facts.etag,
                                     facts.lastModified, answer.contentType},
                        task.body.Remaining())) {
        cache_.Remove(task.requestUrl);
      }
      return;
    }
  }
}

}  // namespace picsheet::transfer
