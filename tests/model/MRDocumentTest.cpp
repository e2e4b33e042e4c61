#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "model/MRCommunityMixDocument.h"
#include "model/MRFavoriteTrackDocument.h"
#include "model/MRMessageDocument.h"
#include "model/MRPushNotificationDocument.h"
#include "model/MRTrackDocument.h"

namespace mr {
namespace {

using test::json;
using test::seconds;

// ------------------------------------------------------------ every document

TEST(MRDocumentTest, NonDictionaryHasNoDictionaryAndYieldsDefaults) {
  for (const Value& notADictionary :
       {Value(), Value("trackTitle"), Value(7), Value(Array{Value(Dictionary{})})}) {
    MRTrackDocument track(notADictionary);
    EXPECT_FALSE(track.hasDictionary());
    EXPECT_TRUE(track.document().isNull());
    EXPECT_EQ(track.trackTitle(), "");
    EXPECT_FALSE(track.comments().has_value());
    EXPECT_FALSE(track.removed());
    EXPECT_FALSE(track.previewOnYouTube().has_value());
  }
  MRTrackDocument empty;
  EXPECT_TRUE(empty.hasDictionary());
  EXPECT_EQ(empty.document().size(), 0u);
}

TEST(MRDocumentTest, KeepsACopyIndependentOfTheAnswer) {
  Value answer = json(R"({"trackTitle": "Believe", "comments": [{"comment": "first"}],
                          "previews": {"youTube": {"videoId": "a1"}}})");
  MRTrackDocument track(answer);
  answer.set("trackTitle", Value("Changed"));
  answer.get("comments")->append(Value(Dictionary{{"comment", Value("second")}}));
  answer.get("previews")->get("youTube")->set("videoId", Value("b2"));
  answer = Value();

  EXPECT_EQ(track.trackTitle(), "Believe");
  ASSERT_TRUE(track.comments().has_value());
  EXPECT_EQ(track.comments()->size(), 1u);
  EXPECT_EQ(track.previewOnYouTube()->videoId(), "a1");

  // A nested document is a copy too: the parent outlives nothing it hands out.
  std::optional<MRYouTubePreviewDocument> preview = MRTrackDocument(track).previewOnYouTube();
  EXPECT_EQ(preview->videoId(), "a1");
}

TEST(MRDocumentTest, ForgivingMembers) {
  // Numeric strings count as numbers, null as missing, other kinds as missing.
  MRPushNotificationDocument notification(json(R"({
      "notifId": "42", "aid": 7.9, "createdAt": "1400000000", "type": 5,
      "read": "1", "notified": null, "message": "not an object", "badge": null})"));
  EXPECT_EQ(notification.notifId(), 42);
  EXPECT_EQ(notification.aid(), 7);
  EXPECT_EQ(notification.createdAt(), seconds(1400000000));
  EXPECT_FALSE(notification.type().has_value());
  EXPECT_TRUE(notification.read());
  EXPECT_FALSE(notification.notified());
  EXPECT_FALSE(notification.message().has_value());
  EXPECT_FALSE(notification.badge().has_value());

  // Unix times: 0 is the epoch itself, negative or non-numeric is no date.
  EXPECT_EQ(MRMessageDocument(json(R"({"createdAt": 0})")).createdAt(), seconds(0));
  EXPECT_FALSE(MRMessageDocument(json(R"({"createdAt": -1})")).createdAt().has_value());
  EXPECT_FALSE(MRMessageDocument(json(R"({"createdAt": "soon"})")).createdAt().has_value());
  EXPECT_FALSE(MRMessageDocument(json("{}")).createdAt().has_value());
}

// -------------------------------------------------------------------- tracks

TEST(MRTrackDocumentTest, CommentsSkipWhatIsNoObjectAndPreviewsAreFoundByTheirPaths) {
  MRTrackDocument track(json(R"({
      "wtid": "t100", "removed": 0,
      "comments": [{"comment": "great", "createdAt": 1500, "removed": true,
                    "createdBy": {"aid": 3, "aname": "kei"}},
                   "not a comment", null, {"comment": "again"}],
      "previews": {"soundcloud": {"stream_url": "https://sc/stream", "duration": 30},
                   "iTunes": {"audioUrl": "https://it/p.m4a"},
                   "youTube": "not an object"}})"));
  EXPECT_EQ(track.wtid(), "t100");
  EXPECT_FALSE(track.removed());
  const auto comments = track.comments();
  ASSERT_TRUE(comments.has_value());
  ASSERT_EQ(comments->size(), 2u);
  EXPECT_EQ((*comments)[0].createdAt(), seconds(1500));
  EXPECT_TRUE((*comments)[0].removed());
  EXPECT_EQ((*comments)[0].createdBy()->aname(), "kei");
  EXPECT_EQ((*comments)[1].comment(), "again");
  EXPECT_EQ((*comments)[1].createdAt(), seconds(0));  // missing: the epoch
  EXPECT_FALSE((*comments)[1].createdBy().has_value());

  EXPECT_EQ(track.previewOnSoundCloud()->streamUrl(), "https://sc/stream");
  EXPECT_EQ(track.previewOnSoundCloud()->document().intForKey("duration", 0), 30);
  EXPECT_EQ(track.previewOnITunes()->audioUrl(), "https://it/p.m4a");
  EXPECT_FALSE(track.previewOnYouTube().has_value());
}

TEST(MRTrackDocumentTest, FavoritedAtReadsSixtyFourBits) {
  EXPECT_EQ(MRFavoriteTrackDocument(json(R"({"favoritedAt": 5000000000, "trackTitle": "x"})"))
                .favoritedAt(),
            seconds(5000000000.0));
  EXPECT_EQ(MRFavoriteTrackDocument(json(R"({"favoritedAt": "1700000000"})")).favoritedAt(),
            seconds(1700000000));
  EXPECT_EQ(MRFavoriteTrackDocument(json("{}")).favoritedAt(), seconds(0));
  EXPECT_EQ(MRFavoriteTrackDocument(json(R"({"trackTitle": "x"})")).trackTitle(), "x");
}

TEST(MRCommunityMixDocumentTest, MixesListTheirTracksAndFansSkippingWhatIsNoObject) {
  MRCommunityMixDocument mix(json(R"({
      "mixTitle": "Rainy day", "createdAt": "1600000000", "removed": 1,
      "createdBy": {"aid": 9, "aname": "mika"},
      "tracks": [
        {"mixTrackId": 11, "trackTitle": "Believe", "mix": {"mixTitle": "Rainy day"},
         "artist": {"name": "Cher", "imageSquare": "sq.png"},
         "favoritedUsers": [{"aid": 1}, 2, {"aid": 3}]},
        7]})"));
  EXPECT_EQ(mix.mixTitle(), "Rainy day");
  EXPECT_EQ(mix.createdAt(), seconds(1600000000));
  EXPECT_TRUE(mix.removed());
  EXPECT_EQ(mix.createdBy()->aid(), 9);
  const auto tracks = mix.tracks();
  ASSERT_TRUE(tracks.has_value());
  ASSERT_EQ(tracks->size(), 1u);
  const MRCommunityMixTrackDocument& track = tracks->front();
  EXPECT_EQ(track.mixTrackId(), 11);
  EXPECT_EQ(track.trackTitle(), "Believe");
  EXPECT_EQ(track.mix()->mixTitle(), "Rainy day");
  EXPECT_EQ(track.artist()->imageLargest(), "sq.png");  // a full artist: its square image counts
  ASSERT_EQ(track.favoritedUsers()->size(), 2u);
  EXPECT_EQ((*track.favoritedUsers())[1].aid(), 3);

  EXPECT_FALSE(MRCommunityMixDocument(json(R"({"tracks": "none"})")).tracks().has_value());
  EXPECT_FALSE(MRCommunityMixDocument(Value(1)).hasDictionary());
}

// ----------------------------------------------------- messages, notifications

TEST(MRMessageDocumentTest, TheAudienceWrapsEveryEntrySoPositionsMatchTheAnswer) {
  MRPushNotificationDocument notification(json(R"({
      "notifId": 5, "type": "message", "notified": true,
      "message": {"msgId": 301, "text": "Thank you!", "sender": "artist",
                  "artist": {"waid": "a7"}, "fan": {"aid": 12, "screenName": "Kei"},
                  "displayTo": [{"badges": [{"badgeId": 1, "name": "Gold"}, "x", {"badgeId": 2}]},
                                "everyone",
                                {"badges": "none"}]}})"));
  EXPECT_EQ(notification.type(), MRPushNotificationDocument::kTypeMessage);
  EXPECT_TRUE(notification.notified());
  const auto message = notification.message();
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->text(), "Thank you!");
  EXPECT_EQ(message->artist()->waid(), "a7");
  EXPECT_EQ(message->fan()->screenName(), "Kei");

  const auto displayTo = message->displayTo();
  ASSERT_TRUE(displayTo.has_value());
  ASSERT_EQ(displayTo->size(), 3u);
  const auto badges = (*displayTo)[0].badges();
  ASSERT_TRUE(badges.has_value());
  ASSERT_EQ(badges->size(), 2u);  // a badge that is no object is skipped
  EXPECT_EQ((*badges)[0].name(), "Gold");
  EXPECT_FALSE((*badges)[1].name().has_value());
  EXPECT_FALSE((*displayTo)[1].hasDictionary());
  EXPECT_FALSE((*displayTo)[2].badges().has_value());

  EXPECT_FALSE(MRMessageDocument(json("{}")).displayTo().has_value());
  EXPECT_FALSE(MRMessageDocument(json(R"({"displayTo": {}})")).displayTo().has_value());
}

}  // namespace
}  // namespace mr
