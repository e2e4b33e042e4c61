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

}  // namespace mr
