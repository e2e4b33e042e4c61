// Last.fm as the sandbox plays it, read with the program's own parsers: the
// catalogue's artists and tracks come back whole, and refusals carry the
// service's codes, which the program sorts into lasting and passing ones.
#include "sandbox/LastfmProtocol.h"

#include "external/ExternalErrors.h"
#include "external/LastfmAPI.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;
using sandbox::MusicCatalogue;

class LastfmProtocolTest : public test::SandboxFixture {
 protected:
  std::string call(httplib::Params params, int expectedStatus = 200) {
    if (params.find("api_key") == params.end()) params.emplace("api_key", server->lastfmApiKey());
    auto answer = get("/2.0/", params);
    EXPECT_EQ(status(answer), expectedStatus) << params.find("method")->second;
    return body(answer);
  }
  const MusicCatalogue& catalogue() const { return server->catalogue(); }
  const std::string& nameOf(int artist) const {
    return catalogue().artists()[static_cast<size_t>(artist)].name;
  }
  // An artist with a biography and more than five similar artists.
  const CatalogueArtist& wellKnownArtist() const {
    for (const CatalogueArtist& artist : catalogue().artists()) {
      if (!artist.englishBio.summary.empty() && artist.similar.size() > 5 &&
          artist.name.find(' ') != std::string::npos) {
        return artist;
      }
    }
    return catalogue().artists().front();
  }
};

TEST_F(LastfmProtocolTest, AnArtistsInfoComesWholeInTheLanguageAskedAndAutocorrected) {
  const CatalogueArtist& artist = wellKnownArtist();
  auto info = LastfmAPI::parseArtistInfo(call({{"method", "artist.getInfo"},
                                               {"artist", artist.name},
                                               {"lang", "en"},
                                               {"autocorrect", "0"}}));
  ASSERT_TRUE(info.ok()) << info.error().toString();
  EXPECT_EQ(info->name, artist.name);
  EXPECT_EQ(info->tag, artist.tags);
  ASSERT_EQ(info->similar.size(), 5u);
  EXPECT_EQ(info->similar[0].name, nameOf(artist.similar[0].first));
  EXPECT_TRUE(info->bioSummary.starts_with(artist.englishBio.summary));
  auto picture = client->Get(local(info->imageUrl.largest()));
  EXPECT_EQ(status(picture), 200);
  EXPECT_TRUE(body(picture).starts_with("\x89PNG"));

  // The program asks for "jp" when it means Japanese; "ja" is none of the service's codes.
  for (const auto& [lang, summary] : {std::pair{"jp", &artist.japaneseBio.summary},
                                      std::pair{"ja", &artist.englishBio.summary}}) {
    auto translated = LastfmAPI::parseArtistInfo(
        call({{"method", "artist.getInfo"}, {"artist", artist.name}, {"lang", lang}}));
    ASSERT_TRUE(translated.ok());
    EXPECT_TRUE(translated->bioSummary.starts_with(*summary)) << lang;
  }

  const std::string folded = MusicCatalogue::foldName(artist.name);
  auto corrected = LastfmAPI::parseArtistInfo(
      call({{"method", "artist.getInfo"}, {"artist", "  " + folded}, {"autocorrect", "1"}}));
  ASSERT_TRUE(corrected.ok());
  EXPECT_EQ(corrected->name, artist.name);
  auto exact = LastfmAPI::parseArtistInfo(
      call({{"method", "artist.getInfo"}, {"artist", folded}, {"autocorrect", "0"}}, 400));
  EXPECT_EQ(exact.ok() ? 0 : exact.error().code(), 6);
}

TEST_F(LastfmProtocolTest, ListsComeBestFirstAndAsLongAsAsked) {
  const CatalogueArtist& artist = wellKnownArtist();
  const CatalogueTrack& seed = catalogue().tracks()[static_cast<size_t>(artist.tracks[0])];
  auto similar = LastfmAPI::parseTrackList(call({{"method", "track.getSimilar"},
                                                 {"artist", artist.name},
                                                 {"track", seed.title},
                                                 {"limit", "250"},
                                                 {"autocorrect", "1"}}),
                                           "lfm/similartracks/track");
  ASSERT_TRUE(similar.ok()) << similar.error().toString();
  const auto expected = catalogue().similarTracks(seed.index);
  ASSERT_EQ(similar->size(), expected.size());
  ASSERT_GE(similar->size(), 20u);
  EXPECT_FLOAT_EQ(similar->front().match, 1.0f);
  for (size_t i = 0; i < similar->size(); ++i) {
    const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(expected[i].first)];
    EXPECT_EQ((*similar)[i].name, track.title);
    EXPECT_EQ((*similar)[i].artistName, nameOf(track.artist));
    EXPECT_NE((*similar)[i].artistName, artist.name);
    EXPECT_LT((*similar)[i].match, i > 0 ? (*similar)[i - 1].match : 2.0f);
  }
  // Top tracks most played first, by page.
  auto page = LastfmAPI::parseTrackList(call({{"method", "artist.getTopTracks"},
                                              {"artist", artist.name},
                                              {"limit", "3"},
                                              {"page", "2"}}),
                                        "lfm/toptracks/track");
  ASSERT_TRUE(page.ok());
  ASSERT_EQ(page->size(), 3u);
  EXPECT_EQ(page->front().name, catalogue().tracks()[static_cast<size_t>(artist.tracks[3])].title);
}

TEST_F(LastfmProtocolTest, RefusalsAre400WithTheServicesLastingCodes) {
  const std::string artist = wellKnownArtist().name;  // outlives the first server
  const std::vector<std::pair<httplib::Params, int>> cases = {
      {{{"method", "artist.getInfo"}, {"artist", artist}, {"api_key", "0123"}}, 10},
      {{{"method", "artist.getInfo"}, {"artist", "Nobody At All Here"}}, 6},
      {{{"method", "artist.getInfo"}}, 6},
      {{{"method", "track.getInfo"}, {"artist", artist}, {"track", "No Such Song"}}, 6},
      {{{"method", "artist.getEvents"}, {"artist", artist}}, 3},
      {{{"method", "painting.getInfo"}}, 2},
  };
  for (const auto& [params, expected] : cases) {
    auto refused = LastfmAPI::parseTrackInfo(call(params, 400));
    ASSERT_FALSE(refused.ok()) << params.find("method")->second;
    EXPECT_EQ(refused.error().domain(), kLastfmErrorDomain);
    EXPECT_EQ(refused.error().code(), expected) << refused.error().description();
    EXPECT_FALSE(isTemporaryFailure(refused.error()));
  }

  // Another key, once configured, is the only one taken.
  auto keyed = options();
  keyed.dataFolder = dir.file("keyed");
  keyed.lastfmApiKey = "0123456789abcdef0123456789abcdef";
  const std::string usual = server->lastfmApiKey();
  start(keyed);
  EXPECT_TRUE(
      LastfmAPI::parseArtistInfo(call({{"method", "artist.getInfo"}, {"artist", artist}})).ok());
  auto refused = LastfmAPI::parseArtistInfo(
      call({{"method", "artist.getInfo"}, {"artist", artist}, {"api_key", usual}}, 400));
  EXPECT_EQ(refused.ok() ? 0 : refused.error().code(), 10);
}

}  // namespace
}  // namespace mr
