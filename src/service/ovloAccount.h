// The ovlo account on this machine: ID, name, tokens and consumer ID in the
// settings, and a small profile. The password stays in memory for the
// session only: nothing reads it back after log-in, and the settings file
// is no place for it.
#pragma once

#include <optional>
#include <string>

#include "base/Paths.h"
#include "base/Settings.h"
#include "base/Value.h"

namespace mr {

class ovloAccountProfile {
 public:
  static constexpr const char* kCountry = "ovlo_profile_country";
  static constexpr const char* kBirth = "ovlo_profile_birth";
  static constexpr const char* kSex = "ovlo_profile_sex";

  explicit ovloAccountProfile(Settings& settings) : settings_(settings) {}

  // The stored code, else the current locale's region in lower case.
  std::string countryCode() const;
  // Ignores anything but a two-letter code; nothing removes it.
  Status setCountryCode(const std::optional<std::string>& code);
  int64_t birthYear() const { return settings_.integerForKey(kBirth); }
  Status setBirthYear(int64_t year) { return settings_.setInteger(kBirth, year); }
  int64_t sex() const { return settings_.integerForKey(kSex); }
  Status setSex(int64_t code) { return settings_.setInteger(kSex, code); }
  // "country", "birth" and "sex" of a profile dictionary, in one write.
  Status setWithDictionary(const Value& profile);

 private:
  Settings& settings_;
};

class ovloAccount {
 public:
  static constexpr const char* kID = "ovlo_ID";
  static constexpr const char* kName = "ovlo_name";
  static constexpr const char* kPass = "ovlo_pass";
  static constexpr const char* kAccessTokenPrivate = "ovlo_access_token_private";
  static constexpr const char* kAccessTokenPublic = "ovlo_access_token_public";
  static constexpr const char* kConsumerID = "ovlo_consumer_ID";

  // Domain "mirelune": an authentication result without a usable account.
  static constexpr int64_t kErrorNoAccount = 9000301;

  explicit ovloAccount(Settings& settings) : settings_(settings) {}

  // Each setter writes at once; a failed write changes nothing.
  int64_t accountID() const { return settings_.integerForKey(kID); }
  Status setAccountID(int64_t id) { return settings_.setInteger(kID, id); }
  std::optional<std::string> accountName() const { return text(kName); }
  Status setAccountName(const std::optional<std::string>& name) { return setText(kName, name); }
  std::optional<std::string> accountPass() const;
  Status setAccountPass(const std::optional<std::string>& password);
  std::optional<std::string> accessTokenPrivate() const { return text(kAccessTokenPrivate); }
  Status setAccessTokenPrivate(const std::optional<std::string>& token) {
    return setText(kAccessTokenPrivate, token);
  }
  std::optional<std::string> accessTokenPublic() const { return text(kAccessTokenPublic); }
  Status setAccessTokenPublic(const std::optional<std::string>& token) {
    return setText(kAccessTokenPublic, token);
  }
  std::optional<std::string> consumerID() const { return text(kConsumerID); }
  Status setConsumerID(const std::optional<std::string>& id) { return setText(kConsumerID, id); }

  // An ID above 0 and both tokens.
  bool isAuthorized() const;
  // Forgets the ID, name, password, tokens and consumer ID in one write, so
  // no other process sees half an account; the profile and the connections
  // stay.
  Status logout();
  // From an authentication result's account object, in one write: the
  // error kErrorNoAccount (and nothing changed) unless it has a non-zero
  // "aid" and a "token" dictionary.
  Status setWithDictionary(const Value& account);

  ovloAccountProfile profile() const { return ovloAccountProfile(settings_); }
  Settings& settings() const { return settings_; }

 private:
  std::optional<std::string> text(const char* key) const;
  Status setText(const char* key, const std::optional<std::string>& value);

  Settings& settings_;
};

// The first preferred language of the listener ("ja", "en"), sent to
// services as "lang"; nullopt when there is none.
std::optional<std::string> MRCurrentLanguage(const EnvironmentLookup& lookup = processEnvironment);

}  // namespace mr
