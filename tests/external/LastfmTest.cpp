#include <gtest/gtest.h>
#include <thread>

#include "external/ExternalErrors.h"
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
  ASSERT_TRUE(tracks);
  ASSERT_EQ(tracks->size(), 2u);
  EXPECT_EQ((*tracks)[0].name, "Ray of Light");
  EXPECT_EQ((*tracks)[0].artistName, "Madonna");
  EXPECT_FLOAT_EQ((*tracks)[0].match, 1.0f);
  EXPECT_FLOAT_EQ((*tracks)[1].match, 0.781512f);
  EXPECT_FALSE((*tracks)[1].imageUrl.has_value());
}

TEST(LastfmParseTest, ASearchWithOneArtistIsAListOfOne) {
  const auto artists = LastfmAPI::parseArtistList(kSearchOne, "lfm/results/artistmatches/artist");
  ASSERT_TRUE(artists);
  ASSERT_EQ(artists->size(), 1u);
  EXPECT_EQ((*artists)[0].name, "Cher");
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

// The error of a parse that should fail: a malformed answer, unless the
// answer is the service's own failure.
template <class R>
Error failureOf(const Result<R>& parsed) {
  EXPECT_FALSE(parsed.ok());
  return parsed.ok() ? Error() : parsed.error();
}

bool isMalformed(const Error& error) {
  return error.domain() == kParseErrorDomain && error.code() == kMalformedAnswerErrorCode;
}

TEST(LastfmParseTest, MalformedAnswersAreErrorsAndEmptyListsAreNot) {
  const char* kSimilar = "lfm/similartracks/track";
  EXPECT_TRUE(isMalformed(failureOf(
      LastfmAPI::parseArtistInfo("<lfm status=\"ok\"><artist><name>Cher</nam></artist></lfm>"))));
  EXPECT_TRUE(isMalformed(failureOf(LastfmAPI::parseArtistInfo("<lfm status=\"ok\"></lfm>"))));
  EXPECT_TRUE(isMalformed(failureOf(LastfmAPI::parseTrackInfo("<lfm status=\"ok\"></lfm>"))));
  EXPECT_TRUE(isMalformed(failureOf(LastfmAPI::parseTrackList("<<<", kSimilar))));
  EXPECT_TRUE(isMalformed(failureOf(LastfmAPI::parseTrackList("", kSimilar))));
  // A proxy's page is XML, but no answer.
  const auto proxy = failureOf(LastfmAPI::parseArtistList(
      "<html><body>502 Bad Gateway</body></html>", "lfm/results/artistmatches/artist"));
  EXPECT_TRUE(isMalformed(proxy));
  EXPECT_TRUE(isTemporaryFailure(proxy));
  // An answer of another kind has no list of this one.
  EXPECT_TRUE(isMalformed(
      failureOf(LastfmAPI::parseTrackList("<lfm status=\"ok\"><toptracks/></lfm>", kSimilar))));
  // Nested beyond reason.
  std::string deep = "<lfm status=\"ok\"><similartracks>";
  for (int i = 0; i < 5000; ++i)
    deep += "<track>";
  EXPECT_TRUE(isMalformed(failureOf(LastfmAPI::parseTrackList(deep, kSimilar))));

  // A failure answered with a success status is still the service's error.
  const auto busy = failureOf(LastfmAPI::parseTrackList(
      "<lfm status=\"failed\"><error code=\"29\">Rate limit exceeded</error></lfm>", kSimilar));
  EXPECT_EQ(busy.domain(), "last.fm");
  EXPECT_EQ(busy.code(), 29);
  EXPECT_TRUE(isTemporaryFailure(busy));
  EXPECT_TRUE(
      isMalformed(failureOf(LastfmAPI::parseTrackList("<lfm status=\"failed\"/>", kSimilar))));

  // A list element without members is an honest "none".
  const auto none = LastfmAPI::parseTrackList(
      "<lfm status=\"ok\"><similartracks track=\"x\" artist=\"y\">\n</similartracks></lfm>",
      kSimilar);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  const auto noArtists = LastfmAPI::parseArtistList(
      "<lfm status=\"ok\"><results><artistmatches></artistmatches></results></lfm>",
      "lfm/results/artistmatches/artist");
  ASSERT_TRUE(noArtists);
  EXPECT_TRUE(noArtists->empty());

  EXPECT_EQ(LastfmAPI::fixLanguageCode("ja"), "jp");
  EXPECT_EQ(LastfmAPI::fixLanguageCode("en"), "en");
}

TEST(LastfmParseTest, OnlyPassingFailuresAreTemporary) {
  EXPECT_TRUE(isTemporaryFailure(Error("last.fm", 11, "Service Offline")));
  EXPECT_TRUE(isTemporaryFailure(Error("last.fm", 16, "Temporary error")));
  EXPECT_TRUE(isTemporaryFailure(Error("last.fm", 29, "Rate limit exceeded")));
  EXPECT_FALSE(isTemporaryFailure(*LastfmAPI::parseErrorResponse(kNotFound)));
  EXPECT_FALSE(isTemporaryFailure(Error("last.fm", 10, "Invalid API key")));
  EXPECT_TRUE(isTemporaryFailure(Error(kHttpErrorDomain, 502, "Bad Gateway")));
  EXPECT_FALSE(isTemporaryFailure(Error(kHttpErrorDomain, kHttpErrorCancelled, "cancelled")));
  EXPECT_FALSE(isTemporaryFailure(Error(kHttpErrorDomain, kHttpErrorResponseTooLarge, "big")));
}

// A stand-in for the service.
struct LastfmFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::atomic<int> outageAnswers{0};
  test::StandInServer server{[this](const httplib::Request& request, httplib::Response& response) {
    const std::string artist = request.get_param_value("artist");
    if (artist == "Nobody") {
      response.status = 400;
      response.set_content(kNotFound, "text/xml");
    } else if (artist == "Outage" && outageAnswers++ == 0) {
      // A proxy's page, kept fresh for ten minutes.
      response.set_header("Cache-Control", "max-age=600");
      response.set_content("<html><body>Service Unavailable</body></html>", "text/html");
    } else if (artist == "Quiet") {
      response.set_content("<lfm status=\"ok\"><similartracks track=\"a\" artist=\"Quiet\"/></lfm>",
                           "text/xml");
    } else if (request.get_param_value("method") == "artist.getInfo") {
      response.set_content(kArtistInfo, "text/xml");
    } else if (request.get_param_value("method") == "artist.getTopTracks") {
      response.set_content(
          "<lfm status=\"ok\"><toptracks artist=\"Cher\"><track rank=\"1\"><name>Believe</name>"
          "</track></toptracks></lfm>",
          "text/xml");
    } else if (request.get_param_value("method") == "artist.search") {
      response.set_content(kSearchOne, "text/xml");
    } else {
      response.set_content(kSimilarTracks, "text/xml");
    }
  }};
  std::shared_ptr<HttpEngine> engine = [this] {
    HttpEngine::Options options;
    options.cacheDir = testEnv.dir().file("cache");
    return std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), options);
  }();
  LastfmAPI api{testEnv.env(), engine, server.baseUrl(), "0123456789abcdef0123456789abcdef"};

  std::map<std::string, std::string> lastQuery() { return server.last().query; }

  // Asks for tracks similar to one of `artist`'s and waits for the answer:
  // the tracks, or the error.
  Result<std::vector<LastfmTrack>> similarTo(const std::string& artist) {
    std::mutex mutex;  // errors arrive on the pool, completions on the main loop
    std::optional<Result<std::vector<LastfmTrack>>> answer;
    int answers = 0;
    api.requestTrack_GetSimilar(
        "a", artist, true, 0,
        [&](std::vector<LastfmTrack> tracks) {
          std::lock_guard guard(mutex);
          ++answers;
          answer.emplace(std::move(tracks));
        },
        [&](const Error& error) {
          std::lock_guard guard(mutex);
          ++answers;
          answer.emplace(error);
        });
    EXPECT_TRUE(testEnv.pumpUntil([&] {
      std::lock_guard guard(mutex);
      return answer.has_value();
    }));
    testEnv.pool().waitIdle();
    testEnv.dispatcher().pump();
    std::lock_guard guard(mutex);
    EXPECT_EQ(answers, 1);
    return answer.value_or(Error());
  }
};

TEST_F(LastfmFixture, ParametersDefaultsAndLanguage) {
  bool done = false;
  std::optional<LastfmArtist> artist;
  api.requestArtist_GetInfoByName(
      "Cher", "ja", true,
      [&](LastfmArtist got) {
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
      "Nobody", "en", false, [](LastfmArtist) { FAIL(); },
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

TEST_F(LastfmFixture, AnAnswerThatIsNoAnswerIsAnErrorAndIsNotServedAgain) {
  const auto outage = similarTo("Outage");
  ASSERT_FALSE(outage.ok());
  EXPECT_EQ(outage.error().domain(), kParseErrorDomain);
  EXPECT_EQ(outage.error().code(), kMalformedAnswerErrorCode);
  // The page was not kept: the service, back, is asked again.
  const auto recovered = similarTo("Outage");
  ASSERT_TRUE(recovered.ok());
  EXPECT_EQ(recovered->size(), 2u);
  EXPECT_EQ(outageAnswers, 2);

  // An answer without tracks is no error.
  const auto quiet = similarTo("Quiet");
  ASSERT_TRUE(quiet.ok());
  EXPECT_TRUE(quiet->empty());
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
