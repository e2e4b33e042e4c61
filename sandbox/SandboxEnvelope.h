// The answer envelope of the account platform and of the service,
// {"error": code, "result": ..., "errmsg": text}, and the codes the sandbox
// puts in it. The codes are stable; tests and clients may match them.
//
//   0     success ("errmsg" is "")
//   1100  a required field is missing
//   1101  no account has that user name
//   1102  the password does not match
//   1103  the user name is taken
//   1104  a field has an invalid value
//   1105  the external service is not supported or its access token is empty
//   1106  that external identity is linked to another account
//   2001  the signature parameters are missing or malformed
//   2002  the signature does not match the parameters
//   2003  no account has that ID
//   2004  the nonce was used before by that account
//   2005  the public token was not issued to that account
//   3001  a required parameter is missing
//   3002  a parameter has an invalid value (bad JSON, wrong kind, unknown shape)
//   3003  no such artist, track, badge, listener or notification
//   3004  a connection to share on is not one of the account's
//   5000  the sandbox failed inside (its data file, its random source)
//
// Errors travel inside the sandbox as mr::Error in kSandboxErrorDomain with
// one of these codes, and become an envelope at the edge.
#pragma once

#include <cstdint>
#include <string>

#include "base/Error.h"
#include "base/Value.h"

namespace mr::sandbox {

inline constexpr const char* kSandboxErrorDomain = "mirelune.sandbox";

enum class SandboxError : int32_t {
  MissingField = 1100,
  UnknownUser = 1101,
  WrongPassword = 1102,
  UserNameTaken = 1103,
  InvalidField = 1104,
  ExternalTokenRefused = 1105,
  ExternalIdentityTaken = 1106,
  SignatureMissing = 2001,
  SignatureMismatch = 2002,
  UnknownAccount = 2003,
  NonceReplayed = 2004,
  TokenNotIssued = 2005,
  MissingParameter = 3001,
  InvalidParameter = 3002,
  NotFound = 3003,
  UnknownConnection = 3004,
  InternalFailure = 5000,
};

Error sandboxError(SandboxError code, std::string message);

class SandboxEnvelope {
 public:
  static Value success(Value result);
  static Value failure(int64_t code, std::string message);
  // An error of the sandbox's domain keeps its code; any other (a store
  // failure) is reported as InternalFailure with its description.
  static Value failure(const Error& error);
};

}  // namespace mr::sandbox
