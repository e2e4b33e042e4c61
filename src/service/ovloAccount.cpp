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

}  // namespace

std::string ovloAccountProfile::countryCode() const {
  const auto stored = settings_.objectForKey(kCountry);
  if (stored && stored->isString()) return *stored->asString();
  std::string region = currentRegionCode();
  std::transform(region.begin(), region.end(), region.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return region;
}

void ovloAccountProfile::setCountryCode(const std::optional<std::string>& code) {
  if (!code) {
    (void)settings_.removeObjectForKey(kCountry);
  } else if (code->size() == 2) {
    (void)settings_.setObject(kCountry, Value(*code));
  }
}

void ovloAccountProfile::setWithDictionary(const Value& profile) {
  setCountryCode(profile.stringForKey("country"));
  setBirthYear(profile.integerForKey("birth", 0));
  setSex(profile.integerForKey("sex", 0));
}

std::optional<std::string> ovloAccount::text(const char* key) const {
  const auto value = settings_.objectForKey(key);
  if (!value || !value->isString()) return std::nullopt;
  return *value->asString();
}

void ovloAccount::setText(const char* key, const std::optional<std::string>& value) {
  if (value) {
    (void)settings_.setObject(key, Value(*value));
  } else {
    (void)settings_.removeObjectForKey(key);
  }
}

std::optional<std::string> ovloAccount::accountPass() const {
  auto& password = sessionPassword();
  std::lock_guard guard(password.mutex);
  return password.value;
}

void ovloAccount::setAccountPass(const std::optional<std::string>& value) {
  {
    auto& password = sessionPassword();
    std::lock_guard guard(password.mutex);
    password.value = value;
  }
  // A password an older version left in the settings goes now.
  if (settings_.hasKey(kPass)) (void)settings_.removeObjectForKey(kPass);
}

bool ovloAccount::isAuthorized() const {
  return accountID() > 0 && accessTokenPrivate().has_value() && accessTokenPublic().has_value();
}

void ovloAccount::logout() {
  setAccountID(0);
  setAccountName(std::nullopt);
  setAccountPass(std::nullopt);
  setAccessTokenPrivate(std::nullopt);
  setAccessTokenPublic(std::nullopt);
  setConsumerID(std::nullopt);
}

bool ovloAccount::setWithDictionary(const Value& account) {
  if (!account.isDictionary() || account.intForKey("aid", 0) == 0) return false;
  const Value* token = account.get("token");
  if (token == nullptr || !token->isDictionary()) return false;
  setAccountID(account.intForKey("aid", 0));
  setAccountName(account.stringForKey("aname"));
  setAccessTokenPrivate(token->stringForKey("private"));
  setAccessTokenPublic(token->stringForKey("public"));
  setConsumerID(token->stringForKey("consumer_id"));
  if (const Value* profile = account.get("profile");
      profile != nullptr && profile->isDictionary()) {
    ovloAccountProfile(settings_).setWithDictionary(*profile);
  }
  return true;
}

std::optional<std::string> MRCurrentLanguage(const EnvironmentLookup& lookup) {
  const auto languages = preferredLanguages(lookup);
  if (languages.empty()) return std::nullopt;
  log::debug("Current language: {}", languages.front());
  return languages.front();
}

}  // namespace mr
