// Everything the program asks of its surroundings, in one place: time, the
// main loop, the background pool, the network's reachability, the settings,
// the configuration and the folders. Classes take an Env instead of
// reaching for globals, so tests hand them fakes.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "base/AppConfig.h"
#include "base/Clock.h"
#include "base/Dispatcher.h"
#include "base/Paths.h"
#include "base/Reachability.h"
#include "base/Settings.h"
#include "base/ThreadPool.h"

namespace mr {

class Env {
 public:
  Env(Clock& clock, Dispatcher& mainDispatcher, ThreadPool& background, Reachability& reachability,
      Settings& settings, AppConfig config, Paths paths)
      : clock_(&clock),
        main_(&mainDispatcher),
        background_(&background),
        reachability_(&reachability),
        settings_(&settings),
        config_(std::move(config)),
        paths_(std::move(paths)) {}

  Clock& clock() const { return *clock_; }
  // The main thread's loop: delegate calls, notices and screens run there.
  Dispatcher& main() const { return *main_; }
  ThreadPool& background() const { return *background_; }
  Reachability& reachability() const { return *reachability_; }
  Settings& settings() const { return *settings_; }
  const AppConfig& config() const { return config_; }
  const Paths& paths() const { return paths_; }

  // The process's real surroundings, made on first use: the real clock,
  // GLib's main loop, the kernel's reachability, the settings file and the
  // configuration in effect. A configuration that cannot be read is
  // reported and the defaults are used.
  static Env& defaultEnv();
  // Makes defaultEnv() return `env` from now on (the command line builds
  // its own after reading its options); `env` must outlive its use.
  static void setDefaultEnv(Env* env);

 private:
  Clock* clock_;
  Dispatcher* main_;
  ThreadPool* background_;
  Reachability* reachability_;
  Settings* settings_;
  AppConfig config_;
  Paths paths_;
};

// A process-wide instance made once on first use, which tests can replace.
template <class T>
class SharedInstance {
 public:
  template <class Make>
  std::shared_ptr<T> get(Make&& make) {
    std::lock_guard guard(mutex_);
    if (!instance_) instance_ = make();
    return instance_;
  }
  // The instance if one was made, without making one.
  std::shared_ptr<T> peek() {
    std::lock_guard guard(mutex_);
    return instance_;
  }
  void replace(std::shared_ptr<T> instance) {
    std::lock_guard guard(mutex_);
    instance_ = std::move(instance);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<T> instance_;
};

}  // namespace mr
