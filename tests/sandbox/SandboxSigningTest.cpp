// Signed calls checked as the real platform checks them: a request changed
// after signing, signed for someone else or sent twice is refused with a
// code of its own, whatever text it carries and however it is posted.
#include <atomic>
#include <thread>

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxError;
using test::SandboxAccount;
using SandboxSigningTest = test::SandboxFixture;

constexpr int64_t code(SandboxError error) {
  return static_cast<int64_t>(error);
}

httplib::Params replaced(httplib::Params params, const std::string& key, const std::string& value) {
  params.erase(key);
  params.emplace(key, value);
  return params;
}

TEST_F(SandboxSigningTest, TamperedForeignAndReplayedRequestsAreRefusedWithTheirCodes) {
  const SandboxAccount account = signUp("grace");
  const Dictionary parameters{{"array", Value("1")}, {"note", Value("x y&z")}};
  const auto send = [&](const httplib::Params& params) {
    return errorCode(bodyJson(client->Post("/connect/get", params)));
  };
  httplib::Params tampered = signedParams(account, parameters, 1);
  std::string signature = tampered.find("__s")->second;
  signature[3] = signature[3] == 'A' ? 'B' : 'A';
  EXPECT_EQ(send(replaced(tampered, "__s", signature)), code(SandboxError::SignatureMismatch));
  EXPECT_EQ(send(replaced(signedParams(account, parameters, 2), "note", "x y&w")),
            code(SandboxError::SignatureMismatch));
  EXPECT_EQ(send({{"array", "1"}}), code(SandboxError::SignatureMissing));
  EXPECT_EQ(send(replaced(signedParams(account, parameters, 3), "__n", "seven")),
            code(SandboxError::SignatureMissing));
  SandboxAccount stranger = account;
  stranger.aid += 100;
  EXPECT_EQ(send(signedParams(stranger, parameters, 4)), code(SandboxError::UnknownAccount));
  SandboxAccount forged = account;
  forged.publicToken = std::string(32, 'f');
  EXPECT_EQ(send(signedParams(forged, parameters, 5)), code(SandboxError::TokenNotIssued));

  // A refused request does not use up its nonce; a served one does, for its account only.
  EXPECT_EQ(body(client->Post("/connect/get", signedParams(account, parameters, 1))), "[]");
  EXPECT_EQ(send(signedParams(account, parameters, 1)), code(SandboxError::NonceReplayed));
  EXPECT_EQ(body(client->Post("/connect/get", signedParams(signUp("heidi"), parameters, 1))), "[]");
  // The timestamp is signed but not held against the server's clock.
  clock.setDate(Date{86400.0});
  EXPECT_EQ(body(postSigned("/connect/get", account, {{"array", Value("1")}})), "[]");
}

TEST_F(SandboxSigningTest, SignaturesHoldForAnyTextAndCoverMultipartFieldsButNotFiles) {
  const SandboxAccount account = signUp("router");
  // Forms far beyond 8 KB too: a shared mix of 80 tracks is one.
  for (const std::string& text :
       {std::string("a+b c"), std::string("100% / ok?"), std::string("日本語のタイトル"),
        std::string("&=&="), std::string(), std::string(100000, 'x')}) {
    const Value answer = callSigned("/usage_log/search_keyword", account,
                                    {{"artistName", Value(text)}, {"Extra", Value(2)}});
    EXPECT_EQ(errorCode(answer), 0) << text.substr(0, 40) << ": " << toJson(answer).substr(0, 400);
  }
  const Value updated =
      bodyJson(postSignedMultipart("/listener_profile/update", account, {{"bio", Value("signed")}},
                                   {{"unused", "file", "unused", "text/plain"}}));
  EXPECT_EQ(updated.stringForKeyPath("result/bio", ""), "signed") << toJson(updated);

  httplib::MultipartFormDataItems items;
  for (const auto& [key, value] : signedParams(account, {}))
    items.push_back({key, value, "", ""});
  items.push_back({"bio", "slipped in", "", ""});
  EXPECT_EQ(errorCode(bodyJson(client->Post("/listener_profile/update", items))),
            code(SandboxError::SignatureMismatch));
}

TEST_F(SandboxSigningTest, ConcurrentCallsAreAllServedAndOneSentFromEveryThreadCountsOnce) {
  const SandboxAccount account = signUp("busy");
  constexpr int kThreads = 4;
  constexpr int kCalls = 5;
  const httplib::Params same = signedParams(account, {});
  std::vector<httplib::Params> own;
  for (int i = 0; i < kThreads * kCalls; ++i)
    own.push_back(signedParams(account, {}));
  std::atomic<int> served{0}, sameAccepted{0}, sameReplayed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      httplib::Client http(server->baseUrl());
      const auto send = [&](const httplib::Params& params) {
        return errorCode(bodyJson(http.Post("/usage_log/launch", params)));
      };
      const int64_t error = send(same);
      sameAccepted += error == 0;
      sameReplayed += error == code(SandboxError::NonceReplayed);
      for (int i = 0; i < kCalls; ++i)
        served += send(own[static_cast<size_t>(t * kCalls + i)]) == 0;
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(served, kThreads * kCalls);
  EXPECT_EQ(sameAccepted, 1);
  EXPECT_EQ(sameReplayed, kThreads - 1);
  EXPECT_EQ(server->launchCount(account.aid), kThreads * kCalls + 1);
}

TEST_F(SandboxSigningTest, BrowserPagesCheckTheSignatureOfTheirQueryAndSpendItsNonce) {
  const SandboxAccount account = signUp("laura");
  const auto pageUrl = [&](const std::string& path, const Dictionary& parameters) {
    Dictionary all;
    for (const auto& [key, value] : signedParams(account, parameters))
      all.set(key, Value(value));
    return path + "?" + NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(all).value();
  };
  const std::string manage = pageUrl("/method/auto_login", {{"page_id", Value("account/manage")}});
  auto page = client->Get(manage);
  EXPECT_EQ(status(page), 200);
  EXPECT_NE(body(page).find("laura"), std::string::npos);
  // The sign-in page when signing failed on the client ("?" and nothing more).
  EXPECT_NE(body(client->Get("/method/auto_login?")).find("Sign in"), std::string::npos);
  std::string tampered = pageUrl("/method/auto_login", {{"page_id", Value("account/manage")}});
  tampered.replace(tampered.find("account%2Fmanage"), 16, "account%2Fother0");
  EXPECT_EQ(status(client->Get(tampered)), 403);
  EXPECT_EQ(status(client->Get("/connect/manage?consumer_id=c&bridge=facebook")), 401);

  const std::string returnTo = server->baseUrl() + "/app/mac/oauth-complete";
  const std::string prepare = pageUrl("/connect/oauth_prepare", {{"consumer_id", Value("c")},
                                                                 {"bridge", Value("facebook")},
                                                                 {"return_to", Value(returnTo)},
                                                                 {"appid", Value("1234")}});
  auto redirect = client->Get(prepare);
  EXPECT_EQ(status(redirect), 302);
  EXPECT_EQ(redirect ? redirect->get_header_value("Location") : "", returnTo);
  const Value linked = bodyJson(postSigned("/connect/get", account, {{"array", Value("1")}}));
  ASSERT_EQ(linked.size(), 1u);
  EXPECT_EQ(linked.asArray()->front().stringForKey("service", ""), "facebook");
  EXPECT_EQ(status(client->Get(prepare)), 403);  // the same signed link twice
}

}  // namespace
}  // namespace mr
