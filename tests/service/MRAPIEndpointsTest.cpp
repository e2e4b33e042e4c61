// The smaller endpoints: badges, fans, messages, notifications, profiles,
// play history, usage logs and library uploads.
#include "service/MRAPIBadge.h"
#include "service/MRAPIFan.h"
#include "service/MRAPIListenerProfile.h"
#include "service/MRAPIMessage.h"
#include "service/MRAPIPlaybackHistory.h"
#include "service/MRAPIPushNotification.h"
#include "service/MRAPIUsageLog.h"
#include "service/MRAPIUserTrack.h"
#include "service/ServiceTestSupport.h"

namespace mr {
namespace {

using Fields = std::map<std::string, std::string>;
using MRAPIEndpointsTest = test::ServiceFixture;
using Status = test::Capture<bool, std::optional<std::string>, std::optional<std::string>>;

TEST_F(MRAPIEndpointsTest, BadgesOfAnArtistOnePerElement) {
  signIn();
  answerJson("badge/get_with_waid", R"({"error":0,"result":[{"badgeId":1},"odd",{"badgeId":3}]})");
  test::Capture<bool, std::vector<MRBadgeDocument>> got;
  ASSERT_TRUE(MRAPIBadge(engine()).getWithWaid("a1", std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  const auto badges = got.get<1>();
  ASSERT_EQ(badges.size(), 3u);
  EXPECT_EQ(badges[0].badgeId(), 1);
  EXPECT_FALSE(badges[1].hasDictionary());
  EXPECT_EQ(badges[2].badgeId(), 3);
  EXPECT_EQ(onlyRequest().unsignedFields(), (Fields{{"waid", "a1"}, {"fields", "{}"}}));
}

TEST_F(MRAPIEndpointsTest, ABadgeOnlyWhenSuccessfulWithAResult) {
  signIn();
  answerJson("badge/get_with_badge_id", R"({"error":0,"result":{"badgeId":9,"name":"Gold"}})");
  test::Capture<bool, std::optional<MRBadgeDocument>> got;
  ASSERT_TRUE(MRAPIBadge(engine()).getWithBadgeId(9, std::nullopt, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  ASSERT_TRUE(got.get<1>());
  EXPECT_EQ(got.get<1>()->name(), std::optional<std::string>("Gold"));
  EXPECT_EQ(onlyRequest().unsignedFields(), (Fields{{"badgeId", "9"}, {"fields", "{}"}}));

  answerJson("badge/get_with_badge_id", R"({"error":0})");
  test::Capture<bool, std::optional<MRBadgeDocument>> missing;
  ASSERT_TRUE(
      MRAPIBadge(engine()).getWithBadgeId(9, std::nullopt, missing.completion(), missing.error()));
  ASSERT_TRUE(missing.wait());
  EXPECT_FALSE(missing.get<0>());
  EXPECT_FALSE(missing.get<1>());
}

TEST_F(MRAPIEndpointsTest, FanCalls) {
  signIn();
  answerJson("fan/add", R"({"error":7,"result":{"aid":15,"active":false}})");
  test::Capture<bool, MRFanDocument> added;
  ASSERT_TRUE(MRAPIFan(engine()).addWithWaid("a1", added.completion(), added.error()));
  ASSERT_TRUE(added.wait());
  // A failure still carries the document that came back.
  EXPECT_FALSE(added.get<0>());
  EXPECT_FALSE(added.get<1>().active());
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"waid", "a1"}}));

  answerJson("fan/get_with_waid", R"({"error":0,"result":[{"aid":1},{"aid":2}]})");
  test::Capture<bool, std::vector<MRFanDocument>> page;
  Value fields = Value::dictionary();
  fields.set("status", Value(true));
  ASSERT_TRUE(
      MRAPIFan(engine()).getWithWaid("a1", 20, 10, fields, page.completion(), page.error()));
  ASSERT_TRUE(page.wait());
  EXPECT_TRUE(page.get<0>());
  EXPECT_EQ(page.get<1>().size(), 2u);
  EXPECT_EQ(
      requests().back().unsignedFields(),
      (Fields{{"fields", R"({"status":true})"}, {"waid", "a1"}, {"from", "20"}, {"count", "10"}}));

  // A body that is no envelope: a failure with nothing in it.
  answer("fan/get", test::Reply{200, "oops", "text/plain"});
  test::Capture<bool, std::vector<MRFanDocument>> mine;
  ASSERT_TRUE(MRAPIFan(engine()).getWithFields(std::nullopt, mine.completion(), mine.error()));
  ASSERT_TRUE(mine.wait());
  EXPECT_FALSE(mine.get<0>());
  EXPECT_TRUE(mine.get<1>().empty());
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"fields", "{}"}}));
}

TEST_F(MRAPIEndpointsTest, MessagesNeedSuccessAndAnArray) {
  signIn();
  answerJson("message/get_with_waid",
             R"({"error":0,"result":[{"msgId":4,"text":"hi","sender":"artist"}]})");
  test::Capture<bool, std::optional<std::vector<MRMessageDocument>>> got;
  ASSERT_TRUE(MRAPIMessage(engine()).getWithWaid("a1", 100, 20, std::nullopt, got.completion(),
                                                 got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  ASSERT_TRUE(got.get<1>());
  ASSERT_EQ(got.get<1>()->size(), 1u);
  EXPECT_EQ(got.get<1>()->front().text(), std::optional<std::string>("hi"));
  EXPECT_EQ(requests().back().unsignedFields(),
            (Fields{{"waid", "a1"}, {"older", "100"}, {"count", "20"}, {"fields", "{}"}}));

  answerJson("message/get_with_waid", R"({"error":1,"result":[]})");
  test::Capture<bool, std::optional<std::vector<MRMessageDocument>>> failed;
  ASSERT_TRUE(MRAPIMessage(engine()).getWithWaid("a1", 0, 20, std::nullopt, failed.completion(),
                                                 failed.error()));
  ASSERT_TRUE(failed.wait());
  EXPECT_FALSE(failed.get<0>());
  EXPECT_FALSE(failed.get<1>());

  answerJson("message/send_to_waid", R"({"error":0,"result":{"msgId":5,"text":"thanks"}})");
  test::Capture<bool, std::optional<MRMessageDocument>> sent;
  ASSERT_TRUE(MRAPIMessage(engine()).sendToWaid("a1", "thanks", sent.completion(), sent.error()));
  ASSERT_TRUE(sent.wait());
  EXPECT_TRUE(sent.get<0>());
  ASSERT_TRUE(sent.get<1>());
  EXPECT_EQ(sent.get<1>()->msgId(), 5);
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"waid", "a1"}, {"text", "thanks"}}));
}

TEST_F(MRAPIEndpointsTest, NotificationsSendOlderAsFrom) {
  signIn();
  answerJson("notification/get", R"({"error":0,"result":[{"notifId":8,"type":"badge"}]})");
  test::Capture<bool, std::optional<std::vector<MRPushNotificationDocument>>> got;
  ASSERT_TRUE(MRAPIPushNotification(engine()).getWithOlder(30, 10, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  ASSERT_TRUE(got.get<1>());
  EXPECT_EQ(got.get<1>()->front().notifId(), 8);
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"from", "30"}, {"count", "10"}}));

  test::Capture<bool> read;
  ASSERT_TRUE(MRAPIPushNotification(engine()).flagRead(8, read.completion(), read.error()));
  ASSERT_TRUE(read.wait());
  EXPECT_TRUE(read.get<0>());
  EXPECT_EQ(requests().back().path, "notification/read");
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"notifId", "8"}}));
}

TEST_F(MRAPIEndpointsTest, ProfileWithoutAnImageIsAPlainPostOfTheGivenTexts) {
  signIn();
  answerJson("listener_profile/update", R"({"error":0,"result":{"aid":15,"bio":"Hello"}})");
  test::Capture<bool, MRListenerProfileDocument> got;
  ASSERT_TRUE(MRAPIListenerProfile(engine()).updateWithProfileImage(
      std::nullopt, std::nullopt, std::string("Hello"), {}, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  EXPECT_EQ(got.get<1>().bio(), "Hello");
  const auto request = onlyRequest();
  EXPECT_EQ(request.unsignedFields(), (Fields{{"bio", "Hello"}}));
  EXPECT_TRUE(request.parts.empty());
  EXPECT_EQ(request.contentType.rfind("application/x-www-form-urlencoded", 0), 0u);
}

TEST_F(MRAPIEndpointsTest, ProfileWithAnImageIsMultipart) {
  signIn();
  const Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 1, 2};
  test::Capture<bool, MRListenerProfileDocument> got;
  ASSERT_TRUE(MRAPIListenerProfile(engine()).updateWithProfileImage(
      png, std::string("DJ"), std::nullopt, {}, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  const auto request = onlyRequest();
  EXPECT_EQ(request.contentType.rfind("multipart/form-data", 0), 0u);
  EXPECT_EQ(request.unsignedFields(), (Fields{{"screenName", "DJ"}}));
  EXPECT_TRUE(request.has("__s"));
  ASSERT_EQ(request.parts.count("profileImage"), 1u);
  const auto& part = request.parts.at("profileImage");
  EXPECT_EQ(part.fileName, "profileImage");
  EXPECT_EQ(part.contentType, "image/png");
  EXPECT_EQ(part.content, std::string(png.begin(), png.end()));
}

TEST_F(MRAPIEndpointsTest, ProfileOfAnAccountAndTheDeviceToken) {
  signIn();
  answerJson("listener_profile/get", R"({"error":0,"result":{"aid":42,"aname":"dj"}})");
  test::Capture<bool, MRListenerProfileDocument> got;
  ASSERT_TRUE(MRAPIListenerProfile(engine()).getWithAid(42, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(got.get<1>().aname(), "dj");
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"aid", "42"}}));

  test::Capture<bool> token;
  ASSERT_TRUE(MRAPIListenerProfile(engine()).addDeviceToken(Bytes{0xAB, 0x01, 0xFF},
                                                            token.completion(), token.error()));
  ASSERT_TRUE(token.wait());
  EXPECT_TRUE(token.get<0>());
  EXPECT_EQ(requests().back().unsignedFields(), (Fields{{"deviceToken", "ab01ff"}}));
}

TEST_F(MRAPIEndpointsTest, PlaybackHistoryReportsTheFlagOnly) {
  signIn();
  answerJson("playback_history/add", R"({"error":0,"result":{"wtid":"t1","waid":"a1"}})");
  MRPlaylistTrackItem item;
  item.artist = "Band";
  item.title = "Song";
  item.imageUrl = "https://img/cover.jpg";
  Status got;
  ASSERT_TRUE(MRAPIPlaybackHistory(engine()).addWithPlaylistTrackItem(
      item, "Favorites", got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_EQ(got.values(),
            std::make_tuple(true, std::optional<std::string>(), std::optional<std::string>()));
  EXPECT_EQ(onlyRequest().unsignedFields(), (Fields{{"artistName", "Band"},
                                                    {"trackTitle", "Song"},
                                                    {"artworkUrl", "https://img/cover.jpg"},
                                                    {"playlistName", "Favorites"}}));
}

TEST_F(MRAPIEndpointsTest, UsageLogsAreSignedAndNeedAnAccount) {
  MRAPIUsageLog log(engine());
  EXPECT_EQ(log.logLaunch(), nullptr);
  EXPECT_EQ(log.logSearchKeywordWithArtistName(std::string("Band")), nullptr);
  EXPECT_TRUE(requests().empty());

  signIn();
  auto launch = log.logLaunch();
  ASSERT_TRUE(launch);
  EXPECT_TRUE(test::finished(*launch));
  auto search = log.logSearchKeywordWithArtistName(std::nullopt);
  ASSERT_TRUE(search);
  EXPECT_TRUE(test::finished(*search));
  auto named = log.logSearchKeywordWithArtistName(std::string("Band"));
  ASSERT_TRUE(named);
  EXPECT_TRUE(test::finished(*named));

  const auto all = requests();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].path, "usage_log/launch");
  EXPECT_TRUE(all[0].unsignedFields().empty());
  EXPECT_TRUE(all[0].has("__s"));
  EXPECT_EQ(all[1].path, "usage_log/search_keyword");
  EXPECT_TRUE(all[1].unsignedFields().empty());
  EXPECT_EQ(all[2].unsignedFields(), (Fields{{"artistName", "Band"}}));
}

TEST_F(MRAPIEndpointsTest, LibraryUploadSendsTheFileAsTheOnlyPart) {
  signIn();
  const std::string path = testEnv().dir().file("tracks.txt");
  test::writeFile(path, "Band\tAlbum\tSong\n");
  Status got;
  ASSERT_TRUE(MRAPIUserTrack(engine()).updateWithTextFile(path, got.completion(), got.error()));
  ASSERT_TRUE(got.wait());
  EXPECT_TRUE(got.get<0>());
  const auto request = onlyRequest();
  EXPECT_EQ(request.path, "user_track/update2");
  EXPECT_TRUE(request.unsignedFields().empty());
  EXPECT_EQ(request.fields.size(), 5u);  // the signature's, nothing else
  ASSERT_EQ(request.parts.size(), 1u);
  const auto& part = request.parts.at("tracks");
  EXPECT_EQ(part.fileName, "tracks");
  EXPECT_EQ(part.contentType, "text/plain");
  EXPECT_EQ(part.content, "Band\tAlbum\tSong\n");

  Status tsv;
  ASSERT_TRUE(MRAPIUserTrack(engine()).updateWithTSVFile(path, tsv.completion(), tsv.error()));
  ASSERT_TRUE(tsv.wait());
  EXPECT_EQ(requests().back().path, "user_track/update");
}

TEST_F(MRAPIEndpointsTest, UnreadableLibraryFileFailsAtOnce) {
  signIn();
  Status got;
  EXPECT_EQ(MRAPIUserTrack(engine()).updateWithTextFile(testEnv().dir().file("missing.txt"),
                                                        got.completion(), got.error()),
            nullptr);
  // Called before the call returned, with nothing sent.
  EXPECT_EQ(got.calls(), 1);
  ASSERT_TRUE(got.failure());
  EXPECT_EQ(got.failure()->domain(), kPosixErrorDomain);
  EXPECT_FALSE(got.completed());
  EXPECT_TRUE(requests().empty());
}

TEST_F(MRAPIEndpointsTest, AbsentCallbacksAreNotCalled) {
  signIn();
  answer("fan/add", test::Reply{500, "down", "text/plain"});
  auto operation = MRAPIFan(engine()).addWithWaid("a1", {}, {});
  ASSERT_TRUE(operation);
  EXPECT_TRUE(test::finished(*operation));
  ASSERT_TRUE(operation->error());
  EXPECT_EQ(operation->error()->code(), 500);
}

}  // namespace
}  // namespace mr
