// The answer store's disk work for the transfer engine, on a thread of its own: the lookup of a
// kept answer, the reading of its body, the keeping of a fresh one. The thread that drives the
// sockets hands a task over and takes it back done, so no transfer waits on a disk.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "web/transfer_task.h"

namespace picsheet {
class AnswerCache;
}

namespace picsheet::transfer {

// What the engine's thread reads off a finished 200 answer for the store: its headers, when they
// let it be kept (MayStoreAnswer); nullopt when it may not be.
std::optional<AnswerFacts> FactsToKeep(const Task& task, long status);

class StoreWorker {
 public:
  // done is called, from the worker's thread, after each task it hands back. Throws
  // std::system_error when no thread can be started.
  StoreWorker(AnswerCache& cache, std::function<void()> done);
  // Close().
  ~StoreWorker();
  StoreWorker(const StoreWorker&) = delete;
  StoreWorker& operator=(const StoreWorker&) = delete;

  // Does task's storeStep, then hands the task back. Once stopped, hands it back untouched.
  void Post(std::unique_ptr<Task> task);
  // Removes what is kept for url, after the work posted before; no one waits for it.
  void Forget(std::string url);
  // The tasks handed back since the last call, in the order done.
  std::vector<std::unique_ptr<Task>> TakeDone();
  // Does no more disk work: what comes is handed back as it is. Any thread.
  void Stop();
  // Stops, waits for the work under way, and gives back every task the worker still holds.
  std::vector<std::unique_ptr<Task>> Close();

 private:
  void Run();
  void Do(Task& task);

  AnswerCache& cache_;
  std::function<void()> done_;
  std::mutex mutex_;  // guards the three below
  std::condition_variable posted_;
  struct Job {
    std::unique_ptr<Task> task;  // null: forget url
    std::string url;
  };
  std::deque<Job> queued_;
  std::vector<std::unique_ptr<Task>> finished_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace picsheet::transfer
