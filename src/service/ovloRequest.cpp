#include "service/ovloRequest.h"

#include <algorithm>

#include "base/Json.h"
#include "base/Log.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/Random.h"
#include "base/StringAdditions.h"
#include "base/SystemLocale.h"

namespace mr {

// ------------------------------------------------------------ envelope

std::optional<ovloRequestAPIResult> ovloRequestAPIResult::resultWithJSON(const Value& json) {
  if (!json.isDictionary()) return std::nullopt;
  ovloRequestAPIResult envelope;
  const Value* error = json.get("error");
  if (error != nullptr && error->isNumber()) envelope.errorCode = json.intForKey("error", -1);
  if (const Value* result = json.get("result")) envelope.result = *result;
  if (const Value* message = json.get("errmsg")) envelope.errorMessage = *message;
  return envelope;
}

std::optional<ovloRequestAPIResult> ovloRequestAPIResult::resultWithResponseData(
    const Bytes& data) {
  auto json = parseJson(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!json.ok()) return std::nullopt;
  return resultWithJSON(*json);
}

std::string ovloRequestAPIResult::errorMessageText() const {
  if (!errorMessage) return {};
  if (const std::string* text = errorMessage->asString()) return *text;
  return errorMessage->isNull() ? std::string() : toJson(*errorMessage);
}

// ------------------------------------------------------------ engines

namespace {

std::string joinUrl(const std::string& base, const std::string& path) {
  if (!path.empty() && path.front() == '/') return base + path;
  return base + "/" + path;
}

std::vector<std::pair<std::string, std::string>> fieldsOf(const Dictionary& parameters) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& [key, value] : parameters) {
    if (const std::string* text = value.asString()) {
      fields.emplace_back(key, *text);
    } else {
      fields.emplace_back(key, numberString(value));
    }
  }
  return fields;
}

bool onlyTextAndNumbers(const Dictionary& parameters) {
  return std::all_of(parameters.begin(), parameters.end(), [](const auto& entry) {
    return entry.second.isString() || entry.second.isNumber();
  });
}

}  // namespace

namespace {
SharedInstance<ovloAPI>& ovloSlot() {
  static SharedInstance<ovloAPI> slot;
  return slot;
}
SharedInstance<MRAPIBase>& mireluneSlot() {
  static SharedInstance<MRAPIBase> slot;
  return slot;
}
}  // namespace

std::shared_ptr<ovloAPI> ovloAPI::sharedInstance() {
  return ovloSlot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<ovloAPI>(env, sharedHttpEngine(), env.config().ovloApiBaseUrl);
  });
}

void ovloAPI::setSharedInstance(std::shared_ptr<ovloAPI> instance) {
  ovloSlot().replace(std::move(instance));
}

std::shared_ptr<MRAPIBase> MRAPIBase::sharedEngine() {
  return mireluneSlot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<MRAPIBase>(env, sharedHttpEngine(),
                                       env.config().mireluneServiceBaseUrl);
  });
}

void MRAPIBase::setSharedEngine(std::shared_ptr<MRAPIBase> engine) {
  mireluneSlot().replace(std::move(engine));
}

// ------------------------------------------------------------ requests

ovloRequest::ovloRequest(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl)
    : env_(env), engine_(std::move(engine)), baseUrl_(std::move(baseUrl)) {
  while (!baseUrl_.empty() && baseUrl_.back() == '/')
    baseUrl_.pop_back();
}

std::string ovloRequest::signature(const std::string& data, int64_t accountID, uint64_t timestamp,
                                   uint64_t nonce, const std::string& publicToken,
                                   const std::string& privateToken) {
  const std::string key = std::to_string(accountID) + std::to_string(nonce) +
                          std::to_string(timestamp) + publicToken + privateToken;
  return base64StringFromData(hmacSha1(key, data));
}

std::optional<std::string> ovloRequest::buildSignatureWithData(const std::string& data,
                                                               uint64_t timestamp,
                                                               uint64_t nonce) const {
  const ovloAccount account = this->account();
  const auto publicToken = account.accessTokenPublic();
  const auto privateToken = account.accessTokenPrivate();
  const int64_t id = account.accountID();
  if (!publicToken || !privateToken || id == 0) return std::nullopt;
  return signature(data, id, timestamp, nonce, *publicToken, *privateToken);
}

std::optional<Dictionary> ovloRequest::buildHTTPParamWithSignature(
    const Dictionary& parameters) const {
  const ovloAccount account = this->account();
  const auto publicToken = account.accessTokenPublic();
  if (!publicToken || !account.accessTokenPrivate() || account.accountID() == 0)
    return std::nullopt;
  const auto data = NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters);
  if (!data) return std::nullopt;
  const auto timestamp = static_cast<uint64_t>(env_.clock().currentDate().secondsSince1970);
  const uint64_t nonce = randomUint32() & 0x7FFFFFFFu;
  const auto signed_ = buildSignatureWithData(*data, timestamp, nonce);
  if (!signed_) return std::nullopt;
  Dictionary result = parameters;
  result.set("__aid", Value(std::to_string(account.accountID())));
  result.set("__s", Value(*signed_));
  result.set("__pt", Value(*publicToken));
  result.set("__ts", Value(std::to_string(timestamp)));
  result.set("__n", Value(std::to_string(nonce)));
  return result;
}

std::optional<std::string> ovloRequest::buildHTTPQueryWithSignature(
    const Dictionary& parameters) const {
  const auto signedParameters = buildHTTPParamWithSignature(parameters);
  if (!signedParameters) return std::nullopt;
  return NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(*signedParameters);
}

std::shared_ptr<HttpOperation> ovloRequest::requestWithPath(const std::string& path, int method,
                                                            const Dictionary& parameters,
                                                            ovloCallbacks callbacks) {
  const auto signedParameters = buildHTTPParamWithSignature(parameters);
  if (!signedParameters) return nullptr;
  return method == kMethodGet ? getWithPath(path, *signedParameters, std::move(callbacks))
                              : postWithPath(path, *signedParameters, std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloRequest::requestWithoutSignatureWithPath(
    const std::string& path, int method, const Dictionary& parameters, ovloCallbacks callbacks) {
  if (!onlyTextAndNumbers(parameters)) return nullptr;
  return method == kMethodGet ? getWithPath(path, parameters, std::move(callbacks))
                              : postWithPath(path, parameters, std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloRequest::requestWithPath(
    const std::string& path, const Dictionary& parameters,
    const std::vector<std::string>& contentNames, const std::vector<Bytes>& contentData,
    const std::vector<std::string>& contentTypes, ovloCallbacks callbacks) {
  const auto signedParameters = buildHTTPParamWithSignature(parameters);
  if (!signedParameters) return nullptr;
  HttpRequest request;
  request.method = "POST";
  request.url = joinUrl(baseUrl_, path);
  request.fields = fieldsOf(*signedParameters);
  for (size_t i = 0; i < contentData.size(); ++i) {
    const std::string name = i < contentNames.size() ? contentNames[i] : "file" + std::to_string(i);
    request.parts.push_back(
        HttpPart{name, name, i < contentTypes.size() ? contentTypes[i] : "application/octet-stream",
                 contentData[i]});
  }
  return send(std::move(request), std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloRequest::postWithPath(const std::string& path,
                                                         const Dictionary& parameters,
                                                         ovloCallbacks callbacks) {
  HttpRequest request;
  request.method = "POST";
  request.url = joinUrl(baseUrl_, path);
  request.fields = fieldsOf(parameters);
  return send(std::move(request), std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloRequest::getWithPath(const std::string& path,
                                                        const Dictionary& parameters,
                                                        ovloCallbacks callbacks) {
  HttpRequest request;
  request.url = joinUrl(baseUrl_, path);
  const std::string query = HttpEngine::formEncode(fieldsOf(parameters));
  if (!query.empty()) request.url += "?" + query;
  return send(std::move(request), std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloRequest::send(HttpRequest request, ovloCallbacks callbacks) {
  HttpCallbacks hooks;
  ThreadPool& pool = env_.background();
  hooks.deliver = [&pool](Task task) { pool.post(std::move(task)); };
  hooks.onUploadProgress = callbacks.uploadProgress;
  hooks.onDownloadProgress = callbacks.downloadProgress;
  if (callbacks.error) {
    hooks.onError = [error = callbacks.error](HttpOperation& operation, const Error& problem) {
      error(operation, problem);
    };
  }
  if (callbacks.completion) {
    hooks.onCompletion = [completion = callbacks.completion](HttpOperation& operation,
                                                             const HttpResponse& answer) {
      ovloRequestResponse response;
      response.data = answer.body;
      response.operation = operation.shared_from_this();
      response.responseString = answer.bodyText();
      if (auto json = parseJson(response.responseString); json.ok())
        response.responseJSON = std::move(*json);
      completion(response);
    };
  }
  return engine_->enqueue(std::move(request), std::move(hooks));
}

}  // namespace mr
