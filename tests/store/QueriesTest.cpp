#include <filesystem>
#include <set>

#include "base/Json.h"
#include "model/LastfmArtist.h"
#include "model/MRArtistDocument.h"
#include "store/CDDirectMessage.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDNewRelease.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "model/CDUtility.h"
#include "store/StoreTestSupport.h"
#include "support/TempDir.h"

namespace mr {
namespace {

struct QueriesFixture : test::StoreFixture {
  std::shared_ptr<Context> context = store->newContext();
  CDArtistEntityController artists{context};
  CDGenreTagEntityController tags{context};
  CDRecommendTrackEntityController recommendations{context};

  std::shared_ptr<CDArtist> artist(const std::string& name,
                                   std::vector<std::string> tagNames = {}) {
    LastfmArtist lastfm;
    lastfm.name = name;
    lastfm.tag = std::move(tagNames);
    return artists.insertNewObjectWithLastfmArtist(lastfm);
  }

  std::shared_ptr<CDRecommendTrack> recommend(const std::string& title, const CDArtist& by,
                                              const std::string& genre = "Rock") {
    auto track = recommendations.insertNewObject();
    track->setTitle(title);
    track->setArtist(&by);
    track->setPrimaryGenreName(genre);
    track->setItemHash(CDUtility::itemHashWithTitle(title, by.name().value_or("")));
    return track;
  }
};

TEST_F(QueriesFixture, TagVectorsCountArtistsAndWeighAgainstTheMostCommon) {
  EXPECT_TRUE(tags.aggregateTagVectorWithPredicate().empty());
  auto a = artist("A", {"rock"});
  auto b = artist("B", {"rock", "pop"});
  auto c = artist("C", {"rock"});
  const auto all = tags.aggregateTagVectorWithPredicate();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].name, "rock");
  EXPECT_FLOAT_EQ(all[0].weight, 1.0f);
  EXPECT_EQ(all[1].name, "pop");
  EXPECT_NEAR(all[1].weight, 1.0f / 3, 1e-6);

  // Only the library's artists, then only those with recommendations.
  auto user = CDUserArtistEntityController(context).insertNewObject();
  user->setArtist(b.get());
  const auto userVector = tags.aggregateUserGenreTagVector();
  ASSERT_EQ(userVector.size(), 2u);
  EXPECT_FLOAT_EQ(userVector[1].weight, 1.0f);
  recommend("Song", *c);
  const auto recommendVector = tags.aggregateRecommendGenreTagVector();
  ASSERT_EQ(recommendVector.size(), 1u);
  EXPECT_EQ(recommendVector[0], (MRGenreTag{"rock", 1.0f}));
  (void)a;
}

TEST_F(QueriesFixture, ArtistsByTagWithAndWithoutRecommendations) {
  auto a = artist("A", {"jazz"});
  auto b = artist("B", {"jazz"});
  recommend("Tune", *b);
  EXPECT_EQ(artists.findWithTagName("jazz", 10, false).size(), 2u);
  const auto recommended = artists.findWithTagName("jazz", 10, true);
  ASSERT_EQ(recommended.size(), 1u);
  EXPECT_EQ(recommended[0], b);
  EXPECT_EQ(artists.findWithTagName("jazz", 1, false).size(), 1u);
  EXPECT_TRUE(artists.findWithTagName("metal", 10, false).empty());
  EXPECT_EQ(artists.findWithArtistName("a"), a);  // by the artist hash
}

TEST_F(QueriesFixture, RandomPicksNeverRepeatAndTakeAllThatExist) {
  artist("A");
  artist("B");
  artist("C");
  const auto picked = artists.findRandomlyForCount(10);
  EXPECT_EQ(picked.size(), 3u);  // all there are, each once
  std::set<int64_t> ids;
  for (const auto& record : picked)
    ids.insert(record->objectID());
  EXPECT_EQ(ids.size(), picked.size());
  EXPECT_TRUE(CDNewReleaseEntityController(context).findRandomlyForCount(5).empty());

  auto x = artist("X");
  recommend("One", *x, "Rock");
  recommend("Two", *x, "Pop");
  recommend("Three", *x, "Pop");
  EXPECT_EQ(recommendations.findWithGenre("Pop", 10).size(), 2u);
  for (const auto& track : recommendations.findWithGenre("Pop", 10)) {
    EXPECT_EQ(track->primaryGenreName(), "Pop");
  }
  // An empty genre picks among all.
  std::set<std::string> titles;
  for (int round = 0; round < 30; ++round) {
    for (const auto& track : recommendations.findWithGenre("", 3))
      titles.insert(*track->title());
  }
  EXPECT_EQ(titles.size(), 3u);
  EXPECT_TRUE(recommendations.findWithGenre("Polka", 3).empty());
}

TEST_F(QueriesFixture, RecommendationsByTagAndDeletionByArtist) {
  auto rock = artist("Rocker", {"rock"});
  auto folk = artist("Folkie", {"folk"});
  recommend("Loud", *rock);
  recommend("Quiet", *folk);
  const auto picked = recommendations.findWithGenreTag("folk", 5);
  ASSERT_EQ(picked.size(), 1u);
  EXPECT_EQ(picked[0]->title(), "Quiet");
  EXPECT_EQ(recommendations.findWithGenreTag("", 5).size(), 2u);
  EXPECT_EQ(recommendations.findWithGenreTag("", 1).size(), 1u);

  ASSERT_TRUE(recommendations.deleteWithArtistName("Rocker"));
  EXPECT_EQ(recommendations.countAllItems(), 1u);
  EXPECT_TRUE(rock->recommendTrack().empty());
  EXPECT_FALSE(context->hasChanges());  // it saved
}

TEST_F(QueriesFixture, BlacklistMatchesExactly) {
  CDArtistBlackListEntityController blacklist(context);
  ASSERT_TRUE(blacklist.registerNewArtist("The Band").ok());
  EXPECT_TRUE(blacklist.checkIfBlacklistedWithArtistName("The Band"));
  EXPECT_FALSE(blacklist.checkIfBlacklistedWithArtistName("the band"));
  EXPECT_FALSE(blacklist.checkIfBlacklistedWithArtistName("The Band "));
  ASSERT_TRUE(blacklist.removeArtist("The Band"));
  EXPECT_FALSE(blacklist.checkIfBlacklistedWithArtistName("The Band"));
  EXPECT_FALSE(context->hasChanges());
}

TEST_F(QueriesFixture, QueueGivesTheHighestPrioritiesFirstAndUsedSeedsAreKnown) {
  CDTrackRecommendationQueueEntityController queue(context);
  queue.enqueueTrackForRecommendationWithTitle("low", "al", "ar", 1, true);
  queue.enqueueTrackForRecommendationWithTitle("high", "al", "ar", 50, false);
  queue.enqueueTrackForRecommendationWithTitle("mid", "al", "ar", 7, true);
  const auto top = queue.retrieveWithCount(2);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0]->title(), "high");
  EXPECT_EQ(top[1]->title(), "mid");
  EXPECT_EQ(top[0]->isUserTrack(), false);
  EXPECT_EQ(top[0]->itemHash(), CDUtility::itemHashWithTitle("high", "ar"));

  CDTrackUsedForRecommendationEntityController used(context);
  used.insertNewObjectWithTrackRecommendationQueueItem(*top[0]);
  EXPECT_TRUE(used.isAlreadyRecommendedWithTitle("High", "another album", "AR"));
  EXPECT_FALSE(used.isAlreadyRecommendedWithTitle("mid", "al", "ar"));
  EXPECT_TRUE(used.entryExistsWithArtistItemHash(CDUtility::artistItemHashWithArtist("ar")));
  EXPECT_EQ(used.findWithItemHash(*top[0]->itemHash())->album(), "al");
}

TEST_F(QueriesFixture, RelationshipsAgreeOnBothSidesAfterDeletes) {
  auto band = artist("Band", {"rock", "indie"});
  auto track = recommend("Song", *band);
  auto source = CDPreviewDataSourceEntityController(context).insertNewObject();
  source->setSourceID(10);
  track->addPreviewDataSourceSetObject(*source);
  ASSERT_TRUE(artists.save());

  EXPECT_EQ(track->artist(), band);
  ASSERT_EQ(band->recommendTrack().size(), 1u);
  ASSERT_EQ(track->previewDataSourceSet().size(), 1u);
  EXPECT_EQ(source->recommendTrack(), track);

  // A deleted tag leaves the artist's tags.
  auto indie = band->tags()[1];
  context->deleteObject(*indie);
  ASSERT_EQ(band->tags().size(), 1u);
  EXPECT_EQ(band->tags()[0]->tag(), "rock");

  // A deleted recommendation leaves its artist, and takes its sources along.
  context->deleteObject(*track);
  EXPECT_TRUE(band->recommendTrack().empty());
  EXPECT_EQ(CDPreviewDataSourceEntityController(context).countAllItems(), 0);

  // A deleted artist leaves its tags without artist.
  auto rock = band->tags()[0];
  context->deleteObject(*band);
  EXPECT_EQ(rock->artist(), nullptr);
  ASSERT_TRUE(artists.save());
  EXPECT_EQ(tags.countAllItems(), 1);

  // One recommended artist per artist: a second one takes it over.
  auto star = artist("Star");
  CDRecommendArtistEntityController recommended(context);
  auto first = recommended.insertNewObject();
  auto second = recommended.insertNewObject();
  first->setArtist(star.get());
  second->setArtist(star.get());
  EXPECT_EQ(first->artist(), nullptr);
  EXPECT_EQ(star->recommendArtist(), second);
  star->setRecommendArtist(nullptr);
  EXPECT_EQ(second->artist(), nullptr);
}

TEST_F(QueriesFixture, ArtistDocumentsReplaceTheTags) {
  const auto document = [](const char* json) { return MRArtistDocument(*parseJson(json)); };
  auto record = artists.insertNewObjectWithArtistDocument(
      document(R"({"name": "The Duo", "waid": "w1", "tags": ["pop", "rock"], "imageMega": "m.png",
                   "bio": {"ja": {"bioSummary": "要約", "bioContent": "本文"}}})"),
      "en");
  EXPECT_EQ(record->tags().size(), 2u);
  EXPECT_EQ(record->itemHash(), CDUtility::artistItemHashWithArtist("theduo"));
  EXPECT_EQ(record->bioSummary(), "要約");  // no English: the Japanese biography
  record->assignWithArtistDocument(
      document(R"({"name": "The Duo", "waid": "w1", "tags": ["electronic"],
                   "bio": {"en": {"bioSummary": "Summary", "bioContent": "Content"}}})"),
      "en");
  ASSERT_EQ(record->tags().size(), 1u);
  EXPECT_EQ(record->tags()[0]->tag(), "electronic");
  EXPECT_EQ(tags.countAllItems(), 1);  // the old tags are gone, not just unlinked
  EXPECT_EQ(record->bioSummary(), "Summary");
  EXPECT_EQ(record->imageMega(), std::nullopt);
  EXPECT_EQ(artists.findWithWaid("w1"), record);

  auto summary =
      artists.insertNewObjectWithArtistSummaryDocument(MRArtistSummaryDocument(*parseJson(
          R"({"name": "Solo", "waid": "w2", "imageSquare": "sq.png", "imageLarge": "l.png"})")));
  EXPECT_EQ(summary->imageSmall(), "sq.png");
  EXPECT_EQ(summary->imageLargest(), "l.png");
}

TEST_F(QueriesFixture, LastfmArtistsRoundTripAndTheLargestImage) {
  LastfmArtist lastfm;
  lastfm.name = "Cher";
  lastfm.url = "https://www.last.fm/music/Cher";
  lastfm.bioSummary = "summary";
  lastfm.imageUrl.medium = "m.png";
  lastfm.imageUrl.large = "l.png";
  lastfm.tag = {"pop", "dance"};
  auto record = artists.insertNewObjectWithLastfmArtist(lastfm);
  EXPECT_EQ(record->imageLargest(), "l.png");  // missing sizes are not ""
  LastfmArtist back;
  record->assignToLastFMArtist(back);
  EXPECT_EQ(back.name, "Cher");
  EXPECT_EQ(back.imageUrl.large, "l.png");
  EXPECT_EQ(back.imageUrl.mega, "");
  EXPECT_EQ(std::set<std::string>(back.tag.begin(), back.tag.end()),
            (std::set<std::string>{"pop", "dance"}));

  auto medium = artists.insertNewObject();
  medium->setImageMedium("only.png");
  EXPECT_EQ(medium->imageLargest(), "only.png");
}

TEST_F(QueriesFixture, VariantsAreFoundThroughTheirArtist) {
  auto band = artist("Sigur Rós");
  CDArtistVariantEntityController variants(context);
  auto variant = variants.insertNewObjectWithName("SIGUR ROS", *band->itemHash());
  EXPECT_EQ(variant->name(), "sigur ros");
  variant->setArtist(band.get());
  EXPECT_EQ(variants.findWithName("Sigur Ros", *band->itemHash()), variant);
  EXPECT_EQ(variants.insertNewObjectWithName("sigur ros", *band->itemHash()), variant);
  EXPECT_EQ(variants.findWithName("sigur ros", "another artist"), nullptr);
  EXPECT_EQ(band->variants().size(), 1u);
}

TEST_F(QueriesFixture, FavoritesKeepTheirSourcesAndTheirCachedFile) {
  test::TempDir cache;
  test::writeFile(cache.file("abc.m4a"), "audio");
  MRPlaylistTrackItem item;
  item.title = "Song";
  item.artist = "Band";
  item.imageUrl = "art.png";
  MRPreviewDataSource video;
  video.sourceID = MRPreviewSourceIDYouTube;
  video.previewUrl = "https://video/stream";
  auto info = std::make_shared<MRYouTubeAdditionalInfo>();
  info->setVideoID("v123");
  video.additionalInfo = info;
  MRPreviewDataSource local;
  local.sourceID = MRPreviewSourceIDLocalCache;
  local.previewUrl = "file://localhost/old/cache/folder/abc.m4a";
  item.previewDataSourceSet = {video, local};

  CDFavoriteTrackEntityController favorites(context);
  auto added = favorites.addWithPlaylistTrack(item, Date{1000});
  ASSERT_TRUE(added.ok());
  auto favorite = *added;
  EXPECT_FALSE(context->hasChanges());
  EXPECT_EQ(favorites.findOneWithArtist("band", "SONG"), favorite);
  EXPECT_EQ(favorites.artists(), (std::vector<std::string>{"Band"}));

  MRFavoriteTrackMixTrackItem restored;
  favorite->assignToPlaylistTrackItem(restored, cache.path());
  EXPECT_EQ(restored.favoritedAt, Date{1000});
  ASSERT_EQ(restored.previewDataSourceSet.size(), 2u);
  const auto* cached = restored.localCachePreviewDataSource();
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(cached->previewUrl, "file://localhost" + cache.path() + "/abc.m4a");
  EXPECT_EQ(restored.playablePreviewDataSource(), cached);
  const auto* restoredVideo = restored.youTubePreviewDataSource();
  ASSERT_NE(restoredVideo, nullptr);
  EXPECT_EQ(
      std::dynamic_pointer_cast<MRYouTubeAdditionalInfo>(restoredVideo->additionalInfo)->videoID(),
      "v123");

  CDFavoriteTrack::deleteLocalCacheWithTrack(*favorite, cache.path());
  EXPECT_FALSE(std::filesystem::exists(cache.file("abc.m4a")));
  EXPECT_EQ(favorite->localCachePreviewDataSource(), nullptr);
  // Unlinked, not deleted.
  EXPECT_EQ(CDPreviewDataSourceEntityController(context).countAllItems(), 2);
}

TEST_F(QueriesFixture, MessagesAndNotificationsKeepTheirDocuments) {
  auto sender = artist("Sender");
  sender->setWaid("w9");
  CDDirectMessageEntityController messages(context);
  for (int i = 1; i <= 3; ++i) {
    auto message = messages.insertNewObject();
    message->assignWithDocument(MRMessageDocument(*parseJson(
        R"({"msgId": )" + std::to_string(i) + R"(, "createdAt": )" + std::to_string(i * 100) +
        R"(, "text": "hello", "artist": {"waid": "w9", "name": "Sender"}})")));
  }
  EXPECT_EQ(messages.findNewestPostForWaid("w9")->msgId(), 3);
  EXPECT_EQ(messages.findWithWaid("w9").size(), 3u);
  const auto older = messages.findOlder(Date{300}, 5);
  ASSERT_EQ(older.size(), 2u);
  EXPECT_EQ(older[0]->msgId(), 2);
  EXPECT_EQ(messages.findFrom(1, 1)[0]->msgId(), 2);
  EXPECT_EQ(messages.findWithMsgId(1)->getDocument()->text(), "hello");
  EXPECT_EQ(messages.findWithMsgId(1)->artist(), sender);

  CDNotificationEntityController notifications(context);
  for (int i = 1; i <= 2; ++i) {
    notifications.insertNewObject()->assignWithDocument(MRPushNotificationDocument(
        *parseJson(R"({"notifId": )" + std::to_string(i) + R"(, "createdAt": )" +
                   std::to_string(i) + R"(, "type": "message", "read": 0})")));
  }
  EXPECT_EQ(notifications.countUnread(), 2);
  ASSERT_TRUE(notifications.flagRead(1));
  EXPECT_EQ(notifications.countUnread(), 1);
  EXPECT_EQ(notifications.findAll()[0]->notifId(), 2);
  EXPECT_EQ(notifications.findWithNotifId(2)->getDocument()->type(), "message");
  auto broken = notifications.insertNewObject();
  broken->setDocument(Bytes{'x'});
  EXPECT_FALSE(broken->getDocument().has_value());
}

TEST_F(QueriesFixture, HistoryReleasesAndChecks) {
  CDPlayHistoryTrackEntityController history(context);
  for (int i = 0; i < 3; ++i) {
    auto played = history.insertNewObject();
    played->setItemHash("h" + std::to_string(i));
    played->setPlayedAt(Date{static_cast<double>(i)});
  }
  EXPECT_EQ(history.findNewerTracksWithCount(1)[0]->itemHash(), "h2");
  EXPECT_NE(history.findWithItemHash("h0"), nullptr);

  CDNewReleaseEntityController releases(context);
  auto release = releases.insertNewObject();
  release->setItemHash(CDUtility::itemHashWithTitle("Album", "Band"));
  EXPECT_TRUE(releases.existsWithTitle("ALBUM", "band"));
  EXPECT_FALSE(releases.existsWithTitle("Other", "Band"));

  CDNewReleaseCheckHistoryEntityController checks(context);
  checks.insertNewObjectWithArtistName("Band", Date{42});
  EXPECT_EQ(checks.findWithArtistName("BAND")->lastCheckedDate(), Date{42});

  CDUserTrackEntityController userTracks(context);
  auto userTrack = userTracks.insertNewObject();
  userTrack->setItemHash(CDUtility::itemHashWithTitle("T", "A", "R"));
  EXPECT_EQ(userTracks.findWithArtistName("R", "A", "T"), userTrack);
}

}  // namespace
}  // namespace mr
