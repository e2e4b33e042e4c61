#include "service/ovloAccount.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "base/Log.h"
#include "base/SystemLocale.h"

namespace mr {
namespace {

// The session's password: set at log-in, forgotten at log-out and exit.
struct SessionPassword {
  std::mutex mutex;
  std::optional<std::string> value;
};

SessionPassword& sessionPassword() {
  static SessionPassword password;
  return password;
}

void setSessionPassword(const std::optional<std::string>& value) {
  auto& password = sessionPassword();
  std::lock_guard guard(password.mutex);
  password.value = value;
}

std::optional<Value> textValue(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return Value(*text);
}

// The country rule of setCountryCode(): none removes, two letters store,
// anything else leaves the key alone.
void addCountryChange(const std::optional<std::string>& code,
                      std::vector<Settings::Change>& changes) {
  if (!code) {
    changes.push_back({ovloAccountProfile::kCountry, std::nullopt});
  } else if (code->size() == 2) {
    changes.push_back({ovloAccountProfile::kCountry, Value(*code)});
  }
}

void addProfileChanges(const Value& profile, std::vector<Settings::Change>& changes) {
  addCountryChange(profile.stringForKey("country"), changes);
  changes.push_back({ovloAccountProfile::kBirth, Value(profile.integerForKey("birth", 0))});
  changes.push_back({ovloAccountProfile::kSex, Value(profile.integerForKey("sex", 0))});
}

}  // namespace

std::string ovloAccountProfile::countryCode() const {
  const auto stored = settings_.objectForKey(kCountry);
  if (stored && stored->isString()) return *stored->asString();
  std::string region = currentRegionCode();
  std::transform(region.begin(), region.end(), region.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return region;
}

Status ovloAccountProfile::setCountryCode(const std::optional<std::string>& code) {
  std::vector<Settings::Change> changes;
  addCountryChange(code, changes);
  return settings_.update(std::move(changes));
}

Status ovloAccountProfile::setWithDictionary(const Value& profile) {
  std::vector<Settings::Change> changes;
  addProfileChanges(profile, changes);
  return settings_.update(std::move(changes));
}

std::optional<std::string> ovloAccount::text(const char* key) const {
  const auto value = settings_.objectForKey(key);
  if (!value || !value->isString()) return std::nullopt;
  return *value->asString();
}

Status ovloAccount::setText(const char* key, const std::optional<std::string>& value) {
  if (value) return settings_.setObject(key, Value(*value));
  return settings_.removeObjectForKey(key);
}

std::optional<std::string> ovloAccount::accountPass() const {
  auto& password = sessionPassword();
  std::lock_guard guard(password.mutex);
  return password.value;
}

Status ovloAccount::setAccountPass(const std::optional<std::string>& value) {
  setSessionPassword(value);
  // A password an older version left in the settings goes now.
  if (settings_.hasKey(kPass)) return settings_.removeObjectForKey(kPass);
  return {};
}

bool ovloAccount::isAuthorized() const {
  return accountID() > 0 && accessTokenPrivate().has_value() && accessTokenPublic().has_value();
}

Status ovloAccount::logout() {
  std::vector<Settings::Change> changes;
  changes.push_back({kID, Value(0)});
  for (const char* key : {kName, kPass, kAccessTokenPrivate, kAccessTokenPublic, kConsumerID})
    changes.push_back({key, std::nullopt});
  Status status = settings_.update(std::move(changes));
  if (status.ok()) setSessionPassword(std::nullopt);
  return status;
}

Status ovloAccount::setWithDictionary(const Value& account) {
  const Value* token = account.isDictionary() ? account.get("token") : nullptr;
  if (!account.isDictionary() || account.intForKey("aid", 0) == 0 || token == nullptr ||
      !token->isDictionary()) {
    return Error(kMireluneErrorDomain, kErrorNoAccount, "the answer holds no account");
  }
  std::vector<Settings::Change> changes;
  changes.push_back({kID, Value(account.intForKey("aid", 0))});
  changes.push_back({kName, textValue(account.stringForKey("aname"))});
  changes.push_back({kAccessTokenPrivate, textValue(token->stringForKey("private"))});
  changes.push_back({kAccessTokenPublic, textValue(token->stringForKey("public"))});
  changes.push_back({kConsumerID, textValue(token->stringForKey("consumer_id"))});
  if (const Value* profile = account.get("profile");
      profile != nullptr && profile->isDictionary()) {
    addProfileChanges(*profile, changes);
  }
  return settings_.update(std::move(changes));
}

std::optional<std::string> MRCurrentLanguage(const EnvironmentLookup& lookup) {
  const auto languages = preferredLanguages(lookup);
  if (languages.empty()) return std::nullopt;
  log::debug("Current language: {}", languages.front());
  return languages.front();
}

}  // namespace mr
