// The program's log: plain lines on standard error, as the system log would
// show them. Formatting uses fmt so call sites stay short.
#pragma once

#include <fmt/format.h>

#include <string_view>

namespace mr::log {

enum class Level { Debug, Info, Warning, Error, Off };

void write(Level level, std::string_view message);
void setLevel(Level level);
Level level();

template <class... Args>
void debug(fmt::format_string<Args...> format, Args&&... args) {
  if (level() <= Level::Debug)
    write(Level::Debug, fmt::format(format, std::forward<Args>(args)...));
}
template <class... Args>
void info(fmt::format_string<Args...> format, Args&&... args) {
  if (level() <= Level::Info) write(Level::Info, fmt::format(format, std::forward<Args>(args)...));
}
template <class... Args>
void warning(fmt::format_string<Args...> format, Args&&... args) {
  if (level() <= Level::Warning) {
    write(Level::Warning, fmt::format(format, std::forward<Args>(args)...));
  }
}
template <class... Args>
void error(fmt::format_string<Args...> format, Args&&... args) {
  if (level() <= Level::Error)
    write(Level::Error, fmt::format(format, std::forward<Args>(args)...));
}

}  // namespace mr::log
