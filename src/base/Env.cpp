#include "base/Env.h"

#include <atomic>
#include <map>

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
  AppConfig config = loadConfig(paths);
  std::unique_ptr<Reachability> reachability = makeReachability(config, dispatcher);
  Settings settings{paths.settingsFile()};
  Env env{Clock::real(), dispatcher, background, *reachability, settings, config, paths};

  // The kernel's view, unless the configuration fixes the status or every
  // service is on this machine.
  static std::unique_ptr<Reachability> makeReachability(const AppConfig& config,
                                                        Dispatcher& dispatcher) {
    static const std::map<std::string, NetworkStatus> kFixed = {
        {"wired", NetworkStatus::ReachableViaWired},
        {"wifi", NetworkStatus::ReachableViaWiFi},
        {"cellular", NetworkStatus::ReachableViaWWAN},
        {"offline", NetworkStatus::NotReachable}};
    if (auto fixed = kFixed.find(config.networkStatus); fixed != kFixed.end()) {
      return std::make_unique<FakeReachability>(dispatcher, fixed->second);
    }
    if (config.servicesOnLoopback()) {
      return std::make_unique<FakeReachability>(dispatcher, NetworkStatus::ReachableViaWired);
    }
    return std::make_unique<KernelReachability>(dispatcher);
  }

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
