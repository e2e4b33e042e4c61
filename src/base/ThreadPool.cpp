#include "base/ThreadPool.h"

#include <pthread.h>

#include <utility>

namespace mr {

void setCurrentThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

ThreadPool::ThreadPool(std::string name, size_t maxThreads)
    : name_(std::move(name)), maxThreads_(maxThreads == 0 ? 1 : maxThreads) {}

namespace {
// The pool whose task this thread runs, and whether that task (or what it
// held) destroyed the pool.
thread_local const ThreadPool* tRunningPool = nullptr;
thread_local bool tRunningPoolGone = false;

void joinUnlessSelf(std::thread& thread) {
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}
}  // namespace

ThreadPool::~ThreadPool() {
  if (tRunningPool == this) tRunningPoolGone = true;
  std::vector<std::thread> threads;
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    wake_.notify_all();
    threads = std::move(threads_);
  }
  for (auto& thread : threads)
    joinUnlessSelf(thread);
}

void ThreadPool::post(Task task) {
  std::lock_guard guard(mutex_);
  tasks_.push_back(std::move(task));
  // No new thread once stopping: the ones left run what remains.
  if (!stopping_ && idleThreads_ < tasks_.size() && threads_.size() < maxThreads_) {
    threads_.emplace_back([this] { workerLoop(); });
  } else {
    wake_.notify_one();
  }
}

void ThreadPool::workerLoop() {
  setCurrentThreadName(name_);
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idleThreads_;
    wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
    --idleThreads_;
    if (tasks_.empty()) return;  // stopping, and nothing left to run
    Task task = std::move(tasks_.front());
    tasks_.pop_front();
    ++running_;
    lock.unlock();
    tRunningPool = this;
    task();
    task = nullptr;
    tRunningPool = nullptr;
    if (std::exchange(tRunningPoolGone, false)) return;  // the task ended the pool
    lock.lock();
    --running_;
    if (running_ == 0 && tasks_.empty()) idle_.notify_all();
  }
}

void ThreadPool::waitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return running_ == 0 && tasks_.empty(); });
}

size_t ThreadPool::threadCount() const {
  std::lock_guard guard(mutex_);
  return threads_.size();
}

}  // namespace mr
