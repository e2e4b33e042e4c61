#include "base/Log.h"

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <atomic>
#include <cstdlib>
#include <string>

namespace mr::log {
namespace {

Level levelFromEnvironment() {
  const char* text = std::getenv("MIRELUNE_LOG");
  if (text == nullptr) return Level::Info;
  const std::string value(text);
  if (value == "debug") return Level::Debug;
  if (value == "warning") return Level::Warning;
  if (value == "error") return Level::Error;
  if (value == "off") return Level::Off;
  return Level::Info;
}

std::atomic<Level>& currentLevel() {
  static std::atomic<Level> value{levelFromEnvironment()};
  return value;
}

spdlog::logger& logger() {
  static std::shared_ptr<spdlog::logger> instance = [] {
    auto made = spdlog::stderr_color_mt("mirelune");
    made->set_pattern("%Y-%m-%d %H:%M:%S.%e mirelune[%t] %^%l%$: %v");
    made->set_level(spdlog::level::trace);
    return made;
  }();
  return *instance;
}

}  // namespace

void setLevel(Level newLevel) {
  currentLevel() = newLevel;
}
Level level() {
  return currentLevel();
}

void write(Level messageLevel, std::string_view message) {
  if (messageLevel < level()) return;
  switch (messageLevel) {
    case Level::Debug:
      logger().debug(message);
      break;
    case Level::Info:
      logger().info(message);
      break;
    case Level::Warning:
      logger().warn(message);
      break;
    case Level::Error:
      logger().error(message);
      break;
    case Level::Off:
      break;
  }
}

}  // namespace mr::log
