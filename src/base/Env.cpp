#include "base/Env.h"

#include <atomic>

#include "base/Log.h"

namespace mr {
namespace {

std::atomic<Env*>& overridden() {
  static std::atomic<Env*> env{nullptr};
  return env;
}

struct RealSurroundings {
  Paths paths = Paths::fromEnvironment();
  GLibDispatcher dispatcher;
  ThreadPool background{"background"};
  KernelReachability reachability{dispatcher};
  Settings settings{paths.settingsFile()};
  Env env{Clock::real(), dispatcher, background, reachability, settings, loadConfig(paths), paths};

  static AppConfig loadConfig(const Paths& paths) {
    auto config = AppConfig::load(AppConfig::filePath(paths));
    if (config.ok()) return *config;
    log::error("Configuration ignored: {}", config.error().description());
    return AppConfig{};
  }
};

}  // namespace

Env& Env::defaultEnv() {
  if (Env* chosen = overridden().load()) return *chosen;
  static RealSurroundings* real = new RealSurroundings;  // lives as long as the process
  return real->env;
}

void Env::setDefaultEnv(Env* env) {
  overridden() = env;
}

}  // namespace mr
