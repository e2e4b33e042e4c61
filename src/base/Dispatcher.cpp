#include "base/Dispatcher.h"

#include "base/Semaphore.h"

namespace mr {

void Dispatcher::postAndWait(Task task) {
  if (isCurrentThread()) {
    task();
    return;
  }
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  post([&] {
    task();
    std::lock_guard guard(mutex);
    done = true;
    cv.notify_one();
  });
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return done; });
}

ManualDispatcher::ManualDispatcher(Clock& clock)
    : clock_(clock), owner_(std::this_thread::get_id()) {}

void ManualDispatcher::post(Task task) {
  std::lock_guard guard(mutex_);
  tasks_.push_back(std::move(task));
  cv_.notify_all();
}

TimerId ManualDispatcher::postAfter(Duration delay, Task task) {
  std::lock_guard guard(mutex_);
  const TimerId id = nextTimer_++;
  timers_[id] =
      Timer{clock_.now() + delay, Duration::zero(), std::make_shared<Task>(std::move(task))};
  cv_.notify_all();
  return id;
}

TimerId ManualDispatcher::repeat(Duration interval, Task task) {
  if (interval <= Duration::zero()) interval = std::chrono::milliseconds(1);
  std::lock_guard guard(mutex_);
  const TimerId id = nextTimer_++;
  timers_[id] = Timer{clock_.now() + interval, interval, std::make_shared<Task>(std::move(task))};
  cv_.notify_all();
  return id;
}

void ManualDispatcher::cancel(TimerId timer) {
  std::lock_guard guard(mutex_);
  timers_.erase(timer);
}

bool ManualDispatcher::takeReady(Task& task) {
  std::lock_guard guard(mutex_);
  if (!tasks_.empty()) {
    task = std::move(tasks_.front());
    tasks_.pop_front();
    return true;
  }
  const SteadyTime now = clock_.now();
  auto due = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due <= now && (due == timers_.end() || it->second.due < due->second.due))
      due = it;
  }
  if (due == timers_.end()) return false;
  std::shared_ptr<Task> body = due->second.task;
  if (due->second.interval == Duration::zero()) {
    timers_.erase(due);
  } else {
    due->second.due += due->second.interval;
  }
  task = [body] { (*body)(); };
  return true;
}

size_t ManualDispatcher::pump() {
  {
    std::lock_guard guard(mutex_);
    owner_ = std::this_thread::get_id();
  }
  size_t ran = 0;
  Task task;
  while (takeReady(task)) {
    task();
    task = nullptr;
    ++ran;
  }
  return ran;
}

bool ManualDispatcher::pumpUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds limit) {
  const auto giveUp = std::chrono::steady_clock::now() + limit;
  for (;;) {
    pump();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= giveUp) return done();
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(1), [this] { return !tasks_.empty(); });
  }
}

size_t ManualDispatcher::pendingCount() const {
  std::lock_guard guard(mutex_);
  return tasks_.size() + timers_.size();
}

void ManualDispatcher::run() {
  {
    std::lock_guard guard(mutex_);
    quit_ = false;
  }
  for (;;) {
    pump();
    std::unique_lock lock(mutex_);
    if (quit_) return;
    SteadyTime next = kNoDeadline;
    for (const auto& [id, timer] : timers_)
      next = std::min(next, timer.due);
    clock_.waitUntil(lock, cv_, next, [this] { return quit_ || !tasks_.empty(); });
    if (quit_) return;
  }
}

void ManualDispatcher::quit() {
  std::lock_guard guard(mutex_);
  quit_ = true;
  cv_.notify_all();
}

bool ManualDispatcher::isCurrentThread() const {
  std::lock_guard guard(mutex_);
  return owner_ == std::this_thread::get_id();
}

}  // namespace mr
