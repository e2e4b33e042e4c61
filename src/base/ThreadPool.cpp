#include "base/ThreadPool.h"

#include <pthread.h>

namespace mr {

void setCurrentThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

ThreadPool::ThreadPool(std::string name, size_t maxThreads)
    : name_(std::move(name)), maxThreads_(maxThreads == 0 ? 1 : maxThreads) {}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard guard(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  for (auto& thread : threads_)
    thread.join();
}

void ThreadPool::post(Task task) {
  std::lock_guard guard(mutex_);
  tasks_.push_back(std::move(task));
  if (idleThreads_ < tasks_.size() && threads_.size() < maxThreads_) {
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
    task();
    task = nullptr;
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
