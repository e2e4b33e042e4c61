// The background pool: short tasks off the main thread (parsing answers,
// delivering service completions). It grows a thread when every thread is
// busy, so a task that blocks cannot starve the others.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Dispatcher.h"

namespace mr {

class ThreadPool {
 public:
  explicit ThreadPool(std::string name, size_t maxThreads = 64);
  // Runs what was posted, then joins the threads.
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  void post(Task task);
  // Blocks until no task is queued or running (for tests and shutdown).
  void waitIdle();
  size_t threadCount() const;

 private:
  void workerLoop();

  const std::string name_;
  const size_t maxThreads_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Task> tasks_;
  std::vector<std::thread> threads_;
  size_t idleThreads_ = 0;
  size_t running_ = 0;
  bool stopping_ = false;
};

// Names the calling thread (shown by debuggers and in logs); cut to 15 bytes.
void setCurrentThreadName(const std::string& name);

}  // namespace mr
