#include <gtest/gtest.h>

#include "base/SystemLocale.h"
#include "external/ExternalErrors.h"
#include "external/StandInServer.h"
#include "external/iTunesSearchAPI.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// One song as the service describes it, trimmed.
constexpr const char* kSongs = R"({
 "resultCount": 3,
 "results": [
  42,
  {"wrapperType": "track", "kind": "song", "artistId": 909253, "collectionId": 1440857781,
   "trackId": "123", "artistName": "Jack Johnson", "collectionName": "In Between Dreams",
   "trackName": "Better Together",
   "previewUrl": "https://audio-ssl.itunes.apple.com/itunes-assets/AudioPreview/100/mzaf_1001.plus.aac.p.m4a",
   "artworkUrl100": "https://is1-ssl.mzstatic.com/image/thumb/Music100/v4/ab/cd/source/100x100bb.jpg",
   "releaseDate": "2005-03-01T20:30:00Z", "trackCount": 14, "primaryGenreName": "Rock",
   "primaryGenreId": 21},
  {"wrapperType": "artist", "artistName": "Jack Johnson", "trackId": "not a number"}
 ]
})";

TEST(iTunesParseTest, EntriesKeepOrderAndSkipWhatIsNotAnObject) {
  const auto entries = iTunesSearchAPI::parseResultData(kSongs);
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 2u);
  const iTunesEntry& song = (*entries)[0];
  EXPECT_EQ(song.trackId, 123u);  // a numeric string counts
  EXPECT_EQ(song.collectionId, 1440857781u);
  EXPECT_EQ(song.trackName, "Better Together");
  EXPECT_EQ(song.trackCount, 14u);
  // Every "100" becomes "200", in the folder name as in the size.
  EXPECT_EQ(song.artworkUrl200,
            "https://is1-ssl.mzstatic.com/image/thumb/Music200/v4/ab/cd/source/200x200bb.jpg");
  EXPECT_EQ(song.artworkUrl(), song.artworkUrl200);
  // An evening hour reads as such.
  ASSERT_TRUE(song.releaseDate);
  EXPECT_EQ(formatISO8601(*song.releaseDate), "2005-03-01T20:30:00Z");

  const iTunesEntry& artist = (*entries)[1];
  EXPECT_EQ(artist.trackId, 0u);
  EXPECT_EQ(artist.artworkUrl100, "");
  EXPECT_EQ(artist.artworkUrl(), "");
  EXPECT_FALSE(artist.releaseDate);
}

TEST(iTunesParseTest, AnswersWithoutResultsAreMalformedRatherThanEmpty) {
  std::string deep(100000, '[');
  for (const std::string& body :
       {std::string("[1, 2]"), std::string(R"({"resultCount": 0})"),
        std::string(R"({"results": {}})"), std::string("<html>busy</html>"), std::string(), deep}) {
    const auto parsed = iTunesSearchAPI::parseResultData(body);
    ASSERT_FALSE(parsed.ok()) << body.substr(0, 40);
    EXPECT_EQ(parsed.error().domain(), kParseErrorDomain);
    EXPECT_EQ(parsed.error().code(), kMalformedAnswerErrorCode);
    EXPECT_TRUE(isTemporaryFailure(parsed.error()));
  }
  const auto empty = iTunesSearchAPI::parseResultData(R"({"resultCount": 0, "results": []})");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->empty());
}

TEST(iTunesParseTest, IdsBeyondThirtyTwoBitsKeepTheirValue) {
  const auto entries = iTunesSearchAPI::parseResultData(R"({"results": [
    {"kind": "song", "trackId": 3000000000, "collectionId": "4294967297",
     "artistId": 9007199254740993, "primaryGenreId": 21}]})");
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  EXPECT_EQ((*entries)[0].trackId, 3000000000u);
  EXPECT_EQ((*entries)[0].collectionId, 4294967297u);
  EXPECT_EQ((*entries)[0].artistId, 9007199254740993u);
  EXPECT_EQ((*entries)[0].primaryGenreId, 21u);
}

struct iTunesFixture : ::testing::Test {
  test::TestEnv testEnv;
  test::StandInServer server{[](const httplib::Request& request, httplib::Response& response) {
    const std::string term = request.get_param_value("term");
    if (term == "down") {
      response.status = 503;
      response.set_content("busy", "text/plain");
    } else if (term == "proxy") {
      response.set_content("<html>The store is busy</html>", "text/html");
    } else if (term == "nothing") {
      response.set_content(R"({"resultCount": 0, "results": []})", "application/json");
    } else {
      response.set_content(kSongs, "application/json");
    }
  }};
  std::shared_ptr<HttpEngine> engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  iTunesSearchAPI api{testEnv.env(), engine, server.baseUrl()};

  // Runs one call and waits for whichever callback comes.
  template <class Call>
  std::optional<std::vector<iTunesEntry>> run(Call call, std::optional<Error>* failed = nullptr) {
    std::mutex mutex;
    bool done = false;
    std::optional<std::vector<iTunesEntry>> entries;
    call(
        [&](std::vector<iTunesEntry> got) {
          std::lock_guard guard(mutex);
          entries = std::move(got);
          done = true;
        },
        [&](const Error& error) {
          std::lock_guard guard(mutex);
          if (failed) *failed = error;
          done = true;
        });
    EXPECT_TRUE(testEnv.pumpUntil([&] {
      std::lock_guard guard(mutex);
      return done;
    }));
    return entries;
  }
};

TEST_F(iTunesFixture, QueriesOfEachOperation) {
  auto entries = run([&](auto completion, auto failure) {
    api.searchWithArtist("Jack Johnson", "Better Together", std::nullopt, completion, failure);
  });
  ASSERT_TRUE(entries);
  EXPECT_EQ(entries->size(), 2u);
  auto request = server.last();
  EXPECT_EQ(request.path, "/search");
  EXPECT_EQ(request.query["term"], "Jack Johnson Better Together");
  EXPECT_EQ(request.query["entity"], "song");
  EXPECT_EQ(request.query["country"], currentRegionCode());  // the locale's when none is given

  run([&](auto completion, auto failure) {
    api.searchMusicArtistWithArtist("Jack Johnson", "JP", completion, failure);
  });
  request = server.last();
  EXPECT_EQ(request.query["country"], "JP");
  EXPECT_EQ(request.query["limit"], "10");
  EXPECT_EQ(request.query["entity"], "musicArtist");

  run([&](auto completion, auto failure) {
    api.lookupWithId(3000000000u, std::nullopt, "US", completion, failure);
  });
  request = server.last();
  EXPECT_EQ(request.path, "/lookup");
  EXPECT_EQ(request.query, (std::map<std::string, std::string>{
                               {"id", "3000000000"}, {"country", "US"}, {"sort", "recent"}}));

  run([&](auto completion, auto failure) {
    api.lookupWithId(7, "song", "US", completion, failure);
  });
  EXPECT_EQ(server.last().query["entity"], "song");
}

TEST_F(iTunesFixture, ALookupOfALargeIdSendsIt) {
  const auto found = iTunesSearchAPI::parseResultData(R"({"results": [
    {"wrapperType": "collection", "collectionId": 1440857781012}]})");
  ASSERT_TRUE(found);
  run([&](auto completion, auto failure) {
    api.lookupWithId((*found)[0].collectionId, "song", "US", completion, failure);
  });
  EXPECT_EQ(server.last().query["id"], "1440857781012");
}

TEST_F(iTunesFixture, AMalformedAnswerIsAFailureAndAnEmptyOneIsNot) {
  std::optional<Error> failed;
  const auto entries = run(
      [&](auto completion, auto failure) {
        api.searchWithParameters(Dictionary{{"term", Value("proxy")}}, completion, failure);
      },
      &failed);
  EXPECT_FALSE(entries);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->code(), kMalformedAnswerErrorCode);

  failed.reset();
  const auto nothing = run(
      [&](auto completion, auto failure) {
        api.searchWithParameters(Dictionary{{"term", Value("nothing")}}, completion, failure);
      },
      &failed);
  EXPECT_FALSE(failed);
  ASSERT_TRUE(nothing);
  EXPECT_TRUE(nothing->empty());
}

TEST_F(iTunesFixture, AnHttpErrorGoesToTheFailureOnly) {
  std::optional<Error> failed;
  const auto entries = run(
      [&](auto completion, auto failure) {
        api.searchWithParameters(Dictionary{{"term", Value("down")}}, completion, failure);
      },
      &failed);
  EXPECT_FALSE(entries);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->code(), 503);
}

}  // namespace
}  // namespace mr
