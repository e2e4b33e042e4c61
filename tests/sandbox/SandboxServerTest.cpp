#include "sandbox/SandboxServer.h"

#include "base/AppConfig.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "sandbox/SandboxSignature.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxServer;
using sandbox::SandboxSignature;
using test::SandboxFixture;

TEST(SandboxSignatureTest, SignsTheCanonicalQueryWithTheAccountNonceTimeAndTokens) {
  Dictionary parameters{{"b", Value(2)}, {"A", Value("x y")}};
  const std::string canonical =
      NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters).value();
  EXPECT_EQ(canonical, "A=x%20y&b=2");
  const std::string signature =
      SandboxSignature::compute(15, 7, 1400000000, "pub", "priv", canonical);
  EXPECT_EQ(signature.size(), 28u);
  EXPECT_EQ(signature, test::expectedSignature(15, 7, 1400000000, "pub", "priv", canonical));
  EXPECT_NE(signature, test::expectedSignature(15, 8, 1400000000, "pub", "priv", canonical));
}

TEST(SandboxSignatureTest, TellsSignedParametersApart) {
  EXPECT_FALSE(SandboxSignature::isSigned(Dictionary{{"page_id", Value("account/manage")}}));
  EXPECT_TRUE(SandboxSignature::isSigned(Dictionary{{"__n", Value("1")}}));
}

TEST_F(SandboxFixture, ServesOnAFreeLoopbackPortUntilStopped) {
  EXPECT_TRUE(server->isRunning());
  EXPECT_GT(server->port(), 0);
  EXPECT_EQ(server->baseUrl(), "http://127.0.0.1:" + std::to_string(server->port()));
  EXPECT_TRUE(server->tlsBaseUrl().empty());
  EXPECT_TRUE(server->caCertificatePath().empty());
  EXPECT_TRUE(fileExists(dir.file("sandbox/sandbox.sqlite")));

  auto page = client->Get("/app/mac/oauth-complete");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("Service linked"), std::string::npos);

  server->stop();
  EXPECT_FALSE(server->isRunning());
  httplib::Client late(server->baseUrl());
  late.set_connection_timeout(1, 0);
  EXPECT_FALSE(late.Get("/app/mac/oauth-complete"));
  server->stop();  // a second stop is harmless
}

TEST_F(SandboxFixture, AnUnknownPathIsNotFound) {
  auto answer = postSigned("/no/such/call", test::SandboxAccount{});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 404);
}

TEST_F(SandboxFixture, ABusyPortIsAnErrorAndLeavesNothingRunning) {
  auto options = this->options();
  options.dataFolder = dir.file("second");
  options.port = server->port();
  SandboxServer second(options);
  const Status started = second.start();
  ASSERT_FALSE(started.ok());
  EXPECT_NE(started.error().description().find("cannot listen"), std::string::npos);
  EXPECT_FALSE(second.isRunning());
}

TEST_F(SandboxFixture, KeepsItsAccountsAcrossARestartInTheSameFolder) {
  const auto account = signUp("keeper");
  server->stop();
  server = std::make_unique<SandboxServer>(options());
  ASSERT_TRUE(server->start().ok());
  client = std::make_unique<httplib::Client>(server->baseUrl());
  EXPECT_EQ(server->accountId("keeper"), account.aid);
  const Value login = bodyJson(
      postForm("/auth/login", {{"user", "keeper"}, {"pass", "secret-pass"}, {"consumer_id", "c"}}));
  EXPECT_EQ(errorCode(login), 0);
  EXPECT_EQ(login.intForKeyPath("result/aid", 0), account.aid);
}

TEST_F(SandboxFixture, AddsAccountsForTestsWithoutHttp) {
  auto account = server->addAccount("direct", "pw");
  ASSERT_TRUE(account.ok()) << account.error().toString();
  EXPECT_EQ(account->stringForKey("aname", ""), "direct");
  test::SandboxAccount signer{account->integerForKey("aid", 0), "direct",
                              account->stringForKeyPath("token/public", ""),
                              account->stringForKeyPath("token/private", "")};
  EXPECT_EQ(errorCode(callSigned("/usage_log/launch", signer)), 0);
  EXPECT_EQ(server->launchCount(signer.aid), 1);
  EXPECT_FALSE(server->addAccount("direct", "again").ok());
  EXPECT_FALSE(server->accountId("nobody").has_value());
}

TEST_F(SandboxFixture, WritesAConfigurationTheClientAccepts) {
  ASSERT_TRUE(sandbox::writeClientConfig(*server, dir.file("config/config.json")).ok());
  auto config = AppConfig::load(dir.file("config/config.json"));
  ASSERT_TRUE(config.ok()) << config.error().toString();
  EXPECT_EQ(config->ovloApiBaseUrl, server->baseUrl());
  EXPECT_EQ(config->ovloWebBaseUrl, server->baseUrl());
  EXPECT_EQ(config->mireluneServiceBaseUrl, server->baseUrl());
  EXPECT_EQ(config->mireluneWebBaseUrl, server->baseUrl());
  EXPECT_TRUE(config->caFile.empty());
  EXPECT_EQ(config->lastfmBaseUrl, server->baseUrl());
  EXPECT_EQ(config->itunesSearchBaseUrl, server->baseUrl());
  EXPECT_EQ(config->videoApiBaseUrl, server->baseUrl());
  EXPECT_EQ(config->videoWatchBaseUrl, server->baseUrl());
  EXPECT_EQ(config->lastfmApiKey, AppConfig{}.lastfmApiKey);
  EXPECT_FALSE(fileExists(dir.file("config/ca.pem")));
}

class SandboxTlsTest : public SandboxFixture {
 protected:
  void SetUp() override {
    auto options = this->options();
    options.tlsPort = 0;
    server = std::make_unique<SandboxServer>(options);
    const Status started = server->start();
    ASSERT_TRUE(started.ok()) << started.error().toString();
    client = std::make_unique<httplib::Client>(server->baseUrl());
  }
};

TEST_F(SandboxTlsTest, AClientTrustingTheGeneratedAuthorityConnects) {
  ASSERT_FALSE(server->tlsBaseUrl().empty());
  EXPECT_EQ(server->tlsBaseUrl(), "https://127.0.0.1:" + std::to_string(server->tlsPort()));
  EXPECT_GT(server->tlsPort(), 0);
  EXPECT_NE(server->tlsPort(), server->port());
  EXPECT_TRUE(server->caCertificatePem().starts_with("-----BEGIN CERTIFICATE-----"));
  EXPECT_EQ(readFileToString(server->caCertificatePath()).valueOr(""), server->caCertificatePem());

  for (const std::string host : {"127.0.0.1", "localhost"}) {
    httplib::Client secure("https://" + host + ":" + std::to_string(server->tlsPort()));
    secure.set_ca_cert_path(server->caCertificatePath());
    secure.enable_server_certificate_verification(true);
    auto page = secure.Get("/app/mac/oauth-complete");
    ASSERT_TRUE(page) << host << ": " << httplib::to_string(page.error());
    EXPECT_EQ(page->status, 200);
  }
}

TEST_F(SandboxTlsTest, AClientWithoutTheAuthorityIsRefused) {
  httplib::Client secure(server->tlsBaseUrl());
  secure.enable_server_certificate_verification(true);
  auto page = secure.Get("/app/mac/oauth-complete");
  ASSERT_FALSE(page);
  EXPECT_EQ(page.error(), httplib::Error::SSLServerVerification);
}

TEST_F(SandboxTlsTest, SignedCallsWorkOverTls) {
  const auto account = signUp("secure");
  httplib::Client secure(server->tlsBaseUrl());
  secure.set_ca_cert_path(server->caCertificatePath());
  auto answer = secure.Post("/connect/get", signedParams(account, {{"array", Value("1")}}));
  ASSERT_TRUE(answer) << httplib::to_string(answer.error());
  EXPECT_EQ(answer->body, "[]");
}

TEST_F(SandboxTlsTest, TheConfigurationNamesTheHttpsAddressAndTheAuthority) {
  ASSERT_TRUE(sandbox::writeClientConfig(*server, dir.file("config/config.json")).ok());
  auto config = AppConfig::load(dir.file("config/config.json"));
  ASSERT_TRUE(config.ok()) << config.error().toString();
  EXPECT_EQ(config->ovloApiBaseUrl, server->tlsBaseUrl());
  EXPECT_EQ(config->mireluneServiceBaseUrl, server->tlsBaseUrl());
  EXPECT_EQ(config->lastfmBaseUrl, server->tlsBaseUrl());
  EXPECT_EQ(config->videoWatchBaseUrl, server->tlsBaseUrl());
  EXPECT_EQ(config->caFile, dir.file("config/ca.pem"));
  EXPECT_EQ(readFileToString(config->caFile).valueOr(""), server->caCertificatePem());
}

}  // namespace
}  // namespace mr
