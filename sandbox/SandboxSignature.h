// Checking signed requests as the services do. A signed request carries
// five extra parameters: "__aid" (account ID), "__pt" (public token), "__ts"
// (timestamp), "__n" (nonce) and "__s" (signature). The signature is
// HMAC-SHA1 in standard Base64 over the canonical query of the other
// parameters (NSHTTPQueryDictionary::buildQuery), keyed with the decimal
// account ID, nonce and timestamp followed by the public and the private
// token, with no separators. The timestamp is not compared with the clock:
// tests run on fake clocks.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Error.h"
#include "base/Value.h"

namespace mr::sandbox {

class OvloAccounts;
class SandboxStore;

class SandboxSignature {
 public:
  static constexpr std::array<const char*, 5> kParameterNames = {"__aid", "__s", "__pt", "__ts",
                                                                 "__n"};

  // Whether any of the five parameters is present.
  static bool isSigned(const Dictionary& parameters);

  // The Base64 signature of `canonical`.
  static std::string compute(int64_t aid, int64_t nonce, int64_t timestamp,
                             std::string_view publicToken, std::string_view privateToken,
                             std::string_view canonical);

  // Takes the five parameters out of `parameters` and checks them against
  // the rest; the account ID when they hold. Failures, in the order they are
  // checked: SignatureMissing, UnknownAccount, TokenNotIssued,
  // SignatureMismatch, NonceReplayed. The nonce is recorded only for a
  // request whose signature holds.
  static Result<int64_t> verify(Dictionary& parameters, SandboxStore& store,
                                const OvloAccounts& accounts);
};

}  // namespace mr::sandbox
