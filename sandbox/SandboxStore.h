// The sandbox's SQLite file. The server's threads share one connection and
// take turns: each request's work runs alone, in one transaction, so a test
// that asks the store afterwards sees whole requests or nothing of them.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/Error.h"
#include "store/Connection.h"

namespace mr::sandbox {

class SandboxStore {
 public:
  static constexpr const char* kFileName = "sandbox.sqlite";

  // Opens (or creates) the file.
  static Result<std::unique_ptr<SandboxStore>> open(const std::string& path);

  // Runs `work(Connection&)`, which returns a Result, inside one
  // transaction: committed when it succeeds, rolled back when it fails.
  // Work must not call back into the store.
  template <class Work>
  auto transaction(Work&& work) -> decltype(work(std::declval<Connection&>())) {
    std::lock_guard lock(mutex_);
    if (Status begun = connection_->exec("BEGIN IMMEDIATE"); !begun.ok()) return begun.error();
    auto result = std::forward<Work>(work)(*connection_);
    if (!result.ok()) {
      (void)connection_->exec("ROLLBACK");
      return result;
    }
    if (Status committed = connection_->exec("COMMIT"); !committed.ok()) {
      (void)connection_->exec("ROLLBACK");
      return committed.error();
    }
    return result;
  }

 private:
  explicit SandboxStore(std::unique_ptr<Connection> connection)
      : connection_(std::move(connection)) {}

  std::mutex mutex_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace mr::sandbox
