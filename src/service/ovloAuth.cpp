#include "service/ovloAuth.h"

#include <algorithm>
#include <cctype>

#include "base/NSHTTPQueryDictionary.h"
#include "base/SystemLocale.h"

namespace mr {

namespace {
SharedInstance<ovloAuth>& slot() {
  static SharedInstance<ovloAuth> instance;
  return instance;
}
}  // namespace

std::shared_ptr<ovloAuth> ovloAuth::sharedInstance() {
  return slot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<ovloAuth>(env, sharedHttpEngine(), env.config().ovloApiBaseUrl);
  });
}

void ovloAuth::setSharedInstance(std::shared_ptr<ovloAuth> instance) {
  slot().replace(std::move(instance));
}

Result<ovloRequestAPIResult> ovloAuth::assignAccountWithAuthenticationResult(
    const ovloRequestResponse& response, ovloAccount account) {
  auto envelope =
      ovloRequestAPIResult::resultWithResponseData(response.data).value_or(ovloRequestAPIResult{});
  if (envelope.successful()) {
    const Value result = envelope.result.value_or(Value());
    if (Status stored = account.setWithDictionary(result); !stored.ok()) {
      if (stored.error().domain() != kMireluneErrorDomain ||
          stored.error().code() != ovloAccount::kErrorNoAccount) {
        return stored.error();
      }
      envelope.errorCode = kNoAccountInResult;
    }
  }
  return envelope;
}

std::shared_ptr<HttpOperation> ovloAuth::authenticate(const std::string& path,
                                                      const Dictionary& parameters,
                                                      std::function<Status()> onSuccess,
                                                      ovloAuthCompletion onCompletion,
                                                      ovloAuthFailure onFailure) {
  ovloCallbacks callbacks;
  Settings& settings = env().settings();
  callbacks.completion = [&settings, onSuccess, onCompletion,
                          onFailure](const ovloRequestResponse& response) {
    // An account the platform gave but this machine could not keep is a
    // failure: the listener is not signed in.
    auto envelope = assignAccountWithAuthenticationResult(response, ovloAccount(settings));
    Status kept = envelope.ok() ? Status() : Status(envelope.error());
    if (kept.ok() && envelope->successful() && onSuccess) kept = onSuccess();
    if (!kept.ok()) {
      if (onFailure) onFailure(kept.error());
      return;
    }
    if (onCompletion)
      onCompletion(envelope->successful(), envelope->errorCode, envelope->errorMessageText());
  };
  callbacks.error = [onFailure](HttpOperation&, const Error& error) {
    if (onFailure) onFailure(error);
  };
  return requestWithoutSignatureWithPath(path, kMethodPost, parameters, std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloAuth::loginWithUser(const std::optional<std::string>& user,
                                                       const std::optional<std::string>& pass,
                                                       const std::optional<std::string>& consumerId,
                                                       ovloAuthCompletion onCompletion,
                                                       ovloAuthFailure onFailure) {
  if (!user || !pass || !consumerId) return nullptr;
  Dictionary parameters{
      {"user", Value(*user)}, {"pass", Value(*pass)}, {"consumer_id", Value(*consumerId)}};
  if (auto language = MRCurrentLanguage()) parameters.set("lang", Value(*language));
  Settings& settings = env().settings();
  const auto remember = [&settings, user = *user, pass = *pass, consumerId = *consumerId] {
    ovloAccount stored(settings);
    Status status = stored.setConsumerID(consumerId);
    if (status.ok()) status = stored.setAccountName(user);
    if (status.ok()) status = stored.setAccountPass(pass);
    return status;
  };
  return authenticate("auth/login", parameters, remember, std::move(onCompletion),
                      std::move(onFailure));
}

std::shared_ptr<HttpOperation> ovloAuth::signupWithUser(
    const std::optional<std::string>& user, const std::optional<std::string>& pass,
    const std::optional<std::string>& consumerId, const std::optional<std::string>& country,
    int64_t birthYear, int64_t sex, ovloAuthCompletion onCompletion, ovloAuthFailure onFailure) {
  if (!user || !pass || !consumerId) return nullptr;
  std::string countryCode;
  if (country) {
    countryCode = *country;
    std::transform(countryCode.begin(), countryCode.end(), countryCode.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  } else {
    countryCode = currentRegionCode();
  }
  Dictionary parameters{{"user", Value(*user)},
                        {"pass", Value(*pass)},
                        {"consumer_id", Value(*consumerId)},
                        {"country", Value(countryCode)},
                        {"sex", Value(std::to_string(sex))}};
  if (auto language = MRCurrentLanguage()) parameters.set("lang", Value(*language));
  if (birthYear > 0) parameters.set("birth", Value(std::to_string(birthYear)));
  return authenticate("auth/signup", parameters, nullptr, std::move(onCompletion),
                      std::move(onFailure));
}

std::shared_ptr<HttpOperation> ovloAuth::authWithExternalAccessToken(
    const Dictionary& accessToken, const std::optional<std::string>& serviceName,
    const std::optional<std::string>& consumerId, ovloAuthCompletion onCompletion,
    ovloAuthFailure onFailure) {
  if (!serviceName || !consumerId) return nullptr;
  Dictionary parameters = accessToken;
  parameters.set("service_name", Value(*serviceName));
  parameters.set("consumer_id", Value(*consumerId));
  if (auto language = MRCurrentLanguage()) parameters.set("lang", Value(*language));
  Settings& settings = env().settings();
  const auto remember = [&settings, consumerId = *consumerId] {
    return ovloAccount(settings).setConsumerID(consumerId);
  };
  return authenticate("auth/proceed", parameters, remember, std::move(onCompletion),
                      std::move(onFailure));
}

std::string ovloAuth::autoLogInURLForPageId(const std::string& pageId,
                                            const Dictionary& parameters) const {
  Dictionary withPage = parameters;
  withPage.set("page_id", Value(pageId));
  return env().config().ovloWebBaseUrl + "/method/auto_login?" +
         buildHTTPQueryWithSignature(withPage).value_or("");
}

}  // namespace mr
