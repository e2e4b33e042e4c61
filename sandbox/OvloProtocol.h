// The ovlo account platform: its API host and its web host, played by one
// server.
//
// Unsigned form POSTs answering the envelope with the account object:
//   /auth/login    user, pass, consumer_id, lang
//   /auth/signup   user, pass, consumer_id, country, lang, birth (optional), sex
//   /auth/proceed  service_name, consumer_id, lang and the service's access-token
//                  fields; the same token always reaches the same account
// Signed POSTs:
//   /connect/get         a bare JSON array of connection dictionaries
//   /connect/add         access-token fields and service_name; the envelope
//                        with the connection dictionary
//   /connect/invalidate  cid; the bare text "true" or "false"
// Pages (GET), whose query is checked when it carries a signature:
//   /method/auto_login, /connect/manage, /connect/oauth_prepare (links the
//   "bridge" service at once and redirects to "return_to"), and the service
//   web site's /app/mac/oauth-complete.
//
// The sandbox never calls the social services: an access token stands for
// an identity, named by the MD5 of the token fields.
#pragma once

#include "sandbox/SandboxProtocol.h"

namespace mr::sandbox {

class OvloAccounts;
class SandboxStore;

class OvloProtocol final : public SandboxProtocol {
 public:
  OvloProtocol(SandboxStore& store, const OvloAccounts& accounts)
      : store_(store), accounts_(accounts) {}

  Status createSchema(Connection& db) override;
  void registerRoutes(SandboxRouter& router) override;

 private:
  SandboxStore& store_;
  const OvloAccounts& accounts_;
};

}  // namespace mr::sandbox
