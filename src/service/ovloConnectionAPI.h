// The account's connections on the ovlo platform, and the browser addresses
// for managing and adding them.
#pragma once

#include <functional>

#include "service/ovloConnectionList.h"
#include "service/ovloRequest.h"

namespace mr {

class ovloConnectionAPI : public ovloAPI {
 public:
  // `list` receives what the platform answers.
  ovloConnectionAPI(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl,
                    std::shared_ptr<ovloConnectionList> list);
  static std::shared_ptr<ovloConnectionAPI> sharedInstance();
  static void setSharedInstance(std::shared_ptr<ovloConnectionAPI> instance);

  // The bare array of connections replaces the list; `retrieved` gets the
  // list. An answer that is not an array calls nothing.
  std::shared_ptr<HttpOperation> getConnectionsWithRetrievedBlock(
      std::function<void(ovloConnectionList&)> retrieved, std::function<void(const Error&)> failed);
  // On success the new connection is upserted into the list.
  std::shared_ptr<HttpOperation> addConnectionWithAccessToken(
      const Dictionary& accessToken, const std::optional<std::string>& serviceName,
      std::function<void(bool success, std::optional<ovloConnectionItem> item)> onCompletion,
      std::function<void(const Error&)> onFailed);
  // The answer is a bare boolean text; when true the connection leaves the list.
  std::shared_ptr<HttpOperation> invalidateConnectionWithCid(
      int64_t cid, std::function<void(bool success)> completion,
      std::function<void(const Error&)> error);

  // Browser addresses; nullopt when the account cannot sign.
  std::optional<std::string> URLForManagingConnections(const Dictionary& parameters) const;
  std::optional<std::string> URLForManagingConnectionsWithConsumerId(
      const std::string& consumerId, const std::string& bridgeName) const;
  std::optional<std::string> URLForAddingConnection(const Dictionary& parameters) const;
  // `returnToUrl` is the Mirelune web site's OAuth-completion page.
  std::optional<std::string> URLForAddingConnectionWithConsumerId(
      const std::string& consumerId, const std::string& bridgeName, const std::string& returnToUrl,
      const Dictionary& parameters) const;
  // "<Mirelune web site>/app/mac/oauth-complete".
  std::string oauthCompletionUrl() const;

  ovloConnectionList& list() const { return *list_; }

 private:
  std::shared_ptr<ovloConnectionList> list_;
};

}  // namespace mr
