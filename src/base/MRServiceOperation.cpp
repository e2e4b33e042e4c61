#include "base/MRServiceOperation.h"

#include "base/ThreadPool.h"

namespace mr {

const char* statusTextKey(MRServiceOperationStatus status) {
  switch (status) {
    case kMRServiceOperationStatusWaiting:
      return "kMRServiceOperationStatusWaiting";
    case kMRServiceOperationStatusProcessing:
      return "kMRServiceOperationStatusProcessing";
    case kMRServiceOperationStatusCompleted:
      return "kMRServiceOperationStatusCompleted";
    case kMRServiceOperationStatusCanceled:
      return "kMRServiceOperationStatusCanceled";
    default:
      return "";
  }
}

void MRServiceOperation::main() {
  setCurrentThreadName(className());
}

std::string_view MRServiceOperation::statusTextKey() const {
  return mr::statusTextKey(status());
}

MRServiceOperationStatus MRServiceOperation::status() const {
  std::lock_guard guard(mutex_);
  return status_;
}

float MRServiceOperation::progress() const {
  std::lock_guard guard(mutex_);
  return progress_;
}

void MRServiceOperation::setStatus(MRServiceOperationStatus status) {
  {
    std::lock_guard guard(mutex_);
    if (status_ == status) return;
    status_ = status;
  }
  invokeProgressCallback();
  if (status >= kMRServiceOperationStatusCompleted) {
    postToDelegate([](MRServiceOperationDelegate& delegate, MRServiceOperation& operation) {
      delegate.serviceOperationDidComplete(operation, operation.status());
    });
  }
  notifyObservers("status");
}

void MRServiceOperation::setProgress(float progress) {
  {
    std::lock_guard guard(mutex_);
    if (progress_ == progress) return;
    progress_ = progress;
  }
  invokeProgressCallback();
  notifyObservers("progress");
}

void MRServiceOperation::invokeProgressCallback() {
  postToDelegate([](MRServiceOperationDelegate& delegate, MRServiceOperation& operation) {
    delegate.serviceOperationDidGetProgress(operation, operation.status(), operation.progress());
  });
}

void MRServiceOperation::postToDelegate(
    std::function<void(MRServiceOperationDelegate&, MRServiceOperation&)> call) {
  {
    std::lock_guard guard(mutex_);
    if (delegate_.expired()) return;
  }
  // The posted step keeps the operation alive and reads the delegate again
  // when it runs, so a delegate that went away in between is not called.
  auto self = std::static_pointer_cast<MRServiceOperation>(weak_from_this().lock());
  if (!self) return;
  env_.main().post([self, call = std::move(call)] {
    if (auto delegate = self->delegate()) call(*delegate, *self);
  });
}

std::shared_ptr<MRServiceOperationDelegate> MRServiceOperation::delegate() const {
  std::lock_guard guard(mutex_);
  return delegate_.lock();
}

void MRServiceOperation::setDelegate(std::weak_ptr<MRServiceOperationDelegate> delegate) {
  std::lock_guard guard(mutex_);
  delegate_ = std::move(delegate);
}

uint64_t MRServiceOperation::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  const uint64_t token = nextObserver_++;
  observers_[token] = std::make_shared<Observer>(std::move(observer));
  return token;
}

void MRServiceOperation::removeObserver(uint64_t token) {
  std::lock_guard guard(mutex_);
  observers_.erase(token);
}

void MRServiceOperation::notifyObservers(std::string_view key) {
  std::vector<std::shared_ptr<Observer>> observers;
  {
    std::lock_guard guard(mutex_);
    if (observers_.empty()) return;
    for (const auto& [token, observer] : observers_)
      observers.push_back(observer);
  }
  for (const auto& observer : observers)
    (*observer)(*this, key);
}

}  // namespace mr
