#include "sandbox/SandboxTestSupport.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"

namespace mr::test {
namespace {

// HMAC-SHA1 of `canonical` keyed with aid, nonce, timestamp and both tokens, in Base64.
std::string signature(int64_t aid, int64_t nonce, int64_t timestamp, const std::string& publicToken,
                      const std::string& privateToken, const std::string& canonical) {
  const std::string key = std::to_string(aid) + std::to_string(nonce) + std::to_string(timestamp) +
                          publicToken + privateToken;
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(canonical.data()), canonical.size(), mac, &length);
  return base64StringFromData(Bytes(mac, mac + length));
}

}  // namespace

sandbox::SandboxServer::Options SandboxFixture::options() {
  sandbox::SandboxServer::Options options;
  options.dataFolder = dir.file("sandbox");
  options.clock = &clock;
  return options;
}

void SandboxFixture::start(const sandbox::SandboxServer::Options& options) {
  client.reset();
  if (server) server->stop();
  server = std::make_unique<sandbox::SandboxServer>(options);
  const Status started = server->start();
  ASSERT_TRUE(started.ok()) << started.error().toString();
  client = std::make_unique<httplib::Client>(server->baseUrl());
}

void SandboxFixture::TearDown() {
  client.reset();
  if (server) server->stop();
}

Value SandboxFixture::bodyJson(const httplib::Result& result) {
  if (!result) return Value();
  auto parsed = parseJson(result->body);
  return parsed.ok() ? parsed.value() : Value();
}

httplib::Result SandboxFixture::get(const std::string& path, const httplib::Params& params,
                                    const httplib::Headers& headers) {
  return client->Get(path, params, headers);
}

std::string SandboxFixture::local(const std::string& url) const {
  EXPECT_TRUE(url.starts_with(server->baseUrl())) << url;
  return url.substr(std::min(url.size(), server->baseUrl().size()));
}

SandboxAccount SandboxFixture::signUp(const std::string& user, const std::string& pass) {
  const Value envelope = bodyJson(client->Post("/auth/signup", httplib::Params{{"user", user},
                                                                               {"pass", pass},
                                                                               {"consumer_id", "c"},
                                                                               {"country", "JP"},
                                                                               {"lang", "ja"},
                                                                               {"sex", "1"}}));
  EXPECT_EQ(errorCode(envelope), 0) << toJson(envelope);
  const Value* result = envelope.get("result");
  if (result == nullptr) return {};
  return {result->integerForKey("aid", 0), result->stringForKey("aname", ""),
          result->stringForKeyPath("token/public", ""),
          result->stringForKeyPath("token/private", "")};
}

httplib::Params SandboxFixture::signedParams(const SandboxAccount& account,
                                             const Dictionary& parameters, int64_t nonce) {
  if (nonce < 0) nonce = nextNonce++;
  const auto timestamp = static_cast<int64_t>(clock.currentDate().secondsSince1970);
  const std::string canonical =
      NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters).value_or("");
  httplib::Params params;
  for (const auto& [key, value] : parameters)
    params.emplace(key, value.isString() ? *value.asString() : numberString(value));
  params.emplace("__aid", std::to_string(account.aid));
  params.emplace("__pt", account.publicToken);
  params.emplace("__ts", std::to_string(timestamp));
  params.emplace("__n", std::to_string(nonce));
  params.emplace("__s", signature(account.aid, nonce, timestamp, account.publicToken,
                                  account.privateToken, canonical));
  return params;
}

httplib::Result SandboxFixture::postSigned(const std::string& path, const SandboxAccount& account,
                                           const Dictionary& parameters) {
  return client->Post(path, signedParams(account, parameters));
}

Value SandboxFixture::callSigned(const std::string& path, const SandboxAccount& account,
                                 const Dictionary& parameters) {
  return bodyJson(postSigned(path, account, parameters));
}

httplib::Result SandboxFixture::postSignedMultipart(const std::string& path,
                                                    const SandboxAccount& account,
                                                    const Dictionary& parameters,
                                                    const httplib::MultipartFormDataItems& files) {
  httplib::MultipartFormDataItems items;
  for (const auto& [key, value] : signedParams(account, parameters))
    items.push_back({key, value, "", ""});
  items.insert(items.end(), files.begin(), files.end());
  return client->Post(path, items);
}

}  // namespace mr::test
