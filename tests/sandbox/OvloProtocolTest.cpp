#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxError;
using test::SandboxAccount;
using test::SandboxFixture;

constexpr int64_t code(SandboxError error) {
  return static_cast<int64_t>(error);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

using OvloProtocolTest = SandboxFixture;

TEST_F(OvloProtocolTest, SignUpAndLogInAnswerTheAccountObject) {
  const Value signup = bodyJson(postForm("/auth/signup", {{"user", "alice"},
                                                          {"pass", "s3cret word"},
                                                          {"consumer_id", "net.mirelune.test"},
                                                          {"country", "JP"},
                                                          {"lang", "ja"},
                                                          {"birth", "1990"},
                                                          {"sex", "1"}}));
  ASSERT_EQ(errorCode(signup), 0) << toJson(signup);
  EXPECT_EQ(signup.stringForKey("errmsg", "?"), "");
  const Value& account = *signup.get("result");
  const int64_t aid = account.integerForKey("aid", 0);
  EXPECT_GT(aid, 0);
  EXPECT_EQ(account.stringForKey("aname", ""), "alice");
  EXPECT_EQ(account.stringForKeyPath("token/consumer_id", ""), "net.mirelune.test");
  EXPECT_EQ(account.stringForKeyPath("token/public", "").size(), 32u);
  EXPECT_EQ(account.stringForKeyPath("token/private", "").size(), 40u);
  EXPECT_EQ(account.stringForKeyPath("profile/country", ""), "jp");
  EXPECT_EQ(account.intForKeyPath("profile/birth", 0), 1990);
  EXPECT_EQ(account.intForKeyPath("profile/sex", 0), 1);

  const Value login = bodyJson(postForm(
      "/auth/login",
      {{"user", "alice"}, {"pass", "s3cret word"}, {"consumer_id", "other"}, {"lang", "en"}}));
  ASSERT_EQ(errorCode(login), 0) << toJson(login);
  EXPECT_EQ(login.intForKeyPath("result/aid", 0), aid);
  EXPECT_EQ(login.stringForKeyPath("result/token/consumer_id", ""), "other");
  // Each log-in has tokens of its own.
  EXPECT_NE(login.stringForKeyPath("result/token/public", ""),
            account.stringForKeyPath("token/public", ""));
  EXPECT_EQ(server->accountId("ALICE"), aid);
}

TEST_F(OvloProtocolTest, ThePasswordIsNeverStored) {
  signUp("bob", "unmistakable-password-42");
  server->stop();  // flushes the write-ahead log into the file
  std::string stored;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("sandbox")))
    stored += readAll(entry.path().string());
  EXPECT_NE(stored.find("bob"), std::string::npos);
  EXPECT_EQ(stored.find("unmistakable-password-42"), std::string::npos);
}

TEST_F(OvloProtocolTest, AuthenticationFailuresHaveStableCodes) {
  signUp("carol", "right");
  const auto login = [&](const std::string& user, const std::string& pass) {
    return bodyJson(
        postForm("/auth/login", {{"user", user}, {"pass", pass}, {"consumer_id", "c"}}));
  };
  Value answer = login("carol", "wrong");
  EXPECT_EQ(errorCode(answer), code(SandboxError::WrongPassword));
  EXPECT_EQ(answer.stringForKey("errmsg", ""), "the password does not match");
  EXPECT_TRUE(answer.get("result")->isNull());
  EXPECT_EQ(errorCode(login("dave", "right")), code(SandboxError::UnknownUser));
  EXPECT_EQ(errorCode(bodyJson(postForm("/auth/login", {{"user", "carol"}, {"pass", "right"}}))),
            code(SandboxError::MissingField));

  const auto signup = [&](const std::string& user, const std::string& country,
                          const std::string& sex) {
    httplib::Params params{{"user", user}, {"pass", "p"}, {"consumer_id", "c"}};
    if (!country.empty()) params.emplace("country", country);
    if (!sex.empty()) params.emplace("sex", sex);
    return errorCode(bodyJson(postForm("/auth/signup", params)));
  };
  EXPECT_EQ(signup("Carol", "jp", "0"), code(SandboxError::UserNameTaken));
  EXPECT_EQ(signup("erin", "JPN", "0"), code(SandboxError::InvalidField));
  EXPECT_EQ(signup("erin", "jp", "male"), code(SandboxError::InvalidField));
  EXPECT_EQ(signup("erin", "jp", ""), code(SandboxError::MissingField));
  // Without a country the profile simply has none.
  EXPECT_EQ(signup("erin", "", "2"), 0);
}

TEST_F(OvloProtocolTest, AnExternalTokenAlwaysReachesTheSameAccount) {
  const auto proceed = [&](const httplib::Params& tokenFields) {
    httplib::Params params = tokenFields;
    params.emplace("consumer_id", "net.mirelune.test");
    params.emplace("lang", "en");
    return bodyJson(postForm("/auth/proceed", params));
  };
  const Value first = proceed({{"service_name", "facebook"}, {"access_token", "token-1"}});
  ASSERT_EQ(errorCode(first), 0) << toJson(first);
  const int64_t aid = first.intForKeyPath("result/aid", 0);
  EXPECT_GT(aid, 0);
  EXPECT_FALSE(first.stringForKeyPath("result/token/private", "").empty());
  const Value again = proceed({{"service_name", "facebook"}, {"access_token", "token-1"}});
  EXPECT_EQ(again.intForKeyPath("result/aid", 0), aid);
  const Value other = proceed({{"service_name", "facebook"}, {"access_token", "token-2"}});
  EXPECT_NE(other.intForKeyPath("result/aid", 0), aid);

  EXPECT_EQ(errorCode(proceed({{"service_name", "myspace"}, {"access_token", "t"}})),
            code(SandboxError::ExternalTokenRefused));
  EXPECT_EQ(errorCode(proceed({{"service_name", "twitter"}})),
            code(SandboxError::ExternalTokenRefused));
  EXPECT_EQ(errorCode(proceed({{"access_token", "t"}})), code(SandboxError::MissingField));

  // The account made for the token has that connection already.
  const SandboxAccount viaFacebook{aid, "", first.stringForKeyPath("result/token/public", ""),
                                   first.stringForKeyPath("result/token/private", "")};
  auto connections = postSigned("/connect/get", viaFacebook, {{"array", Value("1")}});
  ASSERT_TRUE(connections);
  const Value list = bodyJson(connections);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.asArray()->front().stringForKey("service", ""), "facebook");
}

TEST_F(OvloProtocolTest, ACorrectlySignedCallIsAnswered) {
  const SandboxAccount account = signUp("frank");
  auto answer = postSigned("/connect/get", account, {{"array", Value("1")}});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->body, "[]");  // a bare array, not the envelope
}

TEST_F(OvloProtocolTest, SignatureFailuresHaveTheirOwnCodes) {
  const SandboxAccount account = signUp("grace");
  const Dictionary parameters{{"array", Value("1")}, {"note", Value("x y&z")}};
  const auto send = [&](const httplib::Params& params) {
    return errorCode(bodyJson(client->Post("/connect/get", params)));
  };
  const auto replace = [](httplib::Params params, const std::string& key,
                          const std::string& value) {
    params.erase(key);
    params.emplace(key, value);
    return params;
  };

  // A signature that does not match, or parameters changed after signing.
  httplib::Params tampered = signedParams(account, parameters, 1);
  std::string signature = tampered.find("__s")->second;
  signature[3] = signature[3] == 'A' ? 'B' : 'A';
  EXPECT_EQ(send(replace(tampered, "__s", signature)), code(SandboxError::SignatureMismatch));
  EXPECT_EQ(send(replace(signedParams(account, parameters, 2), "note", "x y&w")),
            code(SandboxError::SignatureMismatch));
  // Missing or malformed signature parameters.
  EXPECT_EQ(send({{"array", "1"}}), code(SandboxError::SignatureMissing));
  httplib::Params noSignature = signedParams(account, parameters, 3);
  noSignature.erase("__s");
  EXPECT_EQ(send(noSignature), code(SandboxError::SignatureMissing));
  EXPECT_EQ(send(replace(signedParams(account, parameters, 4), "__n", "seven")),
            code(SandboxError::SignatureMissing));
  // An account that does not exist, or a token that is not its own.
  SandboxAccount stranger = account;
  stranger.aid = account.aid + 100;
  EXPECT_EQ(send(signedParams(stranger, parameters, 5)), code(SandboxError::UnknownAccount));
  SandboxAccount forged = account;
  forged.publicToken = std::string(32, 'f');
  EXPECT_EQ(send(signedParams(forged, parameters, 6)), code(SandboxError::TokenNotIssued));

  // A refused request does not use up its nonce; a served one does.
  auto served = client->Post("/connect/get", signedParams(account, parameters, 1));
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, "[]");
  const httplib::Params replayed = signedParams(account, parameters, 1);
  const Value refusal = bodyJson(client->Post("/connect/get", replayed));
  EXPECT_EQ(errorCode(refusal), code(SandboxError::NonceReplayed));
  EXPECT_FALSE(refusal.stringForKey("errmsg", "").empty());
  // Another account may use the same nonce.
  const SandboxAccount other = signUp("heidi");
  EXPECT_EQ(bodyJson(client->Post("/connect/get", signedParams(other, parameters, 1))).size(), 0u);
}

TEST_F(OvloProtocolTest, TheTimestampIsNotComparedWithTheClock) {
  const SandboxAccount account = signUp("ivan");
  clock.setDate(Date{86400.0});  // 1970: far from the server's own time
  auto answer = postSigned("/connect/get", account, {{"array", Value("1")}});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->body, "[]");
}

TEST_F(OvloProtocolTest, ConnectionsAreAddedListedAndInvalidated) {
  const SandboxAccount account = signUp("judy");
  const Value added = callSigned("/connect/add", account,
                                 {{"service_name", Value("twitter")},
                                  {"oauth_token", Value("t1")},
                                  {"oauth_token_secret", Value("s1")},
                                  {"screen_name", Value("judy_tw")}});
  ASSERT_EQ(errorCode(added), 0) << toJson(added);
  const Value& item = *added.get("result");
  EXPECT_EQ(item.stringForKey("service", ""), "twitter");
  EXPECT_EQ(item.stringForKey("name", ""), "judy_tw");
  EXPECT_EQ(item.integerForKey("aid", 0), account.aid);
  const int64_t cid = item.integerForKey("cid", 0);
  EXPECT_GT(cid, 0);
  // Adding the same identity again keeps its cid.
  const Value again = callSigned("/connect/add", account,
                                 {{"service_name", Value("twitter")},
                                  {"oauth_token", Value("t1")},
                                  {"oauth_token_secret", Value("s1")},
                                  {"screen_name", Value("judy_tw")}});
  EXPECT_EQ(again.intForKeyPath("result/cid", 0), cid);

  const Value list = bodyJson(postSigned("/connect/get", account, {{"array", Value("1")}}));
  ASSERT_TRUE(list.isArray());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.asArray()->front(), item);

  // Someone else cannot take the identity or remove the connection.
  const SandboxAccount other = signUp("ken");
  EXPECT_EQ(errorCode(callSigned("/connect/add", other,
                                 {{"service_name", Value("twitter")},
                                  {"oauth_token", Value("t1")},
                                  {"oauth_token_secret", Value("s1")},
                                  {"screen_name", Value("judy_tw")}})),
            code(SandboxError::ExternalIdentityTaken));
  auto foreign = postSigned("/connect/invalidate", other, {{"cid", Value(cid)}});
  ASSERT_TRUE(foreign);
  EXPECT_EQ(foreign->body, "false");

  auto removed = postSigned("/connect/invalidate", account, {{"cid", Value(cid)}});
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->body, "true");
  EXPECT_EQ(postSigned("/connect/invalidate", account, {{"cid", Value(cid)}})->body, "false");
  EXPECT_EQ(postSigned("/connect/get", account, {{"array", Value("1")}})->body, "[]");
}

TEST_F(OvloProtocolTest, AccountPagesCheckTheSignatureOfTheirQuery) {
  const SandboxAccount account = signUp("laura");
  const auto pageUrl = [&](const std::string& path, const Dictionary& parameters) {
    httplib::Params params = signedParams(account, parameters);
    Dictionary all;
    for (const auto& [key, value] : params)
      all.set(key, Value(value));
    return path + "?" + NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(all).value();
  };

  auto page = client->Get(pageUrl("/method/auto_login", {{"page_id", Value("account/manage")}}));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("laura"), std::string::npos);
  EXPECT_NE(page->body.find("account/manage"), std::string::npos);

  // The sign-in page when signing failed on the client ("?" and nothing more).
  page = client->Get("/method/auto_login?");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("Sign in"), std::string::npos);

  std::string tampered = pageUrl("/method/auto_login", {{"page_id", Value("account/manage")}});
  tampered.replace(tampered.find("account%2Fmanage"), 16, "account%2Fother0");
  page = client->Get(tampered);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 403);

  page = client->Get("/connect/manage?consumer_id=c&bridge=facebook");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 401);
  page = client->Get(
      pageUrl("/connect/manage", {{"consumer_id", Value("c")}, {"bridge", Value("facebook")}}));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("No services are linked"), std::string::npos);
}

TEST_F(OvloProtocolTest, OAuthPreparationLinksTheServiceAndReturns) {
  const SandboxAccount account = signUp("mallory");
  const std::string returnTo = server->baseUrl() + "/app/mac/oauth-complete";
  Dictionary signedQuery;
  for (const auto& [key, value] :
       signedParams(account, {{"consumer_id", Value("net.mirelune.test")},
                              {"bridge", Value("facebook")},
                              {"return_to", Value(returnTo)},
                              {"appid", Value("1234")}})) {
    signedQuery.set(key, Value(value));
  }
  const std::string url = "/connect/oauth_prepare?" +
                          NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(signedQuery).value();
  auto redirect = client->Get(url);
  ASSERT_TRUE(redirect);
  EXPECT_EQ(redirect->status, 302);
  EXPECT_EQ(redirect->get_header_value("Location"), returnTo);

  const Value list = bodyJson(postSigned("/connect/get", account, {{"array", Value("1")}}));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.asArray()->front().stringForKey("service", ""), "facebook");
  EXPECT_EQ(list.asArray()->front().stringForKey("name", ""), "mallory on facebook");

  client->set_follow_location(true);
  auto followed = client->Get(url);  // the same signed link twice: its nonce is spent
  ASSERT_TRUE(followed);
  EXPECT_EQ(followed->status, 403);
}

}  // namespace
}  // namespace mr
