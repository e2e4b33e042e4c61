#include "sandbox/SandboxSignature.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <charconv>
#include <optional>

#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "sandbox/OvloAccounts.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxStore.h"

namespace mr::sandbox {
namespace {

// A plain decimal: digits only, no sign, no white space, within int64.
std::optional<int64_t> decimal(const std::string& text) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end || text[0] == '-') {
    return std::nullopt;
  }
  return value;
}

}  // namespace

bool SandboxSignature::isSigned(const Dictionary& parameters) {
  for (const char* name : kParameterNames) {
    if (parameters.contains(name)) return true;
  }
  return false;
}

std::string SandboxSignature::compute(int64_t aid, int64_t nonce, int64_t timestamp,
                                      std::string_view publicToken, std::string_view privateToken,
                                      std::string_view canonical) {
  std::string key = std::to_string(aid) + std::to_string(nonce) + std::to_string(timestamp);
  key.append(publicToken);
  key.append(privateToken);
  Bytes mac(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(canonical.data()), canonical.size(), mac.data(),
       &length);
  mac.resize(length);
  return base64StringFromData(mac);
}

Result<int64_t> SandboxSignature::verify(Dictionary& parameters, SandboxStore& store,
                                         const OvloAccounts& accounts) {
  std::array<std::string, kParameterNames.size()> given;
  bool complete = true;
  for (size_t i = 0; i < kParameterNames.size(); ++i) {
    const Value* value = parameters.find(kParameterNames[i]);
    if (value != nullptr && value->isString()) {
      given[i] = *value->asString();
    } else {
      complete = false;
    }
    parameters.erase(kParameterNames[i]);
  }
  const std::string& signature = given[1];
  const std::string& publicToken = given[2];
  const auto aid = decimal(given[0]);
  const auto timestamp = decimal(given[3]);
  const auto nonce = decimal(given[4]);
  if (!complete || !aid || *aid <= 0 || !timestamp || !nonce || publicToken.empty() ||
      signature.empty()) {
    return sandboxError(SandboxError::SignatureMissing,
                        "the request is not signed (__aid, __pt, __ts, __n and __s are needed)");
  }
  // Every parameter is text on the wire, so the canonical string always builds.
  const std::string canonical =
      NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters).value_or("");

  return store.transaction([&](Connection& db) -> Result<int64_t> {
    auto privateToken = accounts.privateToken(db, *aid, publicToken);
    if (!privateToken.ok()) return privateToken.error();
    const std::string expected =
        compute(*aid, *nonce, *timestamp, publicToken, *privateToken, canonical);
    if (expected.size() != signature.size() ||
        CRYPTO_memcmp(expected.data(), signature.data(), expected.size()) != 0) {
      return sandboxError(SandboxError::SignatureMismatch,
                          "the signature does not match the parameters");
    }
    if (Status fresh = accounts.recordNonce(db, *aid, *nonce); !fresh.ok()) return fresh.error();
    return *aid;
  });
}

}  // namespace mr::sandbox
