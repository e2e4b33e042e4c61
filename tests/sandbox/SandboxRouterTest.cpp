#include <atomic>
#include <thread>
#include <vector>

#include "base/Json.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxError;
using test::SandboxAccount;
using SandboxRouterTest = test::SandboxFixture;

TEST_F(SandboxRouterTest, SignaturesHoldForAnyTextTheClientSends) {
  const SandboxAccount account = signUp("router");
  for (const std::string text : {"a+b c", "100% / ok?", "日本語のタイトル", "&=&=", ""}) {
    const Value answer = callSigned("/usage_log/search_keyword", account,
                                    {{"artistName", Value(text)}, {"Extra", Value(2)}});
    EXPECT_EQ(errorCode(answer), 0) << text << ": " << toJson(answer);
  }
}

TEST_F(SandboxRouterTest, MultipartFieldsAreSignedButFilePartsAreNot) {
  const SandboxAccount account = signUp("multipart");
  const std::string file =
      R"({"artistName":"A","trackTitle":"T","albumTitle":"","playCount":1,"iTunes":{}})"
      "\n";
  auto answer = postSignedMultipart("/listener_profile/update", account,
                                    {{"bio", Value("signed as a field")}},
                                    {{"unused", file, "unused", "text/plain"}});
  ASSERT_TRUE(answer);
  const Value envelope = bodyJson(answer);
  EXPECT_EQ(errorCode(envelope), 0) << answer->body;
  EXPECT_EQ(envelope.stringForKeyPath("result/bio", ""), "signed as a field");

  // A form field the signature did not cover is caught.
  httplib::MultipartFormDataItems items;
  for (const auto& [key, value] : signedParams(account, {}))
    items.push_back({key, value, "", ""});
  items.push_back({"bio", "slipped in", "", ""});
  EXPECT_EQ(errorCode(bodyJson(client->Post("/listener_profile/update", items))),
            static_cast<int64_t>(SandboxError::SignatureMismatch));
}

TEST_F(SandboxRouterTest, ConcurrentCallsAreAllServedAndANonceWinsOnce) {
  const SandboxAccount account = signUp("busy");
  constexpr int kThreads = 4;
  constexpr int kCalls = 10;
  std::vector<httplib::Params> requests;
  requests.reserve(size_t{kThreads} * kCalls);
  for (int i = 0; i < kThreads * kCalls; ++i)
    requests.push_back(signedParams(account, {}));
  std::atomic<int> served{0};
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      httplib::Client own(server->baseUrl());
      for (int i = 0; i < kCalls; ++i) {
        auto answer = own.Post("/usage_log/launch", requests[t * kCalls + i]);
        if (answer && bodyJson(answer).intForKey("error", -1) == 0) ++served;
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(served, kThreads * kCalls);
  EXPECT_EQ(server->launchCount(account.aid), kThreads * kCalls);

  // The same signed request sent from several threads at once counts once.
  const httplib::Params same = signedParams(account, {});
  std::atomic<int> accepted{0};
  std::atomic<int> replayed{0};
  threads.clear();
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      httplib::Client own(server->baseUrl());
      const int64_t error = bodyJson(own.Post("/usage_log/launch", same)).intForKey("error", -1);
      if (error == 0) ++accepted;
      if (error == static_cast<int64_t>(SandboxError::NonceReplayed)) ++replayed;
    });
  }
  for (auto& thread : threads)
    thread.join();
  EXPECT_EQ(accepted, 1);
  EXPECT_EQ(replayed, kThreads - 1);
}

TEST_F(SandboxRouterTest, EnvelopesHaveTheThreeMembers) {
  const SandboxAccount account = signUp("envelope");
  const Value success = callSigned("/usage_log/launch", account);
  ASSERT_TRUE(success.isDictionary());
  EXPECT_EQ(success.asDictionary()->keys(),
            (std::vector<std::string>{"error", "result", "errmsg"}));
  EXPECT_TRUE(success.get("result")->isNull());
  const Value failure = callSigned("/fan/add", account);
  EXPECT_EQ(failure.asDictionary()->keys(),
            (std::vector<std::string>{"error", "result", "errmsg"}));
  EXPECT_EQ(failure.stringForKey("errmsg", ""), "\"waid\" is required");
}

}  // namespace
}  // namespace mr
