#include <gtest/gtest.h>
#include <thread>

#include "external/LastfmAPI.h"
#include "external/StandInServer.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// Answers written after the service's published examples.
constexpr const char* kArtistInfo = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="ok">
<artist>
  <name>Cher</name>
  <mbid>bfcc6d75-a6a5-4bc6-8282-47aec8531818</mbid>
  <url>https://www.last.fm/music/Cher</url>
  <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/cher.png</image>
  <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/cher.png</image>
  <image size="large">https://lastfm.freetls.fastly.net/i/u/174s/cher.png</image>
  <image size="extralarge">https://lastfm.freetls.fastly.net/i/u/300x300/cher.png</image>
  <streamable>0</streamable>
  <ontour>0</ontour>
  <stats><listeners>1234567</listeners><playcount>34567890</playcount></stats>
  <similar>
    <artist>
      <name>Sonny &amp; Cher</name>
      <url>https://www.last.fm/music/Sonny+&amp;+Cher</url>
      <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/sonny.png</image>
      <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/sonny.png</image>
    </artist>
    <artist>
      <name>Cyndi Lauper</name>
      <url>https://www.last.fm/music/Cyndi+Lauper</url>
    </artist>
  </similar>
  <tags>
    <tag><name>pop</name><url>https://www.last.fm/tag/pop</url></tag>
    <tag><name>female vocalists</name><url>https://www.last.fm/tag/female+vocalists</url></tag>
  </tags>
  <bio>
    <published>01 Feb 2006, 04:49</published>
    <summary>Cher is an American singer and actress.</summary>
    <content>Cher is an American singer and actress. Sometimes referred to as the Goddess of Pop.</content>
  </bio>
</artist>
</lfm>)";

constexpr const char* kSimilarTracks = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="ok">
<similartracks track="Believe" artist="Cher">
  <track>
    <name>Ray of Light</name>
    <playcount>123456</playcount>
    <mbid></mbid>
    <match>1</match>
    <url>https://www.last.fm/music/Madonna/_/Ray+of+Light</url>
    <streamable fulltrack="0">0</streamable>
    <duration>320</duration>
    <artist>
      <name>Madonna</name>
      <mbid>79239441-bfd5-4981-a70c-55c3f15c1287</mbid>
      <url>https://www.last.fm/music/Madonna</url>
    </artist>
    <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/ray.png</image>
    <image size="medium">https://lastfm.freetls.fastly.net/i/u/64s/ray.png</image>
  </track>
  <track>
    <name>Strong Enough</name>
    <mbid></mbid>
    <match>0.781512</match>
    <url>https://www.last.fm/music/Cher/_/Strong+Enough</url>
    <streamable fulltrack="0">0</streamable>
    <artist>
      <name>Cher</name>
      <mbid>bfcc6d75-a6a5-4bc6-8282-47aec8531818</mbid>
      <url>https://www.last.fm/music/Cher</url>
    </artist>
  </track>
</similartracks>
</lfm>)";

constexpr const char* kSearchOne = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="ok">
<results for="cher" xmlns:opensearch="http://a9.com/-/spec/opensearch/1.1/">
  <opensearch:Query role="request" searchTerms="cher" startPage="1"/>
  <opensearch:totalResults>1</opensearch:totalResults>
  <opensearch:startIndex>0</opensearch:startIndex>
  <opensearch:itemsPerPage>30</opensearch:itemsPerPage>
  <artistmatches>
    <artist>
      <name>Cher</name>
      <listeners>1234567</listeners>
      <mbid>bfcc6d75-a6a5-4bc6-8282-47aec8531818</mbid>
      <url>https://www.last.fm/music/Cher</url>
      <streamable>0</streamable>
      <image size="small">https://lastfm.freetls.fastly.net/i/u/34s/cher.png</image>
      <image size="mega">https://lastfm.freetls.fastly.net/i/u/mega/cher.png</image>
    </artist>
  </artistmatches>
  <opensearch:Query role="request" searchTerms="cher" startPage="1"/>
</results>
</lfm>)";

constexpr const char* kNotFound = R"(<?xml version="1.0" encoding="utf-8"?>
<lfm status="failed">
  <error code="6">
    The artist you supplied could not be found
  </error>
</lfm>)";

TEST(LastfmParseTest, AnArtistWithItsImagesTagsSimilarArtistsAndBiography) {
  const auto artist = LastfmAPI::parseArtistInfo(kArtistInfo);
  ASSERT_TRUE(artist);
  EXPECT_EQ(artist->name, "Cher");
  EXPECT_EQ(artist->url, "https://www.last.fm/music/Cher");
  EXPECT_EQ(artist->mbid, "");  // never read from an answer
  EXPECT_EQ(artist->tag, (std::vector<std::string>{"pop", "female vocalists"}));
  ASSERT_EQ(artist->similar.size(), 2u);
  EXPECT_EQ(artist->similar[0].name, "Sonny & Cher");
  EXPECT_EQ(artist->bioSummary, "Cher is an American singer and actress.");
  // No "mega" size: the largest image is "", as the service gave none.
  EXPECT_EQ(artist->imageUrl.extraLarge, "https://lastfm.freetls.fastly.net/i/u/300x300/cher.png");
  EXPECT_EQ(artist->imageUrl.largest(), "");
}

TEST(LastfmParseTest, SimilarTracksDespiteTheAttributeOfTheSameName) {
  const auto tracks = LastfmAPI::parseTrackList(kSimilarTracks, "lfm/similartracks/track");
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].name, "Ray of Light");
  EXPECT_EQ(tracks[0].artistName, "Madonna");
  EXPECT_FLOAT_EQ(tracks[0].match, 1.0f);
  EXPECT_FLOAT_EQ(tracks[1].match, 0.781512f);
  EXPECT_FALSE(tracks[1].imageUrl.has_value());
}

TEST(LastfmParseTest, ASearchWithOneArtistIsAListOfOne) {
  const auto artists = LastfmAPI::parseArtistList(kSearchOne, "lfm/results/artistmatches/artist");
  ASSERT_EQ(artists.size(), 1u);
  EXPECT_EQ(artists[0].name, "Cher");
}

TEST(LastfmParseTest, ErrorsCarryTheServicesCodeAndTrimmedText) {
  const auto error = LastfmAPI::parseErrorResponse(kNotFound);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain(), "last.fm");
  EXPECT_EQ(error->code(), 6);
  EXPECT_EQ(error->description(), "The artist you supplied could not be found");
  EXPECT_FALSE(LastfmAPI::parseErrorResponse("<html>Bad gateway</html>"));
  EXPECT_FALSE(LastfmAPI::parseErrorResponse("not xml"));
}

TEST(LastfmParseTest, MalformedAnswersGiveNothingRatherThanACrash) {
  EXPECT_FALSE(
      LastfmAPI::parseArtistInfo("<lfm status=\"ok\"><artist><name>Cher</nam></artist></lfm>"));
  EXPECT_FALSE(LastfmAPI::parseArtistInfo("<lfm status=\"ok\"></lfm>"));
  EXPECT_TRUE(LastfmAPI::parseTrackList("<<<", "lfm/similartracks/track").empty());
  EXPECT_TRUE(LastfmAPI::parseArtistList("", "lfm/results/artistmatches/artist").empty());
  EXPECT_EQ(LastfmAPI::fixLanguageCode("ja"), "jp");
  EXPECT_EQ(LastfmAPI::fixLanguageCode("en"), "en");
}

// A stand-in for the service.
struct LastfmFixture : ::testing::Test {
  test::TestEnv testEnv;
  test::StandInServer server{[](const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("artist") == "Nobody") {
      response.status = 400;
      response.set_content(kNotFound, "text/xml");
    } else if (request.get_param_value("method") == "artist.getInfo") {
      response.set_content(kArtistInfo, "text/xml");
    } else {
      response.set_content(kSimilarTracks, "text/xml");
    }
  }};
  std::shared_ptr<HttpEngine> engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  LastfmAPI api{testEnv.env(), engine, server.baseUrl(), "0123456789abcdef0123456789abcdef"};

  std::map<std::string, std::string> lastQuery() { return server.last().query; }
};

TEST_F(LastfmFixture, ParametersDefaultsAndLanguage) {
  bool done = false;
  std::optional<LastfmArtist> artist;
  api.requestArtist_GetInfoByName(
      "Cher", "ja", true,
      [&](std::optional<LastfmArtist> got) {
        artist = std::move(got);
        done = true;
      },
      nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));  // completions on the main loop
  ASSERT_TRUE(artist);
  auto query = lastQuery();
  EXPECT_EQ(query["lang"], "jp");
  EXPECT_EQ(query["autocorrect"], "1");
  EXPECT_EQ(query["method"], "artist.getInfo");
  EXPECT_EQ(query["api_key"], "0123456789abcdef0123456789abcdef");

  done = false;
  api.requestArtist_GetTopTracks(
      "Cher", false, 0, 0, [&](std::vector<LastfmTrack>) { done = true; }, nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  query = lastQuery();
  EXPECT_EQ(query["page"], "1");
  EXPECT_EQ(query["limit"], "50");
  EXPECT_EQ(query["autocorrect"], "0");

  done = false;
  std::vector<LastfmTrack> similar;
  api.requestTrack_GetSimilar(
      "Believe", "Cher", true, 0,
      [&](std::vector<LastfmTrack> got) {
        similar = std::move(got);
        done = true;
      },
      nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  EXPECT_EQ(lastQuery()["limit"], "250");
  EXPECT_EQ(similar.size(), 2u);

  done = false;
  api.requestArtist_searchWithArtistName(
      "Cher", 0, [&](std::vector<LastfmArtist>) { done = true; }, nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  EXPECT_EQ(lastQuery().count("limit"), 0u);
}

TEST_F(LastfmFixture, AFailedAnswerIsTheServicesError) {
  std::mutex mutex;  // errors arrive on the engine's thread
  std::optional<Error> error;
  api.requestArtist_GetInfoByName(
      "Nobody", "en", false, [](std::optional<LastfmArtist>) { FAIL(); },
      [&](const Error& failure) {
        std::lock_guard guard(mutex);
        error = failure;
      });
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    std::lock_guard guard(mutex);
    return error.has_value();
  }));
  EXPECT_EQ(error->domain(), "last.fm");
  EXPECT_EQ(error->code(), 6);
  EXPECT_EQ(error->description(), "The artist you supplied could not be found");
}

TEST(LastfmSpacingTest, RequestsAreReleasedAtLeastThreeTenthsApart) {
  test::TestEnv testEnv;
  auto engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  LastfmAPI api(testEnv.env(), engine, "http://127.0.0.1:9", "key");
  FakeClock& clock = testEnv.clock();
  const SteadyTime first = clock.now();
  api.waitUntilRequestable();
  EXPECT_EQ(clock.now(), first);  // the first goes at once
  clock.advance(seconds(0.1));
  api.waitUntilRequestable();
  EXPECT_GE(clock.now() - first, seconds(0.3));
  EXPECT_LT(clock.now() - first, seconds(0.31));
  // Several callers at the same moment each take their own slot, so the
  // last is released no sooner than three intervals later.
  const SteadyTime before = clock.now();
  std::vector<std::thread> callers;
  for (int i = 0; i < 3; ++i)
    callers.emplace_back([&] { api.waitUntilRequestable(); });
  for (auto& caller : callers)
    caller.join();
  EXPECT_GE(clock.now() - before, seconds(0.9) - std::chrono::milliseconds(1));
}

}  // namespace
}  // namespace mr
