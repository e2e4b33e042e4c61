// Requests to the ovlo platform and the Mirelune service: one engine per
// service address, parameters signed with the account's access tokens when
// asked, and the raw answer handed back.
//
// Signing: the canonical string D is the query string of the parameters
// (keys sorted without regard to case, values percent-encoded); the key is
// the account ID, the nonce, the timestamp, the public and the private token
// written one after the other; the signature is the Base64 of HMAC-SHA1(key,
// D). Five parameters go along: "__aid", "__s", "__pt", "__ts", "__n". The
// private token never leaves the client.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Env.h"
#include "base/HttpEngine.h"
#include "service/ovloAccount.h"

namespace mr {

// The answer of a finished request.
struct ovloRequestResponse {
  Bytes data;
  std::shared_ptr<HttpOperation> operation;
  std::optional<Value> responseJSON;  // the body as JSON, when it is JSON
  std::string responseString;         // the body as text
};

// The envelope most answers come in: {"error": code, "result": ..., "errmsg": ...}.
struct ovloRequestAPIResult {
  int32_t errorCode = -1;  // -1 when "error" is absent or not a number
  std::optional<Value> result;
  std::optional<Value> errorMessage;

  bool successful() const { return errorCode == 0; }
  // nullopt when the body is not JSON or not an object.
  static std::optional<ovloRequestAPIResult> resultWithResponseData(const Bytes& data);
  static std::optional<ovloRequestAPIResult> resultWithJSON(const Value& json);
  std::string errorMessageText() const;
};

struct ovloCallbacks {
  std::function<void(const ovloRequestResponse&)> completion;
  std::function<void(double)> uploadProgress;
  std::function<void(double)> downloadProgress;
  std::function<void(HttpOperation&, const Error&)> error;
};

class ovloRequest {
 public:
  // Method codes: 1 is GET, anything else POST.
  static constexpr int kMethodGet = 1;
  static constexpr int kMethodPost = 0;

  // `baseUrl` carries scheme, host and port ("https://api.ovlo.net").
  ovloRequest(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl);
  virtual ~ovloRequest() = default;

  // Signs, then sends. nullptr, and no callback at all, when signing is
  // impossible (no account) or the parameters hold something other than
  // strings and numbers.
  std::shared_ptr<HttpOperation> requestWithPath(const std::string& path, int method,
                                                 const Dictionary& parameters,
                                                 ovloCallbacks callbacks);
  std::shared_ptr<HttpOperation> requestWithoutSignatureWithPath(const std::string& path,
                                                                 int method,
                                                                 const Dictionary& parameters,
                                                                 ovloCallbacks callbacks);
  // A signed multipart POST: part i has data contentData[i], field and file
  // name contentNames[i] and type contentTypes[i].
  std::shared_ptr<HttpOperation> requestWithPath(const std::string& path,
                                                 const Dictionary& parameters,
                                                 const std::vector<std::string>& contentNames,
                                                 const std::vector<Bytes>& contentData,
                                                 const std::vector<std::string>& contentTypes,
                                                 ovloCallbacks callbacks);
  std::shared_ptr<HttpOperation> postWithPath(const std::string& path, const Dictionary& parameters,
                                              ovloCallbacks callbacks);
  std::shared_ptr<HttpOperation> getWithPath(const std::string& path, const Dictionary& parameters,
                                             ovloCallbacks callbacks);

  // The signature of D, or nullopt when the account cannot sign.
  std::optional<std::string> buildSignatureWithData(const std::string& data, uint64_t timestamp,
                                                    uint64_t nonce) const;
  // The parameters with the five signature parameters added, or nullopt.
  std::optional<Dictionary> buildHTTPParamWithSignature(const Dictionary& parameters) const;
  std::optional<std::string> buildHTTPQueryWithSignature(const Dictionary& parameters) const;

  // The signature itself, for anyone who holds the tokens.
  static std::string signature(const std::string& data, int64_t accountID, uint64_t timestamp,
                               uint64_t nonce, const std::string& publicToken,
                               const std::string& privateToken);

  const std::string& baseUrl() const { return baseUrl_; }
  ovloAccount account() const { return ovloAccount(env_.settings()); }
  const Env& env() const { return env_; }
  HttpEngine& engine() const { return *engine_; }

 private:
  std::shared_ptr<HttpOperation> send(HttpRequest request, ovloCallbacks callbacks);

  const Env& env_;
  std::shared_ptr<HttpEngine> engine_;
  std::string baseUrl_;
};

// The engine bound to the ovlo platform's API address.
class ovloAPI : public ovloRequest {
 public:
  using ovloRequest::ovloRequest;
  static std::shared_ptr<ovloAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<ovloAPI> instance);
};

// The engine bound to the Mirelune service.
class MRAPIBase : public ovloRequest {
 public:
  using ovloRequest::ovloRequest;
  static std::shared_ptr<MRAPIBase> sharedEngine();
  static void setSharedEngine(std::shared_ptr<MRAPIBase> engine);
};

}  // namespace mr
