// The account platform's and the service's answers as the program reads
// them: envelopes and their codes, the calls answered with a bare object,
// and what is stored read back through the program's documents.
#include "base/Json.h"
#include "model/MRArtistDocument.h"
#include "model/MRTrackDocument.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxError;
using test::SandboxAccount;

constexpr int64_t code(SandboxError error) {
  return static_cast<int64_t>(error);
}

std::string artistJson(const std::string& name, const std::string& language,
                       const std::string& summary) {
  return toJson(Value(Dictionary{{"name", Value(name)},
                                 {"bioLanguage", Value(language)},
                                 {"bioSummary", Value(summary)},
                                 {"tags", Value(Array{Value("rock")})}}));
}

std::string trackJson(const std::string& artist, const std::string& title) {
  return toJson(Value(Dictionary{{"trackTitle", Value(title)},
                                 {"artistName", Value(artist)},
                                 {"youTubeVideoId", Value("vid-" + title)}}));
}

std::string uploadLine(const std::string& title, int64_t playCount) {
  return toJson(Value(Dictionary{{"artistName", Value("Mono")},
                                 {"trackTitle", Value(title)},
                                 {"albumTitle", Value("Album")},
                                 {"playCount", Value(playCount)},
                                 {"iTunes", Value::dictionary()}})) +
         "\n";
}

class SandboxServiceTest : public test::SandboxFixture {
 protected:
  void SetUp() override {
    SandboxFixture::SetUp();
    if (!HasFatalFailure()) me = signUp("listener");
  }
  // The result of a call that must succeed.
  Value result(const std::string& path, const Dictionary& parameters = {}) {
    const Value envelope = callSigned(path, me, parameters);
    EXPECT_EQ(errorCode(envelope), 0) << path << ": " << toJson(envelope);
    const Value* member = envelope.get("result");
    return member != nullptr ? *member : Value();
  }
  int64_t failure(const std::string& path, const Dictionary& parameters = {}) {
    return errorCode(callSigned(path, me, parameters));
  }

  SandboxAccount me;
};

TEST_F(SandboxServiceTest, AccountFailuresAreEnvelopesWithStableCodes) {
  const auto post = [&](const std::string& path, httplib::Params params) {
    params.emplace("consumer_id", "c");
    return bodyJson(client->Post(path, params));
  };
  const Value wrong = post("/auth/login", {{"user", "listener"}, {"pass", "wrong"}});
  EXPECT_EQ(wrong.asDictionary()->keys(), (std::vector<std::string>{"error", "result", "errmsg"}));
  EXPECT_EQ(errorCode(wrong), code(SandboxError::WrongPassword));
  EXPECT_EQ(wrong.stringForKey("errmsg", ""), "the password does not match");
  EXPECT_TRUE(wrong.get("result")->isNull());
  EXPECT_EQ(errorCode(post("/auth/login", {{"user", "dave"}, {"pass", "p"}})),
            code(SandboxError::UnknownUser));
  EXPECT_EQ(errorCode(post("/auth/signup", {{"user", "LISTENER"}, {"pass", "p"}, {"sex", "1"}})),
            code(SandboxError::UserNameTaken));
  // An outside service's token reaches the same account each time.
  const httplib::Params facebook{{"service_name", "facebook"}, {"access_token", "t"}};
  const int64_t aid = post("/auth/proceed", facebook).intForKeyPath("result/aid", 0);
  EXPECT_GT(aid, 0);
  EXPECT_EQ(post("/auth/proceed", facebook).intForKeyPath("result/aid", 0), aid);
  EXPECT_EQ(errorCode(post("/auth/proceed", {{"service_name", "myspace"}, {"access_token", "t"}})),
            code(SandboxError::ExternalTokenRefused));
}

TEST_F(SandboxServiceTest, ServiceFailuresAreEnvelopesAndARefusedCallStoresNothing) {
  const Value launched = callSigned("/usage_log/launch", me);
  EXPECT_EQ(launched.asDictionary()->keys(),
            (std::vector<std::string>{"error", "result", "errmsg"}));
  EXPECT_TRUE(launched.get("result")->isNull());
  const Value missing = callSigned("/fan/add", me);
  EXPECT_EQ(errorCode(missing), code(SandboxError::MissingParameter));
  EXPECT_EQ(missing.stringForKey("errmsg", ""), "\"waid\" is required");

  // The artist update answers a bare object, not the envelope.
  const Value updated =
      callSigned("/artist/update", me, {{"artist", Value(artistJson("Mono", "en", "x"))}});
  EXPECT_FALSE(updated.stringForKey("waid", "").empty()) << toJson(updated);
  EXPECT_FALSE(updated.contains("error"));
  EXPECT_EQ(failure("/artist/update", {{"artist", Value("{not json")}}),
            code(SandboxError::InvalidParameter));
  EXPECT_EQ(failure("/track/get", {{"wtid", Value("wt404")}}), code(SandboxError::NotFound));

  const std::string wtid = result("/track/update", {{"track", Value(trackJson("Mono", "Ashes"))}})
                               .stringForKey("wtid", "");
  EXPECT_EQ(failure("/track/add_comment",
                    {{"comment", Value("x")}, {"wtid", Value(wtid)}, {"shareOn", Value("[77]")}}),
            code(SandboxError::UnknownConnection));
  EXPECT_EQ(server->commentCount(me.aid), 0);

  // A tag cloud's failure is an envelope, which the program does not take for a picture.
  EXPECT_EQ(
      errorCode(callSigned("/genre_tagcloud/generate", me,
                           {{"tags", Value(R"([{"name":"rock"}])")}, {"shape", Value("star")}})),
      code(SandboxError::InvalidParameter));
}

TEST_F(SandboxServiceTest, AnUploadWithABadLineIsRefusedWhole) {
  const auto upload = [&](const std::string& content, const Dictionary& fields = {}) {
    return errorCode(bodyJson(postSignedMultipart("/user_track/update2", me, fields,
                                                  {{"tracks", content, "tracks", "text/plain"}})));
  };
  EXPECT_EQ(upload(uploadLine("Ashes", 3) + uploadLine("Halcyon", 0)), 0);
  std::string unterminated = uploadLine("B", 1);
  unterminated.pop_back();
  for (const std::string& bad :
       {uploadLine("A", 1) + "{\"artistName\":\"x\"}\n", uploadLine("A", -1), unterminated}) {
    EXPECT_EQ(upload(bad), code(SandboxError::InvalidParameter)) << bad;
  }
  EXPECT_EQ(upload(uploadLine("A", 1), {{"extra", Value("1")}}),
            code(SandboxError::InvalidParameter));
  EXPECT_EQ(failure("/user_track/update2"), code(SandboxError::MissingParameter));
  const auto stored = server->uploadedTracks(me.aid);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].stringForKey("trackTitle", ""), "Ashes");
  EXPECT_EQ(stored[0].intForKey("playCount", -1), 3);
}

TEST_F(SandboxServiceTest, WhatIsStoredReadsBackThroughTheProgramsDocuments) {
  const std::string waid =
      callSigned("/artist/update", me, {{"artist", Value(artistJson("Mono", "en", "Post-rock"))}})
          .stringForKey("waid", "");
  // Another language adds to the biography; the name ignoring case is the same artist.
  callSigned("/artist/update", me, {{"artist", Value(artistJson("mono", "ja", "ポストロック"))}});
  const MRArtistDocument artist(
      result("/artist/get_with_waid", {{"waid", Value(waid)}, {"fields", Value("{}")}}));
  EXPECT_EQ(artist.name(), "Mono");
  EXPECT_EQ(artist.tags(), std::vector<std::string>{"rock"});
  ASSERT_TRUE(artist.bio());
  EXPECT_EQ(artist.bio()->bioSummaryForLang("en"), "Post-rock");
  EXPECT_EQ(artist.bio()->bioSummaryForLang("ja"), "ポストロック");

  const std::string wtid = result("/track/update", {{"track", Value(trackJson("Mono", "Ashes"))}})
                               .stringForKey("wtid", "");
  result("/track/add_comment",
         {{"comment", Value("Lovely")}, {"wtid", Value(wtid)}, {"shareOn", Value("[]")}});
  const MRTrackDocument track(
      result("/track/get", {{"artistName", Value("MONO")}, {"trackTitle", Value("ashes")}}));
  EXPECT_EQ(track.waid(), waid);
  ASSERT_TRUE(track.previewOnYouTube());
  EXPECT_EQ(track.previewOnYouTube()->videoId(), "vid-Ashes");
  ASSERT_TRUE(track.comments());
  ASSERT_EQ(track.comments()->size(), 1u);
  EXPECT_EQ(track.comments()->front().comment(), "Lovely");
  EXPECT_EQ(track.comments()->front().createdBy()->aname(), "listener");
}

}  // namespace
}  // namespace mr
