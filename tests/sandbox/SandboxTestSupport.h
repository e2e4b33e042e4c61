// A sandbox on a free loopback port in a temporary folder, and a client
// that signs requests the way the application does, computed here on its
// own from OpenSSL's HMAC so the server's check is tested, not copied.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/Clock.h"
#include "base/Value.h"
#include "sandbox/SandboxServer.h"
#include "support/TempDir.h"

namespace mr::test {

struct SandboxAccount {
  int64_t aid = 0;
  std::string aname;
  std::string publicToken;
  std::string privateToken;
};

class SandboxFixture : public ::testing::Test {
 protected:
  void SetUp() override { start(options()); }
  void TearDown() override;

  sandbox::SandboxServer::Options options();
  // Starts a server with the options and points the client at it.
  void start(const sandbox::SandboxServer::Options& options);

  // The parsed JSON body; a null value when it is not JSON.
  static Value bodyJson(const httplib::Result& result);
  static int64_t errorCode(const Value& envelope) { return envelope.integerForKey("error", -1); }
  static int status(const httplib::Result& result) { return result ? result->status : 0; }
  static std::string body(const httplib::Result& result) { return result ? result->body : ""; }

  httplib::Result get(const std::string& path, const httplib::Params& params,
                      const httplib::Headers& headers = {});
  // The path and query of an address the sandbox gave.
  std::string local(const std::string& url) const;
  // Signs up through /auth/signup and fails the test when that does not work.
  SandboxAccount signUp(const std::string& user, const std::string& pass = "secret-pass");

  // The parameters with the five signature parameters added. The nonce is
  // fresh unless given.
  httplib::Params signedParams(const SandboxAccount& account, const Dictionary& parameters,
                               int64_t nonce = -1);
  httplib::Result postSigned(const std::string& path, const SandboxAccount& account,
                             const Dictionary& parameters = {});
  // The envelope of a signed POST.
  Value callSigned(const std::string& path, const SandboxAccount& account,
                   const Dictionary& parameters = {});
  // A signed multipart POST: the parameters and signature as form fields,
  // and each file part named as its field.
  httplib::Result postSignedMultipart(const std::string& path, const SandboxAccount& account,
                                      const Dictionary& parameters,
                                      const httplib::MultipartFormDataItems& files);

  TempDir dir;
  FakeClock clock{Date{1700000000.0}};
  std::unique_ptr<sandbox::SandboxServer> server;
  std::unique_ptr<httplib::Client> client;
  int64_t nextNonce = 1000;
};

}  // namespace mr::test
