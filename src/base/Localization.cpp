#include "base/Localization.h"

#include <mutex>

namespace mr {
namespace {

struct Table {
  std::mutex mutex;
  std::map<std::string, std::string, std::less<>> texts = {
      {"stringWithDateTimeUntilNowInLocal_seconds", "%.0f seconds ago"},
      {"stringWithDateTimeUntilNowInLocal_minutes", "%.0f minutes ago"},
      {"stringWithDateTimeUntilNowInLocal_hours", "%.0f hours ago"},
      {"stringWithDateTimeUntilNowInLocal_days", "%.0f days ago"},
      {"kMRServiceOperationStatusWaiting", "Waiting"},
      {"kMRServiceOperationStatusProcessing", "Processing"},
      {"kMRServiceOperationStatusCompleted", "Completed"},
      {"kMRServiceOperationStatusCanceled", "Canceled"},
      {"error", "Error"},
  };
};

Table& table() {
  static Table instance;
  return instance;
}

}  // namespace

std::string localizedString(std::string_view key, std::string_view fallback) {
  Table& shared = table();
  std::lock_guard guard(shared.mutex);
  auto found = shared.texts.find(key);
  return found == shared.texts.end() ? std::string(fallback) : found->second;
}

std::string localizedString(std::string_view key) {
  return localizedString(key, key);
}

void registerLocalizedStrings(const std::map<std::string, std::string>& texts) {
  Table& shared = table();
  std::lock_guard guard(shared.mutex);
  for (const auto& [key, text] : texts)
    shared.texts[key] = text;
}

std::string formatLocalized(const std::string& format, const std::vector<std::string>& arguments) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    if (format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // "%N$@": the Nth argument, counted from 1.
    size_t j = i + 1;
    size_t position = 0;
    while (j < format.size() && format[j] >= '0' && format[j] <= '9' && j < i + 3) {
      position = position * 10 + static_cast<size_t>(format[j] - '0');
      ++j;
    }
    if (j > i + 1 && j + 1 < format.size() && format[j] == '$' && format[j + 1] == '@') {
      if (position >= 1 && position <= arguments.size()) out += arguments[position - 1];
      i = j + 1;
      continue;
    }
    // "%@", "%d", "%i", "%ld": the next argument.
    size_t end = i + 1;
    while (end < format.size() && format[end] == 'l') ++end;
    if (end < format.size() && (format[end] == '@' || format[end] == 'd' || format[end] == 'i')) {
      if (next < arguments.size()) out += arguments[next];
      ++next;
      i = end;
      continue;
    }
    out += format[i];
  }
  return out;
}

}  // namespace mr
