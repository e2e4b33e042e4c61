// The account platform's records: accounts (a salted PBKDF2 hash of the
// password, never the password), the access tokens issued at each log-in,
// the nonces of signed requests already seen, and the social-service
// connections. Every operation runs on a connection the caller holds inside
// a SandboxStore transaction; failures are sandbox errors (SandboxEnvelope.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/Clock.h"
#include "base/Error.h"
#include "base/Value.h"
#include "store/Connection.h"

namespace mr::sandbox {

struct OvloTokens {
  std::string publicToken;
  std::string privateToken;
  std::string consumerId;
};

struct OvloSignUp {
  std::string user;
  std::string pass;
  std::string country;  // two letters, any case, or empty
  int64_t birth = 0;    // 0 when not given
  int64_t sex = 0;
  std::string lang;
};

class OvloAccounts {
 public:
  explicit OvloAccounts(const Clock& clock) : clock_(clock) {}

  static Status createSchema(Connection& db);

  // The new account's ID; UserNameTaken when the name is in use (names
  // compare without regard to ASCII case), InvalidField for a bad country.
  Result<int64_t> signUp(Connection& db, const OvloSignUp& form) const;
  // The account's ID; UnknownUser or WrongPassword otherwise. An account made
  // through an external service has no password and never matches.
  Result<int64_t> authenticate(Connection& db, const std::string& user,
                               const std::string& pass) const;
  // A fresh random token pair for the account; earlier pairs stay valid, as
  // each installation keeps its own.
  Result<OvloTokens> issueTokens(Connection& db, int64_t aid, const std::string& consumerId) const;
  // {"aid", "aname", "token": {"private", "public", "consumer_id"},
  //  "profile": {"country", "birth", "sex"}}: what the client stores.
  Result<Value> accountObject(Connection& db, int64_t aid, const OvloTokens& tokens) const;

  // The private token of a pair issued to the account: UnknownAccount when
  // there is no such account, TokenNotIssued when the public token is not
  // one of its own.
  Result<std::string> privateToken(Connection& db, int64_t aid,
                                   const std::string& publicToken) const;
  // Records a signed request's nonce; NonceReplayed when the account used
  // it before.
  Status recordNonce(Connection& db, int64_t aid, int64_t nonce) const;

  // The account name, or NotFound.
  Result<std::string> accountName(Connection& db, int64_t aid) const;
  Result<std::optional<int64_t>> accountIdForName(Connection& db, const std::string& user) const;

  // The account linked to the external identity, made (without a password,
  // named after the service) with its connection when there is none.
  Result<int64_t> accountForExternalIdentity(Connection& db, const std::string& service,
                                             const std::string& externalId,
                                             const std::string& name) const;

  // Connection dictionaries {"service", "name", "aid", "cid"}, oldest first.
  Result<Value> connections(Connection& db, int64_t aid) const;
  // Links the external identity to the account (again, when it already is)
  // and answers its connection dictionary; ExternalIdentityTaken when it
  // belongs to another account.
  Result<Value> addConnection(Connection& db, int64_t aid, const std::string& service,
                              const std::string& externalId, const std::string& name) const;
  // Whether the account had that connection; it is gone afterwards.
  Result<bool> invalidateConnection(Connection& db, int64_t aid, int64_t cid) const;
  // Whether the connection is the account's.
  Result<bool> ownsConnection(Connection& db, int64_t aid, int64_t cid) const;

  // The external services connections can be made to.
  static bool isSupportedService(const std::string& service);

 private:
  int64_t now() const;

  const Clock& clock_;
};

}  // namespace mr::sandbox
