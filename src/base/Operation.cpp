#include "base/Operation.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "base/OperationQueue.h"

namespace mr {

std::string Operation::className() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
  std::free(demangled);
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

void Operation::cancel() {
  std::shared_ptr<OperationQueue> owner;
  {
    std::lock_guard guard(mutex_);
    if (cancelled_.exchange(true) || state_ == State::Finished) {
      cv_.notify_all();
      return;
    }
    cv_.notify_all();
    if (state_ == State::Ready) owner = queue_.lock();
  }
  if (owner) owner->dropCancelled(*this);
}

bool Operation::isExecuting() const {
  std::lock_guard guard(mutex_);
  return state_ == State::Executing;
}

bool Operation::isFinished() const {
  std::lock_guard guard(mutex_);
  return state_ == State::Finished;
}

void Operation::setCompletionBlock(Task block) {
  std::lock_guard guard(mutex_);
  completion_ = std::move(block);
}

void Operation::waitUntilFinished() {
  waitUntilFinished(Clock::real(), kNoDeadline);
}

bool Operation::waitUntilFinished(Clock& clock, SteadyTime deadline) {
  std::unique_lock lock(mutex_);
  return clock.waitUntil(lock, cv_, deadline, [this] { return state_ == State::Finished; });
}

bool Operation::waitFor(Clock& clock, SteadyTime deadline, const std::function<bool()>& ready) {
  std::unique_lock lock(mutex_);
  bool satisfied = false;
  clock.waitUntil(lock, cv_, deadline, [&] {
    satisfied = ready();
    return satisfied || cancelled_.load();
  });
  return satisfied;
}

void Operation::sleepFor(Clock& clock, Duration duration, const std::function<bool()>& until) {
  std::unique_lock lock(mutex_);
  clock.sleepUnless(lock, cv_, duration, [&] { return cancelled_.load() || (until && until()); });
}

void Operation::wake() {
  std::lock_guard guard(mutex_);
  cv_.notify_all();
}

std::shared_ptr<OperationQueue> Operation::queue() const {
  std::lock_guard guard(mutex_);
  return queue_.lock();
}

bool Operation::beginExecuting() {
  std::lock_guard guard(mutex_);
  if (state_ != State::Ready || cancelled_) return false;
  state_ = State::Executing;
  return true;
}

void Operation::markFinished() {
  std::lock_guard guard(mutex_);
  state_ = State::Finished;
  cv_.notify_all();
}

void Operation::runCompletionBlock() {
  Task block;
  {
    std::lock_guard guard(mutex_);
    block = std::move(completion_);
    completion_ = nullptr;
  }
  if (block) block();
}

void Operation::start() {
  if (beginExecuting()) main();
  runCompletionBlock();
  markFinished();
}

OperationTracker::OperationTracker(Operation& waiter) {
  state_->waiter = &waiter;
}

OperationTracker::~OperationTracker() {
  std::lock_guard guard(state_->mutex);
  state_->waiter = nullptr;
}

void OperationTracker::track(Operation& operation, Task then) {
  ++state_->pending;
  operation.setCompletionBlock([state = state_, then = std::move(then)] {
    if (then) then();
    --state->pending;
    std::lock_guard guard(state->mutex);
    if (state->waiter != nullptr) state->waiter->wake();
  });
}

}  // namespace mr
