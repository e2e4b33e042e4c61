// Surroundings for tests: a fake clock, a main loop the test pumps, a fake
// network, settings in memory and folders in a temporary directory.
#pragma once

#include <memory>

#include "base/Env.h"
#include "support/TempDir.h"

namespace mr::test {

class TestEnv {
 public:
  TestEnv();

  Env& env() { return *env_; }
  FakeClock& clock() { return clock_; }
  ManualDispatcher& dispatcher() { return dispatcher_; }
  FakeReachability& reachability() { return reachability_; }
  Settings& settings() { return settings_; }
  ThreadPool& pool() { return pool_; }
  const TempDir& dir() const { return dir_; }

  // Pumps the main loop until `done()`; false when it never came.
  bool pumpUntil(const std::function<bool()>& done) { return dispatcher_.pumpUntil(done); }

 private:
  TempDir dir_;
  FakeClock clock_;
  ManualDispatcher dispatcher_{clock_};
  FakeReachability reachability_{dispatcher_};
  Settings settings_;
  ThreadPool pool_{"test-pool"};
  std::unique_ptr<Env> env_;
};

}  // namespace mr::test
