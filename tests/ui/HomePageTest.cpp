// The home page: its three lists with the exact JSON the page gets, and
// the page's picks.
#include <gtest/gtest.h>

#include <set>

#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "playback/MRArtistTopTrackMix.h"
#include "recommend/MRRecommendMix.h"
#include "store/CDNewRelease.h"
#include "store/CDRecommendTrack.h"
#include "ui/MRMainMenuViewController.h"
#include "ui/UiWorld.h"

namespace mr {
namespace {

struct HomePageTest : test::UiWorld {
  std::shared_ptr<CDArtist> storeArtist(const std::string& name, std::vector<std::string> tags) {
    LastfmArtist artist;
    artist.name = name;
    artist.tag = std::move(tags);
    CDArtistEntityController artists(store.get());
    auto record = artists.insertNewObjectWithLastfmArtist(artist);
    EXPECT_TRUE(artists.save().ok());
    return record;
  }
  void storeRecommendation(const std::string& title, const std::string& artistName) {
    auto context = store->newContext();
    CDArtistEntityController artists(context);
    CDRecommendTrackEntityController tracks(context);
    auto artist = artists.findWithArtistName(artistName);
    auto track = tracks.insertNewObject();
    track->setArtist(artist.get());
    track->setTitle(title);
    track->setImageUrl("http://art.test/" + title + ".jpg");
    track->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*track));
    ASSERT_TRUE(tracks.save().ok());
  }
  void recommendArtist(const std::string& name) {
    CDArtistEntityController artists(store.get());
    CDRecommendArtistEntityController recommended(artists.context());
    auto artist = artists.findWithArtistName(name);
    auto record = recommended.insertNewObject();
    record->setItemHash(artist->itemHash());
    record->setArtist(artist.get());
    ASSERT_TRUE(artists.save().ok());
  }
  // Opens the window and lets the home page load its lists.
  std::string loadHome() {
    auto& window = openWindow();
    const std::string channel = window.modalViewController()->channel();
    page.load(channel);
    EXPECT_EQ(page.last(channel, "app.setNewReleases"), "");  // not before 0.2 s
    advance(0.1);
    EXPECT_EQ(page.last(channel, "app.setNewReleases"), "");
    advance(0.1);
    EXPECT_NE(page.last(channel, "app.setNewReleases"), "");
    EXPECT_TRUE(testEnv.pumpUntil([&] { return page.last(channel, "app.setGenreList") != ""; }));
    return channel;
  }
  Value genreNamed(const std::string& channel, const std::string& tag) {
    const std::string script = page.last(channel, "app.setGenreList(");
    auto list = parseJson(script.substr(17, script.size() - 18));
    EXPECT_TRUE(list.ok()) << script;
    for (const auto& genre : *list.value().asArray()) {
      if (genre.stringForKey("genreTag", "") == tag) return genre;
    }
    ADD_FAILURE() << "no genre " << tag << " in " << script;
    return Value();
  }
  std::vector<std::string> artwork(const Value& genre) {
    std::vector<std::string> urls;
    if (const Array* list = genre.arrayForKeyPath("artwork")) {
      for (const auto& url : *list)
        urls.push_back(*url.asString());
    }
    return urls;
  }
};

TEST(CapitalizedStringTest, EachWordCapitalised) {
  EXPECT_EQ(capitalizedString("hip-hop"), "Hip-Hop");
  EXPECT_EQ(capitalizedString("ROCK and roll"), "Rock And Roll");
  EXPECT_EQ(capitalizedString("j-pop 80s"), "J-Pop 80s");
  EXPECT_EQ(capitalizedString("café noir"), "Café Noir");
  EXPECT_EQ(capitalizedString(""), "");
}

TEST_F(HomePageTest, ListsAsThePageGetsThem) {
  storeArtist("Solo", {"one track"});
  storeArtist("Duo", {"two tracks"});
  storeArtist("Trio", {"hip-hop"});
  storeRecommendation("S1", "Solo");
  storeRecommendation("D1", "Duo");
  storeRecommendation("D2", "Duo");
  for (const char* title : {"T1", "T2", "T3"})
    storeRecommendation(title, "Trio");
  recommendArtist("Solo");
  {
    CDArtistEntityController artists(store.get());
    CDNewReleaseEntityController releases(artists.context());
    auto release = releases.insertNewObject();
    release->setTitle(std::string("Record"));
    release->setImageUrl(std::string("http://art.test/record.jpg"));
    release->setCollectionId(int64_t{123456789012});
    release->setReleaseDate(Date{1.0e9});
    release->setArtist(artists.findWithArtistName("Duo").get());
    ASSERT_TRUE(releases.save().ok());
  }

  const std::string home = loadHome();
  EXPECT_EQ(page.last(home, "app.setNewReleases"),
            R"(app.setNewReleases([{"artwork":"http://art.test/record.jpg","artist":"Duo",)"
            R"("title":"Record","collectionId":123456789012}]))");
  EXPECT_EQ(page.last(home, "app.setTodaysArtists"),
            R"(app.setTodaysArtists([{"index":0,"artwork":"","name":"Solo"}]))");

  const auto one = artwork(genreNamed(home, "One Track"));
  EXPECT_EQ(one, std::vector<std::string>(4, "http://art.test/S1.jpg"));
  const auto two = artwork(genreNamed(home, "Two Tracks"));
  ASSERT_EQ(two.size(), 4u);
  EXPECT_EQ(two[0], two[2]);
  EXPECT_EQ(two[1], two[3]);
  EXPECT_EQ(std::set<std::string>(two.begin(), two.end()),
            (std::set<std::string>{"http://art.test/D1.jpg", "http://art.test/D2.jpg"}));
  const auto three = artwork(genreNamed(home, "Hip-Hop"));
  ASSERT_EQ(three.size(), 4u);
  EXPECT_EQ(three[3], three[0]);
  EXPECT_EQ(std::set<std::string>(three.begin(), three.begin() + 3).size(), 3u);
  const Value genre = genreNamed(home, "Hip-Hop");
  const int64_t index = genre.integerForKey("index", -1);

  // The page's genre pick: a recommend mix of that tag, opened on its tracks.
  request(home, "app://genreDidSelect?index=" + std::to_string(index));
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto mix = std::dynamic_pointer_cast<MRRecommendMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(mix);
  EXPECT_EQ(mix->subjectGenreTag(), "hip-hop");
  ASSERT_EQ(mix->topTracks().size(), 3u);
  EXPECT_EQ(mix->topTracks()[0]->imageUrl, three[0]);
}

TEST_F(HomePageTest, AGenreWithoutTracksGetsNoArtwork) {
  auto& window = openWindow();
  auto home = std::dynamic_pointer_cast<MRMainMenuViewController>(window.modalViewController());
  ASSERT_TRUE(home);
  auto selector = std::make_shared<MRRecommendMixGenreSelector>(context.mix.recommend);
  selector->setTopGenres({MRGenreTag::genreTagWithName("ambient drone", 1)});
  home->recommendMixGenreSelectorDidLoadTopGenres(*selector);
  EXPECT_EQ(page.last(home->channel(), "app.setGenreList"),
            R"(app.setGenreList([{"index":0,"artwork":[],"genreTag":"Ambient Drone"}]))");
}

TEST_F(HomePageTest, TheEmptyStoreGivesEmptyLists) {
  const std::string home = loadHome();
  EXPECT_EQ(page.last(home, "app.setNewReleases"), "app.setNewReleases([])");
  EXPECT_EQ(page.last(home, "app.setTodaysArtists"), "app.setTodaysArtists([])");
  EXPECT_EQ(page.last(home, "app.setGenreList"), "app.setGenreList([])");
  request(home, "app://genreDidSelect?index=0");
  request(home, "app://artistDidSelect?index=0");
  EXPECT_TRUE(playlistScreens.empty());
}

TEST_F(HomePageTest, TodaysArtistPicksWithBadIndexes) {
  storeArtist("Solo", {"rock"});
  recommendArtist("Solo");
  const std::string home = loadHome();
  request(home, "app://artistDidSelect?index=5");  // beyond the list: ignored
  request(home, "app://artistDidSelect?index=-1");
  request(home, "app://noSuchMessage?index=0");
  EXPECT_TRUE(playlistScreens.empty());
  request(home, "app://artistDidSelect?index=first");  // not a number: the first
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto mix = std::dynamic_pointer_cast<MRArtistTopTrackMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(mix);
  EXPECT_EQ(mix->artistName(), "Solo");
  // The pushed screen replaced the home page.
  EXPECT_FALSE(window->modalViewController());
  EXPECT_EQ(window->navigationStack().back(), playlistScreens[0]);
}

TEST_F(HomePageTest, ANewReleaseOpensTheStoreOrSaysWhyNot) {
  const auto& catalogue = sandbox.server().catalogue();
  uint64_t collectionId = 0;
  for (const auto& album : catalogue.albums()) {
    if (album.storeCollectionId != 0) {
      collectionId = static_cast<uint64_t>(album.storeCollectionId);
      break;
    }
  }
  ASSERT_NE(collectionId, 0u);
  const std::string home = loadHome();
  request(home, "app://newReleaseItemDidSelect?collectionId=" + std::to_string(collectionId));
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !browsed.empty(); }));
  const std::string prefix = testEnv.env().config().affiliatePrefix;
  ASSERT_EQ(browsed[0].compare(0, prefix.size(), prefix), 0) << browsed[0];
  const auto target = percentDecode(browsed[0].substr(prefix.size()));
  ASSERT_TRUE(target);
  EXPECT_EQ(target->compare(0, 4, "http"), 0) << *target;
  const auto lookups = sandbox.server().recordedRequests("/lookup");
  ASSERT_EQ(lookups.size(), 1u);
  EXPECT_EQ(Value(lookups[0].parameters).stringForKey("entity", ""), "album");
  EXPECT_EQ(Value(lookups[0].parameters).stringForKey("country", ""), "us");

  // The store cannot be reached: an error alert.
  context.mix.recommend.sites.iTunes = std::make_shared<iTunesSearchAPI>(
      testEnv.env(), sandbox.engine(), "http://127.0.0.1:1");
  request(home, "app://newReleaseItemDidSelect?collectionId=1");
  ASSERT_TRUE(testEnv.pumpUntil([&] { return page.last("main", "app.showAlert") != ""; }));
  EXPECT_NE(page.last("main", "app.showAlert").find(R"("title":"Error")"), std::string::npos);
  EXPECT_EQ(browsed.size(), 1u);
}

TEST_F(HomePageTest, AnswersAfterTheHomePageWentAreIgnored) {
  storeArtist("Solo", {"rock"});
  storeRecommendation("S1", "Solo");
  auto& window = openWindow();
  const std::string home = window.modalViewController()->channel();
  page.load(home);
  main("app://sideMenuDidSelect?index=4");  // another screen before the lists came
  advance(1.0);
  EXPECT_TRUE(page.scripts(home).empty());

  // A lookup in flight when the page goes opens nothing.
  int64_t collectionId = 0;
  for (const auto& album : sandbox.server().catalogue().albums()) {
    if (album.storeCollectionId != 0) collectionId = album.storeCollectionId;
  }
  main("app://sideMenuDidSelect?index=0");
  const std::string second = window.modalViewController()->channel();
  request(second, "app://newReleaseItemDidSelect?collectionId=" + std::to_string(collectionId));
  main("app://sideMenuDidSelect?index=4");
  testEnv.dispatcher().pumpUntil([] { return false; }, std::chrono::milliseconds(200));
  EXPECT_TRUE(browsed.empty());
}

}  // namespace
}  // namespace mr
