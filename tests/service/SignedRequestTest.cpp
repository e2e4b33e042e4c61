#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "service/ovloAuth.h"
#include "service/ovloConnectionAPI.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

Bytes bytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(HmacTest, Rfc2202Vectors) {
  EXPECT_EQ(hexStringFromData(hmacSha1(std::string(20, '\x0b'), "Hi There")),
            "b617318655057264e28bc0b6fb378c8ef146be00");
  EXPECT_EQ(hexStringFromData(hmacSha1("Jefe", "what do ya want for nothing?")),
            "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79");
  EXPECT_EQ(hexStringFromData(hmacSha1(std::string(20, '\xaa'), std::string(50, '\xdd'))),
            "125d7342b9ac11cd91a39af48aa17b4f63f175d3");
  EXPECT_EQ(hexStringFromData(hmacSha1(std::string(80, '\xaa'),
                                       "Test Using Larger Than Block-Size Key - Hash Key First")),
            "aa4ae5e15272d00e95705637ce8a3b55ed402112");
}

struct SignedFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<HttpEngine> engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  ovloRequest request{testEnv.env(), engine, "http://127.0.0.1:9"};

  void signIn() {
    ovloAccount account(testEnv.settings());
    ASSERT_TRUE(account.setAccountID(15).ok());
    ASSERT_TRUE(account.setAccessTokenPublic("pub").ok());
    ASSERT_TRUE(account.setAccessTokenPrivate("priv").ok());
  }
};

TEST_F(SignedFixture, TheExampleSignatureMatchesAnIndependentHmac) {
  signIn();
  Dictionary parameters{{"b", Value(2)}, {"A", Value("x y")}};
  const std::string canonical = *NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters);
  EXPECT_EQ(canonical, "A=x%20y&b=2");
  const std::string expected = base64StringFromData(hmacSha1("1571400000000pubpriv", canonical));
  EXPECT_EQ(request.buildSignatureWithData(canonical, 1400000000, 7), expected);
  EXPECT_EQ(expected.size(), 28u);
  EXPECT_EQ(ovloRequest::signature("", 15, 1400000000, 7, "pub", "priv"),
            base64StringFromData(hmacSha1("1571400000000pubpriv", "")));
}

TEST_F(SignedFixture, SignedParametersCarryTheFiveExtras) {
  signIn();
  testEnv.clock().setDate(Date{1400000000.75});
  const auto signedParameters = request.buildHTTPParamWithSignature(Dictionary{{"b", Value(2)}});
  ASSERT_TRUE(signedParameters);
  EXPECT_EQ(*signedParameters->find("__aid")->asString(), "15");
  EXPECT_EQ(*signedParameters->find("__ts")->asString(), "1400000000");
  EXPECT_EQ(*signedParameters->find("__pt")->asString(), "pub");
  const int64_t nonce = stringIntegerValue(*signedParameters->find("__n")->asString());
  EXPECT_GE(nonce, 0);
  EXPECT_LT(nonce, int64_t{1} << 31);
  EXPECT_EQ(
      *signedParameters->find("__s")->asString(),
      ovloRequest::signature("b=2", 15, 1400000000, static_cast<uint64_t>(nonce), "pub", "priv"));
  EXPECT_EQ(signedParameters->find("priv"), nullptr);
  for (const auto& [key, value] : *signedParameters)
    EXPECT_NE(value, Value("priv")) << key;
}

TEST_F(SignedFixture, NothingIsSignedWithoutAnAccountOrWithAnArray) {
  EXPECT_FALSE(request.buildHTTPParamWithSignature({}));
  bool called = false;
  ovloCallbacks callbacks;
  callbacks.completion = [&](const ovloRequestResponse&) { called = true; };
  callbacks.error = [&](HttpOperation&, const Error&) { called = true; };
  EXPECT_EQ(request.requestWithPath("fan/add", 0, {}, callbacks), nullptr);
  signIn();
  EXPECT_TRUE(request.buildHTTPParamWithSignature({}));
  EXPECT_EQ(request.requestWithPath("fan/add", 0, Dictionary{{"list", Value::array()}}, callbacks),
            nullptr);
  engine.reset();
  EXPECT_FALSE(called);
}

TEST(EnvelopeTest, ErrorCodesResultsAndMessages) {
  const auto ok = ovloRequestAPIResult::resultWithResponseData(
      bytesOf(R"({"error":0,"result":[1],"errmsg":null})"));
  ASSERT_TRUE(ok);
  EXPECT_TRUE(ok->successful());
  EXPECT_TRUE(ok->result->isArray());
  const auto missing = ovloRequestAPIResult::resultWithResponseData(bytesOf(R"({"result":{}})"));
  EXPECT_EQ(missing->errorCode, -1);
  const auto text = ovloRequestAPIResult::resultWithResponseData(bytesOf(R"({"error":"0"})"));
  EXPECT_EQ(text->errorCode, -1);  // a number, not a text that looks like one
  const auto failed =
      ovloRequestAPIResult::resultWithResponseData(bytesOf(R"({"error":12,"errmsg":"nope"})"));
  EXPECT_EQ(failed->errorMessageText(), "nope");
  EXPECT_FALSE(ovloRequestAPIResult::resultWithResponseData(bytesOf("[1]")));
  EXPECT_FALSE(ovloRequestAPIResult::resultWithResponseData(bytesOf("<html>")));
}

TEST(AccountTest, StoredAccountsAndTheirRules) {
  Settings settings;
  ovloAccount account(settings);
  EXPECT_FALSE(account.isAuthorized());
  EXPECT_FALSE(account.setWithDictionary(
      *parseJson(R"({"aid": 0, "token": {"private": "a", "public": "b"}})")));
  EXPECT_FALSE(account.setWithDictionary(*parseJson(R"({"aid": 12, "token": "x"})")));
  EXPECT_FALSE(settings.hasKey(ovloAccount::kID));
  ASSERT_TRUE(account.setConsumerID("old").ok());
  ASSERT_TRUE(account.setWithDictionary(*parseJson(
      R"({"aid": 12, "aname": "listener", "token": {"private": "a", "public": "b"},
          "profile": {"country": "jp", "birth": 1990, "sex": 2}})")));
  EXPECT_TRUE(account.isAuthorized());
  EXPECT_EQ(account.accountName(), "listener");
  EXPECT_FALSE(account.consumerID().has_value());  // the result had none
  EXPECT_EQ(account.profile().countryCode(), "jp");
  EXPECT_EQ(account.profile().birthYear(), 1990);

  ASSERT_TRUE(account.setAccountPass("secret").ok());
  EXPECT_EQ(account.accountPass(), "secret");
  EXPECT_FALSE(settings.hasKey(ovloAccount::kPass));  // never written down
  ASSERT_TRUE(account.logout().ok());
  EXPECT_FALSE(account.isAuthorized());
  EXPECT_EQ(account.accountID(), 0);
  EXPECT_FALSE(account.accountPass().has_value());
  EXPECT_EQ(account.profile().countryCode(), "jp");  // the profile stays

  auto profile = account.profile();
  ASSERT_TRUE(profile.setCountryCode("usa").ok());
  EXPECT_EQ(profile.countryCode(), "jp");
  ASSERT_TRUE(profile.setCountryCode("De").ok());
  EXPECT_EQ(profile.countryCode(), "De");
  ASSERT_TRUE(profile.setCountryCode(std::nullopt).ok());
  EXPECT_EQ(profile.countryCode().size(), 2u);  // the locale's region, lower case
}

TEST(ConnectionListTest, UpsertRemoveAndArchive) {
  Settings settings;
  ovloConnectionList list(settings);
  list.setItemsWithArray(*parseJson(R"([{"service": "facebook", "name": "A", "aid": 1, "cid": 10,
      "exclusive": {"k": 1}}, {"service": "twitter", "cid": 11}, {"service": "facebook", "cid": 12}])"));
  EXPECT_EQ(list.itemsOfService("facebook").size(), 2u);
  EXPECT_EQ(list.itemsOfServiceWithArray({"twitter", "facebook"}).size(), 3u);
  ovloConnectionItem moved = *list.itemWithCid(10);
  moved.name = "renamed";
  list.upsertWithItem(moved);
  EXPECT_EQ(list.items().back().cid, 10);
  EXPECT_EQ(list.items().back().name, "renamed");
  EXPECT_EQ(list.items().size(), 3u);
  list.removeItemWithCid(11);
  EXPECT_FALSE(list.itemWithCid(11));
  list.save();

  ovloConnectionList reloaded(settings);
  ASSERT_EQ(reloaded.items().size(), 2u);
  EXPECT_EQ(reloaded.items(), list.items());
  EXPECT_TRUE(reloaded.items().back().exclusive.has_value());
  settings.setObject(ovloConnectionList::kSettingsKey, Value(Bytes{'x'})).ok();
  reloaded.load();
  EXPECT_TRUE(reloaded.items().empty());
  list.setItemsWithArray(Value("not a list"));
  EXPECT_TRUE(list.items().empty());
}

// The authentication and connection calls against a stand-in server.
struct ServerFixture : SignedFixture {
  httplib::Server server;
  int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread{[this] { server.listen_after_bind(); }};
  std::string base = "http://127.0.0.1:" + std::to_string(port);

  ServerFixture() {
    // stop() does nothing before the server listens; and one request per
    // connection lets it stop without waiting out a kept-alive one.
    server.set_keep_alive_max_count(1);
    while (!server.is_running())
      std::this_thread::yield();
  }
  std::mutex mutex;
  std::condition_variable cv;
  std::map<std::string, std::string> lastFields;

  ~ServerFixture() override {
    server.stop();
    thread.join();
  }
  void record(const httplib::Request& request) {
    std::lock_guard guard(mutex);
    lastFields.clear();
    for (const auto& [key, value] : request.params)
      lastFields[key] = value;
  }
  template <class Done>
  bool waitFor(Done done) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(20), done);
  }
};

TEST_F(ServerFixture, LogInStoresTheAccountAndAResultWithoutOneIs1401) {
  server.Post("/auth/login", [&](const httplib::Request& request, httplib::Response& response) {
    record(request);
    response.set_content(
        R"({"error":0,"result":{"aid":42,"aname":"me","token":{"private":"s","public":"p","consumer_id":"c"}}})",
        "application/json");
  });
  server.Post("/auth/signup", [&](const httplib::Request& request, httplib::Response& response) {
    record(request);
    response.set_content(R"({"error":0,"result":{"aid":0}, "errmsg":"no account"})",
                         "application/json");
  });
  ovloAuth auth(testEnv.env(), engine, base);
  EXPECT_EQ(auth.loginWithUser(std::nullopt, "p", "c", nullptr, nullptr), nullptr);
  std::optional<std::tuple<bool, int32_t, std::string>> outcome;
  const auto completion = [&](bool success, int32_t code, std::string message) {
    std::lock_guard guard(mutex);
    outcome = std::make_tuple(success, code, message);
    cv.notify_all();
  };
  ASSERT_NE(auth.loginWithUser("me", "secret", "net.mirelune.desktop", completion, nullptr),
            nullptr);
  ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }));
  EXPECT_EQ(*outcome, std::make_tuple(true, 0, std::string()));
  EXPECT_EQ(lastFields["user"], "me");
  EXPECT_EQ(lastFields["pass"], "secret");
  EXPECT_EQ(lastFields.count("__s"), 0u);  // unsigned
  ovloAccount account(testEnv.settings());
  EXPECT_TRUE(account.isAuthorized());
  EXPECT_EQ(account.consumerID(), "net.mirelune.desktop");
  EXPECT_EQ(account.accountPass(), "secret");

  outcome.reset();
  ASSERT_NE(auth.signupWithUser("new", "pw", "c", "jp", 0, 1, completion, nullptr), nullptr);
  ASSERT_TRUE(waitFor([&] { return outcome.has_value(); }));
  EXPECT_EQ(*outcome, std::make_tuple(false, 1401, std::string("no account")));
  EXPECT_EQ(lastFields["country"], "JP");
  EXPECT_EQ(lastFields.count("birth"), 0u);
  EXPECT_EQ(lastFields["sex"], "1");
}

TEST_F(ServerFixture, ConnectionsAreFetchedAddedAndInvalidated) {
  signIn();
  server.Post("/connect/get", [&](const httplib::Request& request, httplib::Response& response) {
    record(request);
    response.set_content(R"([{"service":"facebook","cid":5},{"service":"twitter","cid":6}])",
                         "application/json");
  });
  server.Post("/connect/add", [&](const httplib::Request& request, httplib::Response& response) {
    record(request);
    response.set_content(R"({"error":0,"result":{"service":"twitter","cid":6,"name":"new"}})",
                         "application/json");
  });
  server.Post("/connect/invalidate",
              [&](const httplib::Request& request, httplib::Response& response) {
                record(request);
                response.set_content(" true", "text/plain");
              });
  auto list = std::make_shared<ovloConnectionList>(testEnv.settings());
  ovloConnectionAPI connections(testEnv.env(), engine, base, list);
  bool retrieved = false;
  connections.getConnectionsWithRetrievedBlock(
      [&](ovloConnectionList& got) {
        std::lock_guard guard(mutex);
        retrieved = got.items().size() == 2;
        cv.notify_all();
      },
      nullptr);
  ASSERT_TRUE(waitFor([&] { return retrieved; }));
  EXPECT_EQ(lastFields["array"], "1");
  EXPECT_EQ(lastFields["__aid"], "15");

  bool added = false;
  connections.addConnectionWithAccessToken(
      Dictionary{{"token", Value("t")}}, "twitter",
      [&](bool success, std::optional<ovloConnectionItem> item) {
        std::lock_guard guard(mutex);
        added = success && item && item->name == "new";
        cv.notify_all();
      },
      nullptr);
  ASSERT_TRUE(waitFor([&] { return added; }));
  EXPECT_EQ(list->items().back().name, "new");  // upserted to the end
  EXPECT_EQ(lastFields["service_name"], "twitter");

  std::optional<bool> invalidated;
  connections.invalidateConnectionWithCid(
      5,
      [&](bool success) {
        std::lock_guard guard(mutex);
        invalidated = success;
        cv.notify_all();
      },
      nullptr);
  ASSERT_TRUE(waitFor([&] { return invalidated.has_value(); }));
  EXPECT_TRUE(*invalidated);
  EXPECT_FALSE(list->itemWithCid(5));
  EXPECT_EQ(lastFields["cid"], "5");
}

TEST_F(ServerFixture, BrowserAddressesAreSignedOrAbsent) {
  auto list = std::make_shared<ovloConnectionList>(testEnv.settings());
  ovloConnectionAPI connections(testEnv.env(), engine, base, list);
  ovloAuth auth(testEnv.env(), engine, base);
  EXPECT_FALSE(connections.URLForAddingConnection({}));
  const std::string autoLogin = auth.autoLogInURLForPageId("account/manage", {});
  EXPECT_EQ(autoLogin, testEnv.env().config().ovloWebBaseUrl + "/method/auto_login?");
  signIn();
  const auto adding = connections.URLForAddingConnectionWithConsumerId(
      "c", "facebook", connections.oauthCompletionUrl(), Dictionary{{"appid", Value("42")}});
  ASSERT_TRUE(adding);
  EXPECT_EQ(adding->rfind(base + "/connect/oauth_prepare?", 0), 0u);
  EXPECT_NE(adding->find("return_to=https%3A%2F%2Fwww.mirelune.net%2Fapp%2Fmac%2Foauth-complete"),
            std::string::npos);
  EXPECT_NE(adding->find("__s="), std::string::npos);
  EXPECT_NE(auth.autoLogInURLForPageId("account/manage", {}).find("page_id=account%2Fmanage"),
            std::string::npos);
}

}  // namespace
}  // namespace mr
