// The base of the program's long jobs: a status, a progress value, and a
// delegate told about both on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>

#include "base/Env.h"
#include "base/Error.h"
#include "base/MutexProtected.h"
#include "base/Operation.h"

namespace mr {

using MRServiceOperationStatus = uint32_t;

inline constexpr MRServiceOperationStatus kMRServiceOperationStatusWaiting = 0;
inline constexpr MRServiceOperationStatus kMRServiceOperationStatusProcessing = 1;
inline constexpr MRServiceOperationStatus kMRServiceOperationStatusCompleted = 2;
inline constexpr MRServiceOperationStatus kMRServiceOperationStatusCanceled = 11;
inline constexpr MRServiceOperationStatus kMRServiceOperationStatusFailed = 12;

// The localisation key of a status code's text ("" for failed and unknown
// codes). Codes above 12 belong to the subclasses that use them.
const char* statusTextKey(MRServiceOperationStatus status);

class MRServiceOperation;

class MRServiceOperationDelegate {
 public:
  virtual ~MRServiceOperationDelegate() = default;
  virtual void serviceOperationDidGetProgress(MRServiceOperation& operation,
                                              MRServiceOperationStatus status, float progress) = 0;
  // Also called for the codes above 12 that subclasses use for their own
  // steps; real completion is 2, 11 or 12.
  virtual void serviceOperationDidComplete(MRServiceOperation& operation,
                                           MRServiceOperationStatus status) = 0;
};

class MRServiceOperation : public Operation {
 public:
  explicit MRServiceOperation(const Env& env) : env_(env) {}

  // Names the thread after the class. Subclasses call it first.
  void main() override;

  MRServiceOperationStatus status() const;
  float progress() const;
  // The localisation key of the current status's text; subclasses with codes
  // of their own name them.
  virtual std::string_view statusTextKey() const;
  // A change (and only a change) tells the delegate: every change a progress
  // call, and a change to 2 or more a completion call after it. Both run on
  // the main thread and read status and progress when they run.
  void setStatus(MRServiceOperationStatus status);
  void setProgress(float progress);
  void invokeProgressCallback();

  std::shared_ptr<MRServiceOperationDelegate> delegate() const;
  void setDelegate(std::weak_ptr<MRServiceOperationDelegate> delegate);

  // Observers of "status", "progress" and the subclasses' observable keys,
  // called on the thread that made the change, after it.
  using Observer = std::function<void(MRServiceOperation& operation, std::string_view key)>;
  uint64_t addObserver(Observer observer);
  void removeObserver(uint64_t token);

  const Env& env() const { return env_; }

  // Why the operation failed (status 12), or none.
  std::optional<Error> lastError() const { return lastError_.get(); }
  void setLastError(std::optional<Error> error) { lastError_.set(std::move(error)); }

 protected:
  void notifyObservers(std::string_view key);

 private:
  // Posts a delegate call; `call` gets the delegate and this operation.
  void postToDelegate(std::function<void(MRServiceOperationDelegate&, MRServiceOperation&)> call);

  const Env& env_;
  mutable std::mutex mutex_;
  MRServiceOperationStatus status_ = kMRServiceOperationStatusWaiting;
  float progress_ = 0;
  std::weak_ptr<MRServiceOperationDelegate> delegate_;
  std::map<uint64_t, std::shared_ptr<Observer>> observers_;
  uint64_t nextObserver_ = 1;
  MutexProtected<std::optional<Error>> lastError_;
};

}  // namespace mr
