// Log-in, sign-up and log-in through another service's token, against the
// ovlo platform; and the signed address of the account pages.
#pragma once

#include <functional>

#include "service/ovloRequest.h"

namespace mr {

// What an authentication tells its caller: success (error code 0), the
// platform's code and its message.
using ovloAuthCompletion =
    std::function<void(bool success, int32_t errorCode, std::string message)>;
using ovloAuthFailure = std::function<void(const Error& error)>;

class ovloAuth : public ovloAPI {
 public:
  // The platform's code for an answer without a usable account.
  static constexpr int32_t kNoAccountInResult = 1401;

  using ovloAPI::ovloAPI;
  static std::shared_ptr<ovloAuth> sharedInstance();
  static void setSharedInstance(std::shared_ptr<ovloAuth> instance);

  // Each returns nullptr, sending nothing, when a required argument is missing.
  std::shared_ptr<HttpOperation> loginWithUser(const std::optional<std::string>& user,
                                               const std::optional<std::string>& pass,
                                               const std::optional<std::string>& consumerId,
                                               ovloAuthCompletion onCompletion,
                                               ovloAuthFailure onFailure);
  // "country": the given code in upper case, else the locale's region;
  // "birth" only when above 0; "sex" always.
  std::shared_ptr<HttpOperation> signupWithUser(
      const std::optional<std::string>& user, const std::optional<std::string>& pass,
      const std::optional<std::string>& consumerId, const std::optional<std::string>& country,
      int64_t birthYear, int64_t sex, ovloAuthCompletion onCompletion, ovloAuthFailure onFailure);
  std::shared_ptr<HttpOperation> authWithExternalAccessToken(
      const Dictionary& accessToken, const std::optional<std::string>& serviceName,
      const std::optional<std::string>& consumerId, ovloAuthCompletion onCompletion,
      ovloAuthFailure onFailure);

  // The web site's auto-login address for a page, signed ("…?" alone when
  // the account cannot sign).
  std::string autoLogInURLForPageId(const std::string& pageId, const Dictionary& parameters) const;

  // The envelope of an authentication answer, with the account stored when
  // it holds one (else error 1401); the settings' error when the account
  // could not be stored.
  static Result<ovloRequestAPIResult> assignAccountWithAuthenticationResult(
      const ovloRequestResponse& response, ovloAccount account);

 private:
  std::shared_ptr<HttpOperation> authenticate(const std::string& path, const Dictionary& parameters,
                                              std::function<Status()> onSuccess,
                                              ovloAuthCompletion onCompletion,
                                              ovloAuthFailure onFailure);
};

}  // namespace mr
