#include "service/ovloConnectionAPI.h"

#include "base/Url.h"

namespace mr {

namespace {
SharedInstance<ovloConnectionAPI>& slot() {
  static SharedInstance<ovloConnectionAPI> instance;
  return instance;
}
}  // namespace

ovloConnectionAPI::ovloConnectionAPI(const Env& env, std::shared_ptr<HttpEngine> engine,
                                     std::string baseUrl, std::shared_ptr<ovloConnectionList> list)
    : ovloAPI(env, std::move(engine), std::move(baseUrl)), list_(std::move(list)) {}

std::shared_ptr<ovloConnectionAPI> ovloConnectionAPI::sharedInstance() {
  return slot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<ovloConnectionAPI>(env, sharedHttpEngine(), env.config().ovloApiBaseUrl,
                                               ovloConnectionList::sharedConnectionList());
  });
}

void ovloConnectionAPI::setSharedInstance(std::shared_ptr<ovloConnectionAPI> instance) {
  slot().replace(std::move(instance));
}

std::shared_ptr<HttpOperation> ovloConnectionAPI::getConnectionsWithRetrievedBlock(
    std::function<void(ovloConnectionList&)> retrieved, std::function<void(const Error&)> failed) {
  ovloCallbacks callbacks;
  callbacks.completion = [list = list_, retrieved](const ovloRequestResponse& response) {
    if (!response.responseJSON || !response.responseJSON->isArray()) return;
    list->setItemsWithArray(*response.responseJSON);
    if (retrieved) retrieved(*list);
  };
  callbacks.error = [failed](HttpOperation&, const Error& error) {
    if (failed) failed(error);
  };
  return requestWithPath("connect/get", kMethodPost, Dictionary{{"array", Value("1")}},
                         std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloConnectionAPI::addConnectionWithAccessToken(
    const Dictionary& accessToken, const std::optional<std::string>& serviceName,
    std::function<void(bool, std::optional<ovloConnectionItem>)> onCompletion,
    std::function<void(const Error&)> onFailed) {
  if (!serviceName) return nullptr;
  Dictionary parameters = accessToken;
  parameters.set("service_name", Value(*serviceName));
  ovloCallbacks callbacks;
  callbacks.completion = [list = list_, onCompletion](const ovloRequestResponse& response) {
    const auto envelope = ovloRequestAPIResult::resultWithResponseData(response.data);
    std::optional<ovloConnectionItem> item;
    if (envelope && envelope->successful() && envelope->result &&
        envelope->result->isDictionary()) {
      item = ovloConnectionItem::connectionItemWithDictionary(*envelope->result);
      list->upsertWithItem(*item);
    }
    if (onCompletion) onCompletion(item.has_value(), item);
  };
  callbacks.error = [onFailed](HttpOperation&, const Error& error) {
    if (onFailed) onFailed(error);
  };
  return requestWithPath("connect/add", kMethodPost, parameters, std::move(callbacks));
}

std::shared_ptr<HttpOperation> ovloConnectionAPI::invalidateConnectionWithCid(
    int64_t cid, std::function<void(bool)> completion, std::function<void(const Error&)> error) {
  ovloCallbacks callbacks;
  callbacks.completion = [list = list_, cid, completion](const ovloRequestResponse& response) {
    const bool removed = stringBoolValue(response.responseString);
    if (removed) list->removeItemWithCid(cid);
    if (completion) completion(removed);
  };
  callbacks.error = [error](HttpOperation&, const Error& problem) {
    if (error) error(problem);
  };
  return requestWithPath("connect/invalidate", kMethodPost, Dictionary{{"cid", Value(cid)}},
                         std::move(callbacks));
}

std::optional<std::string> ovloConnectionAPI::URLForManagingConnections(
    const Dictionary& parameters) const {
  const auto query = buildHTTPQueryWithSignature(parameters);
  if (!query) return std::nullopt;
  return env().config().ovloWebBaseUrl + "/connect/manage?" + *query;
}

std::optional<std::string> ovloConnectionAPI::URLForManagingConnectionsWithConsumerId(
    const std::string& consumerId, const std::string& bridgeName) const {
  return URLForManagingConnections(
      Dictionary{{"consumer_id", Value(consumerId)}, {"bridge", Value(bridgeName)}});
}

std::optional<std::string> ovloConnectionAPI::URLForAddingConnection(
    const Dictionary& parameters) const {
  const auto query = buildHTTPQueryWithSignature(parameters);
  if (!query) return std::nullopt;
  return baseUrl() + "/connect/oauth_prepare?" + *query;
}

std::optional<std::string> ovloConnectionAPI::URLForAddingConnectionWithConsumerId(
    const std::string& consumerId, const std::string& bridgeName, const std::string& returnToUrl,
    const Dictionary& parameters) const {
  Dictionary withTarget = parameters;
  withTarget.set("consumer_id", Value(consumerId));
  withTarget.set("bridge", Value(bridgeName));
  withTarget.set("return_to", Value(returnToUrl));
  return URLForAddingConnection(withTarget);
}

std::string ovloConnectionAPI::oauthCompletionUrl() const {
  return env().config().mireluneWebBaseUrl + "/app/mac/oauth-complete";
}

}  // namespace mr
