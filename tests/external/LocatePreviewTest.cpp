#include <gtest/gtest.h>

#include <condition_variable>
#include <set>
#include <thread>

#include "base/OperationQueue.h"
#include "base/SystemLocale.h"
#include "external/ExternalErrors.h"
#include "external/MRLocatePreviewDataOperation.h"
#include "external/MRLocatePreviewDataSourceOperation.h"
#include "external/StandInServer.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// A music video with a preview, a song without one, then the song to take.
constexpr const char* kSongs = R"json({"resultCount": 3, "results": [
 {"wrapperType": "track", "kind": "music-video", "artistName": "Cher", "trackName": "Believe",
  "previewUrl": "http://store.example/believe-video.m4v"},
 {"wrapperType": "track", "kind": "song", "artistName": "Cher", "trackName": "Believe (Edit)",
  "previewUrl": ""},
 {"wrapperType": "track", "kind": "song", "artistId": 789, "collectionId": 456, "trackId": "123",
  "artistName": "Cher", "collectionName": "Believe", "trackName": "Believe",
  "previewUrl": "http://store.example/believe.m4a",
  "artworkUrl100": "http://store.example/art/100x100bb.jpg",
  "trackViewUrl": "http://store.example/track/123", "primaryGenreName": "Pop",
  "primaryGenreId": 14, "releaseDate": "1998-10-19T07:00:00Z", "trackCount": 10}
]})json";

// A video search whose only entry is the music video, watched on `site`.
std::string videoFeed(const std::string& site) {
  return R"({"feed": {"entry": [
 {"title": {"$t": "Cher - Believe [Official Music Video]"},
  "link": [{"rel": "alternate", "href": ")" +
         site + R"(/watch?v=bbb"}],
  "media$group": {"media$category": [{"$t": "Music"}], "media$description": {"$t": ""},
                  "media$keywords": {"$t": "cher, believe"}, "yt$videoid": {"$t": "bbb"}},
  "yt$statistics": {"favoriteCount": "12", "viewCount": "123456"}}]}})";
}

// A watch page holding the stream map the way the site embeds it.
std::string watchPage(const std::string& streams) {
  std::string json = R"({"content": {"video": {"fmt_stream_map": )" + streams + "}}}";
  std::string escaped;
  for (char c : json)
    escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return "<html><script>ls.setItem('PIGGYBACK_DATA', \")]}'" + escaped + "\");</script></html>";
}

TEST(LocateSourceTest, TheFirstSongWithAPreviewBecomesTheITunesSource) {
  const auto entries = iTunesSearchAPI::parseResultData(kSongs);
  ASSERT_TRUE(entries);
  const Date now{1234567890.0};
  const auto source =
      MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries(*entries, now);
  ASSERT_TRUE(source);
  EXPECT_EQ(source->sourceID, MRPreviewSourceIDITunes);
  EXPECT_EQ(source->previewUrl, "http://store.example/believe.m4a");
  EXPECT_EQ(source->locatedAt, now);
  const auto info = std::dynamic_pointer_cast<MRiTunesAdditionalInfo>(source->additionalInfo);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->kind(), "song");
  EXPECT_EQ(info->trackName(), "Believe");
  EXPECT_EQ(info->collectionName(), "Believe");
  EXPECT_EQ(info->trackId(), 123);
  EXPECT_EQ(info->collectionId(), 456);
  EXPECT_EQ(info->primaryGenreId(), 14);
  EXPECT_EQ(info->trackCount(), 10);
  EXPECT_EQ(info->artworkUrl(), "http://store.example/art/200x200bb.jpg");
  ASSERT_TRUE(info->releaseDate());
  ASSERT_TRUE(info->releaseDate()->isDate());
  EXPECT_EQ(*info->releaseDate()->asDate(), *(*entries)[2].releaseDate);

  // Ids past 2^31 are kept whole, stored and read back.
  auto large = (*entries)[2];
  large.trackId = 3000000000u;
  large.collectionId = 1440857781012u;
  large.artistId = 4294967297u;
  const auto big =
      MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries({large}, now);
  ASSERT_TRUE(big);
  const MRiTunesAdditionalInfo stored(
      *MRPreviewDataSourceAdditionalInfo::dictionaryFromData(big->additionalInfo->serialize())
           .asDictionary());
  EXPECT_EQ(stored.trackId(), 3000000000);
  EXPECT_EQ(stored.collectionId(), 1440857781012);
  EXPECT_EQ(stored.artistId(), 4294967297);

  // Without the last song nothing qualifies: neither the video, whose
  // preview is there, nor the song without one.
  const std::vector<iTunesEntry> rest(entries->begin(), entries->begin() + 2);
  EXPECT_FALSE(MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries(rest, now));
  EXPECT_FALSE(MRLocateITunesPreviewDataSourceOperation::previewDataSourceFromEntries({}, now));
}

TEST(LocateSourceTest, AVideoSourceKnowsItsWatchPageButNoStream) {
  const auto entries = *YouTubeVideoAPI::parseSearchResult(videoFeed("http://video.example"));
  ASSERT_EQ(entries.size(), 1u);
  const Date now{1234567890.0};
  const auto source =
      MRLocateYouTubePreviewDataSourceOperation::previewDataSourceFromEntry(entries[0], now);
  EXPECT_EQ(source.sourceID, MRPreviewSourceIDYouTube);
  EXPECT_FALSE(source.previewUrl);
  EXPECT_EQ(source.locatedAt, now);
  const auto info = std::dynamic_pointer_cast<MRYouTubeAdditionalInfo>(source.additionalInfo);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->link(), "http://video.example/watch?v=bbb");
  EXPECT_EQ(info->videoID(), "bbb");
  EXPECT_EQ(info->category(), "Music");
  EXPECT_EQ(info->viewCount(), 123456);

  // An entry without its media group stores no value for those fields.
  YouTubeVideoEntry bare;
  bare.title = "bare";
  const auto plain =
      MRLocateYouTubePreviewDataSourceOperation::previewDataSourceFromEntry(bare, now);
  EXPECT_EQ(plain.additionalInfo->data().get("description"), nullptr);
  EXPECT_EQ(plain.additionalInfo->data().stringForKey("title", ""), "bare");
}

TEST(LocateSourceTest, LargeStreamsOnlyOverWiFi) {
  using Op = MRLocateYouTubePreviewDataOperation;
  EXPECT_EQ(Op::qualityForStatus(NetworkStatus::ReachableViaWiFi), 2);
  EXPECT_EQ(Op::qualityForStatus(NetworkStatus::ReachableViaWired), 0);
  EXPECT_EQ(Op::qualityForStatus(NetworkStatus::ReachableViaWWAN), 0);
  EXPECT_EQ(Op::qualityForStatus(NetworkStatus::NotReachable), 0);
}

// Stand-ins for the store and the video site. A path can be held: its
// requests then get no answer until the test releases them.
struct LocateFixture : ::testing::Test {
  ~LocateFixture() override { releaseAll(); }

  void hold(const std::string& path) {
    std::lock_guard guard(gateMutex);
    held.insert(path);
  }
  void releaseAll() {
    std::lock_guard guard(gateMutex);
    held.clear();
    gate.notify_all();
  }
  void waitAtGate(const std::string& path) {
    std::unique_lock lock(gateMutex);
    gate.wait(lock, [&] { return held.count(path) == 0; });
  }
  size_t requestsTo(const std::string& path) const {
    size_t count = 0;
    for (const auto& request : server.requests())
      count += request.path == path ? 1 : 0;
    return count;
  }

  MRPreviewSites sites() {
    return {iTunes, video, [] { return std::string("jp"); }};
  }
  // A video source as the finder leaves it, watched at `path`.
  MRPreviewDataSource videoSource(const std::string& path,
                                  std::optional<std::string> previewUrl = std::nullopt) {
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDYouTube;
    source.previewUrl = std::move(previewUrl);
    auto info = std::make_shared<MRYouTubeAdditionalInfo>();
    info->setLink(server.baseUrl() + path);
    source.additionalInfo = info;
    return source;
  }
  static MRPreviewDataSource storeSource() {
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDITunes;
    source.previewUrl = "http://store.example/believe.m4a";
    return source;
  }

  // Runs the operation on its own thread while this one drives the main loop.
  bool runToEnd(const std::shared_ptr<Operation>& operation) {
    queue->addOperation(operation);
    return testEnv.pumpUntil([&] { return operation->isFinished(); });
  }

  test::TestEnv testEnv;
  std::mutex gateMutex;
  std::condition_variable gate;
  std::set<std::string> held;
  std::atomic<int> storeAnswers{0};
  test::StandInServer server{[this](const httplib::Request& request, httplib::Response& response) {
    waitAtGate(request.path);
    if (request.path == "/search") {
      ++storeAnswers;
      response.set_content(kSongs, "application/json");
    } else if (request.path == "/feeds/api/videos") {
      response.set_content(videoFeed(server.baseUrl()), "application/json");
    } else if (request.path == "/watch") {
      response.set_content(
          watchPage(R"([{"url": "http:\/\/v\/large"}, {"url": "http:\/\/v\/medium"},
                                         {"url": "http:\/\/v\/small"}])"),
          "text/html");
    } else if (request.path == "/broken") {
      response.set_content("<html>nothing to play</html>", "text/html");
    } else if (request.path == "/proxy/search" || request.path == "/proxy/feeds/api/videos") {
      response.set_content("<html>try again later</html>", "text/html");
    } else if (request.path == "/empty/search") {
      response.set_content(R"({"resultCount": 0, "results": []})", "application/json");
    } else if (request.path == "/empty/feeds/api/videos") {
      response.set_content(R"({"feed": {}})", "application/json");
    } else {
      response.status = 404;
    }
  }};
  // One engine per site, so a site that hangs does not hold up the other.
  std::shared_ptr<HttpEngine> storeEngine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  std::shared_ptr<HttpEngine> videoEngine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  std::shared_ptr<iTunesSearchAPI> iTunes =
      std::make_shared<iTunesSearchAPI>(testEnv.env(), storeEngine, server.baseUrl());
  std::shared_ptr<YouTubeVideoAPI> video = std::make_shared<YouTubeVideoAPI>(
      testEnv.env(), videoEngine, server.baseUrl(), server.baseUrl());
  std::shared_ptr<OperationQueue> queue = std::make_shared<OperationQueue>("LocateTest", 4);
};

TEST_F(LocateFixture, BothSitesAreAskedAndEachGivesOneSource) {
  auto op = std::make_shared<MRLocatePreviewDataSourceOperation>(testEnv.env(), sites(), "Believe",
                                                                 "Cher");
  const auto testThread = std::this_thread::get_id();
  int begun = 0, completed = 0;
  bool offTestThread = true;
  op->setBeginningBlock([&](MRLocatePreviewDataSourceOperation&) {
    ++begun;
    offTestThread = offTestThread && std::this_thread::get_id() != testThread;
  });
  op->setOnCompletion([&](MRLocatePreviewDataSourceOperation&) {
    ++completed;
    offTestThread = offTestThread && std::this_thread::get_id() != testThread;
  });
  ASSERT_TRUE(runToEnd(op));
  EXPECT_EQ(begun, 1);
  EXPECT_EQ(completed, 1);
  EXPECT_TRUE(offTestThread);
  EXPECT_FALSE(op->lastError());

  const auto found = op->previewDataSourceSet();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].sourceID, MRPreviewSourceIDITunes);
  EXPECT_EQ(found[0].previewUrl, "http://store.example/believe.m4a");
  EXPECT_EQ(found[1].sourceID, MRPreviewSourceIDYouTube);
  EXPECT_FALSE(found[1].previewUrl);
  const auto info = std::dynamic_pointer_cast<MRYouTubeAdditionalInfo>(found[1].additionalInfo);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->link(), server.baseUrl() + "/watch?v=bbb");

  // The store is searched in the listener's country; the video site by
  // title then artist.
  for (const auto& request : server.requests()) {
    if (request.path == "/search") {
      EXPECT_EQ(request.query.at("term"), "Cher Believe");
      EXPECT_EQ(request.query.at("country"), "jp");
      EXPECT_EQ(request.query.at("entity"), "song");
    } else {
      EXPECT_EQ(request.path, "/feeds/api/videos");
      EXPECT_EQ(request.query.at("q"), "Believe Cher");
    }
  }
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(LocateFixture, TheStoreAloneUsesTheLocaleCountryAndSurvivesFailures) {
  MRPreviewSites noCountry{iTunes, video, nullptr};
  auto op = std::make_shared<MRLocateITunesPreviewDataSourceOperation>(testEnv.env(), noCountry,
                                                                       "Believe", "Cher");
  int completed = 0;
  op->setOnCompletion([&](MRLocateITunesPreviewDataSourceOperation&) { ++completed; });
  ASSERT_TRUE(runToEnd(op));
  EXPECT_EQ(completed, 1);
  ASSERT_TRUE(op->previewDataSource());
  EXPECT_EQ(op->previewDataSource()->locatedAt, testEnv.clock().currentDate());
  EXPECT_EQ(server.last().query["country"], currentRegionCode());

  // A store that is not there: no source, and the completion still runs.
  auto gone =
      std::make_shared<iTunesSearchAPI>(testEnv.env(), storeEngine, server.baseUrl() + "/gone");
  auto failing = std::make_shared<MRLocateITunesPreviewDataSourceOperation>(
      testEnv.env(), MRPreviewSites{gone, video, nullptr}, "Believe", "Cher");
  failing->setOnCompletion([&](MRLocateITunesPreviewDataSourceOperation&) { ++completed; });
  ASSERT_TRUE(runToEnd(failing));
  EXPECT_EQ(completed, 2);
  EXPECT_FALSE(failing->previewDataSource());
  ASSERT_TRUE(failing->lastError());
  EXPECT_EQ(failing->lastError()->code(), 404);
  EXPECT_FALSE(op->lastError());
}

// "Could not ask" and "there is none" are told apart, for each site and
// for both together.
TEST_F(LocateFixture, AnAnswerThatIsNoAnswerIsAnErrorAndAnEmptyOneIsNot) {
  const auto sitesAt = [&](const std::string& prefix) {
    return MRPreviewSites{
        std::make_shared<iTunesSearchAPI>(testEnv.env(), storeEngine, server.baseUrl() + prefix),
        std::make_shared<YouTubeVideoAPI>(testEnv.env(), videoEngine, server.baseUrl() + prefix,
                                          server.baseUrl()),
        nullptr};
  };
  auto store = std::make_shared<MRLocateITunesPreviewDataSourceOperation>(
      testEnv.env(), sitesAt("/proxy"), "Believe", "Cher");
  auto video = std::make_shared<MRLocateYouTubePreviewDataSourceOperation>(
      testEnv.env(), sitesAt("/proxy"), "Believe", "Cher");
  auto both = std::make_shared<MRLocatePreviewDataSourceOperation>(testEnv.env(), sitesAt("/proxy"),
                                                                   "Believe", "Cher");
  for (const auto& op : std::vector<std::shared_ptr<Operation>>{store, video, both})
    ASSERT_TRUE(runToEnd(op));
  EXPECT_FALSE(store->previewDataSource());
  EXPECT_FALSE(video->previewDataSource());
  EXPECT_TRUE(both->previewDataSourceSet().empty());
  for (const auto& error : {store->lastError(), video->lastError(), both->lastError()}) {
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kMalformedAnswerErrorCode);
    EXPECT_TRUE(isTemporaryFailure(*error));
  }

  auto nowhere = std::make_shared<MRLocatePreviewDataSourceOperation>(
      testEnv.env(), sitesAt("/empty"), "Believe", "Cher");
  ASSERT_TRUE(runToEnd(nowhere));
  EXPECT_TRUE(nowhere->previewDataSourceSet().empty());
  EXPECT_FALSE(nowhere->lastError());
}

// The finder that is still out at the deadline adds nothing and is given
// up; the other's source stays.
TEST_F(LocateFixture, AStoreAnsweringAfterTheDeadlineAddsNothing) {
  hold("/search");
  auto op = std::make_shared<MRLocatePreviewDataSourceOperation>(testEnv.env(), sites(), "Believe",
                                                                 "Cher");
  queue->addOperation(op);
  // The video is in; the operation and the store finder wait.
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return op->previewDataSourceSet().size() == 1 && requestsTo("/search") == 1 &&
           testEnv.clock().waiterCount() == 2;
  }));
  testEnv.clock().advance(seconds(31));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return op->isFinished(); }));
  const auto found = op->previewDataSourceSet();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].sourceID, MRPreviewSourceIDYouTube);
  // The store could not be asked in time: worth asking again later.
  ASSERT_TRUE(op->lastError());
  EXPECT_EQ(op->lastError()->code(), kHttpErrorTimedOut);
  EXPECT_TRUE(isTemporaryFailure(*op->lastError()));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return testEnv.clock().waiterCount() == 0; }));

  // The late answer changes nothing.
  releaseAll();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return storeAnswers == 1; }));
  testEnv.dispatcher().pump();
  EXPECT_EQ(op->previewDataSourceSet().size(), 1u);
}

TEST_F(LocateFixture, AVideoSiteStillSilentAtTheDeadlineIsCancelled) {
  hold("/feeds/api/videos");
  auto op = std::make_shared<MRLocatePreviewDataSourceOperation>(testEnv.env(), sites(), "Believe",
                                                                 "Cher");
  queue->addOperation(op);
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return op->previewDataSourceSet().size() == 1 && requestsTo("/feeds/api/videos") == 1 &&
           testEnv.clock().waiterCount() == 2;
  }));
  testEnv.clock().advance(seconds(31));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return op->isFinished(); }));
  const auto found = op->previewDataSourceSet();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].sourceID, MRPreviewSourceIDITunes);
  // The video finder has no deadline of its own: only the cancel ends it.
  EXPECT_TRUE(testEnv.pumpUntil([&] { return testEnv.clock().waiterCount() == 0; }));
}

TEST_F(LocateFixture, CancellingReachesBothFinders) {
  hold("/search");
  hold("/feeds/api/videos");
  auto op = std::make_shared<MRLocatePreviewDataSourceOperation>(testEnv.env(), sites(), "Believe",
                                                                 "Cher");
  int completed = 0;
  op->setOnCompletion([&](MRLocatePreviewDataSourceOperation&) { ++completed; });
  queue->addOperation(op);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return testEnv.clock().waiterCount() == 3; }));
  op->cancel();
  ASSERT_TRUE(
      testEnv.pumpUntil([&] { return op->isFinished() && testEnv.clock().waiterCount() == 0; }));
  EXPECT_EQ(completed, 1);
  EXPECT_TRUE(op->previewDataSourceSet().empty());
  EXPECT_FALSE(op->lastError());  // a cancel is nobody's failure
}

// Resolving

TEST_F(LocateFixture, ACachedFileOrAStorePreviewNeedsNoNetwork) {
  MRPreviewDataSource cached;
  cached.sourceID = MRPreviewSourceIDLocalCache;
  cached.previewUrl = "/cache/abc.m4a";
  auto withCache = std::make_shared<MRLocatePreviewDataOperation>(
      testEnv.env(), sites(), std::vector{videoSource("/watch"), cached});
  int begun = 0, completed = 0;
  withCache->setBeginningBlock([&](MRLocatePreviewDataOperation&) { ++begun; });
  withCache->setOnCompletion([&](MRLocatePreviewDataOperation&) { ++completed; });
  ASSERT_TRUE(runToEnd(withCache));
  EXPECT_EQ(begun, 1);
  EXPECT_EQ(completed, 1);
  auto after = withCache->subjectPreviewDataSourceSet();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_FALSE(after[0].previewUrl);
  EXPECT_EQ(after[1].previewUrl, "/cache/abc.m4a");

  auto storeOnly = std::make_shared<MRLocatePreviewDataOperation>(testEnv.env(), sites(),
                                                                  std::vector{storeSource()});
  ASSERT_TRUE(runToEnd(storeOnly));
  after = storeOnly->subjectPreviewDataSourceSet();
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].sourceID, MRPreviewSourceIDITunes);
  EXPECT_EQ(after[0].previewUrl, "http://store.example/believe.m4a");

  EXPECT_TRUE(server.requests().empty());
}

TEST_F(LocateFixture, AVideoGetsTheStreamForTheLink) {
  const auto resolve = [&] {
    auto op = std::make_shared<MRLocatePreviewDataOperation>(
        testEnv.env(), sites(), std::vector{storeSource(), videoSource("/watch")});
    EXPECT_TRUE(runToEnd(op));
    const auto after = op->subjectPreviewDataSourceSet();
    EXPECT_EQ(after.size(), 2u);
    EXPECT_EQ(after.at(0).sourceID, MRPreviewSourceIDITunes);
    EXPECT_EQ(after.at(0).previewUrl, "http://store.example/believe.m4a");
    EXPECT_EQ(after.at(1).sourceID, MRPreviewSourceIDYouTube);
    return after.at(1).previewUrl.value_or("");
  };
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWiFi);
  EXPECT_EQ(resolve(), "http://v/large");
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWired);
  EXPECT_EQ(resolve(), "http://v/small");
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWWAN);
  EXPECT_EQ(resolve(), "http://v/small");
  EXPECT_EQ(requestsTo("/watch"), 3u);
}

TEST_F(LocateFixture, AFailedExtractionKeepsThePreviousURL) {
  auto op = std::make_shared<MRLocatePreviewDataOperation>(
      testEnv.env(), sites(),
      std::vector{videoSource("/broken"), videoSource("/broken", "http://v/from-history")});
  ASSERT_TRUE(runToEnd(op));
  const auto after = op->subjectPreviewDataSourceSet();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_FALSE(after[0].previewUrl);
  EXPECT_EQ(after[1].previewUrl, "http://v/from-history");
  EXPECT_EQ(requestsTo("/broken"), 2u);
}

TEST_F(LocateFixture, AWatchPageThatNeverComesIsGivenUpAfterThirtySeconds) {
  hold("/watch");
  auto op = std::make_shared<MRLocatePreviewDataOperation>(
      testEnv.env(), sites(), std::vector{videoSource("/watch", "http://v/old")});
  queue->addOperation(op);
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return requestsTo("/watch") == 1 && testEnv.clock().waiterCount() == 1; }));
  testEnv.clock().advance(seconds(29));
  testEnv.dispatcher().pumpUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_FALSE(op->isFinished());
  testEnv.clock().advance(seconds(2));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return op->isFinished(); }));
  EXPECT_EQ(op->subjectPreviewDataSourceSet().at(0).previewUrl, "http://v/old");
}

TEST_F(LocateFixture, CancellingReachesTheExtraction) {
  hold("/watch");
  auto one = std::make_shared<MRLocatePreviewDataOperationForOneSource>(testEnv.env(), sites(),
                                                                        videoSource("/watch"));
  int begun = 0;
  one->setBeginningBlock([&](MRLocatePreviewDataOperationForOneSource&) { ++begun; });
  auto op = std::make_shared<MRLocatePreviewDataOperation>(testEnv.env(), sites(),
                                                           std::vector{videoSource("/watch")});
  queue->addOperation(one);
  queue->addOperation(op);
  ASSERT_TRUE(testEnv.pumpUntil(
      [&] { return requestsTo("/watch") == 2 && testEnv.clock().waiterCount() == 2; }));
  one->cancel();
  op->cancel();
  ASSERT_TRUE(testEnv.pumpUntil([&] { return one->isFinished() && op->isFinished(); }));
  EXPECT_EQ(begun, 1);
  EXPECT_FALSE(one->previewDataSource().previewUrl);
  EXPECT_FALSE(op->subjectPreviewDataSourceSet().at(0).previewUrl);
}

}  // namespace
}  // namespace mr
