#include "sandbox/LastfmProtocol.h"

#include <algorithm>

#include "base/AppConfig.h"
#include "base/XMLReader.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;

class LastfmProtocolTest : public test::SandboxFixture {
 protected:
  struct Answer {
    int status = 0;
    std::string contentType;
    Value xml;  // null when the body is not XML
  };

  Answer call(httplib::Params params, bool withKey = true) {
    if (withKey) params.emplace("api_key", AppConfig{}.lastfmApiKey);
    auto result = getQuery("/2.0/", params);
    if (!result) return {};
    auto xml = XMLReader::dictionaryForXMLString(result->body);
    return {result->status, result->get_header_value("Content-Type"),
            xml.ok() ? xml.value() : Value()};
  }

  // The dictionaries the reader made from repeated elements (a single
  // element as a list of one). An attribute named like the children, as in
  // <similarartists artist="..."><artist>..., joins their list as a string,
  // and readers skip it.
  static std::vector<Value> list(const Value& parent, std::string_view key) {
    const Value* member = parent.get(key);
    if (member == nullptr) return {};
    if (!member->isArray()) return {*member};
    std::vector<Value> dictionaries;
    for (const Value& item : *member->asArray()) {
      if (item.isDictionary()) dictionaries.push_back(item);
    }
    return dictionaries;
  }

  static std::string text(const Value& parent, std::string_view key) {
    return parent.stringForTextKey(key, "<missing>");
  }
  // The trimmed text of the element at the key path.
  static std::string at(const Value& root, const std::string& path) {
    return std::string(trimWhitespace(root.stringForKeyPath(path + "/text", "<missing>")));
  }

  const sandbox::MusicCatalogue& catalogue() const { return server->catalogue(); }
  // An artist with a biography, images of every size and more than five similar artists.
  const CatalogueArtist& wellKnownArtist() const {
    for (const CatalogueArtist& artist : catalogue().artists()) {
      if (!artist.englishBio.summary.empty() && artist.hasMegaImage && artist.similar.size() > 5 &&
          !artist.mbid.empty() && artist.name.find(' ') != std::string::npos) {
        return artist;
      }
    }
    return catalogue().artists().front();
  }
};

TEST_F(LastfmProtocolTest, ArtistGetInfoAnswersTheArtistWithImagesSimilarTagsAndBiography) {
  const CatalogueArtist& artist = wellKnownArtist();
  const Answer answer = call({{"method", "artist.getInfo"},
                              {"artist", artist.name},
                              {"lang", "en"},
                              {"autocorrect", "0"}});
  ASSERT_EQ(answer.status, 200);
  EXPECT_EQ(answer.contentType, "text/xml; charset=utf-8");
  EXPECT_EQ(answer.xml.stringForKeyPath("lfm/status", ""), "ok");
  const Value* found = answer.xml.objectForKeyPath("lfm/artist");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(text(*found, "name"), artist.name);
  EXPECT_EQ(text(*found, "mbid"), artist.mbid);
  EXPECT_TRUE(text(*found, "url").starts_with(server->baseUrl() + "/lastfm/music/"));
  EXPECT_EQ(text(*found, "streamable"), artist.storeArtistId != 0 ? "1" : "0");

  const std::vector<Value> images = list(*found, "image");
  std::vector<std::string> sizes;
  for (const Value& image : images)
    sizes.push_back(image.stringForKey("size", ""));
  EXPECT_EQ(sizes, (std::vector<std::string>{"small", "medium", "large", "extralarge", "mega"}));
  const std::string large(trimWhitespace(images[2].stringForKey("text", "")));
  ASSERT_TRUE(large.starts_with(server->baseUrl()));
  auto picture = client->Get(large.substr(server->baseUrl().size()));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 200);
  EXPECT_EQ(picture->get_header_value("Content-Type"), "image/png");
  EXPECT_TRUE(picture->body.starts_with("\x89PNG"));

  const std::vector<Value> similar = list(*found->get("similar"), "artist");
  ASSERT_EQ(similar.size(), 5u);
  EXPECT_EQ(text(similar[0], "name"),
            catalogue().artists()[static_cast<size_t>(artist.similar[0].first)].name);
  EXPECT_EQ(list(similar[0], "image").size(), images.size());

  std::vector<std::string> tags;
  for (const Value& tag : list(*found->get("tags"), "tag"))
    tags.push_back(text(tag, "name"));
  EXPECT_EQ(tags, artist.tags);

  const std::string summary = text(*found->get("bio"), "summary");
  EXPECT_TRUE(summary.starts_with(artist.englishBio.summary));
  EXPECT_NE(summary.find("<a href=\""), std::string::npos);
  EXPECT_TRUE(text(*found->get("bio"), "content").starts_with(artist.englishBio.content));
}

// As the service: "jp" is Japanese; "ja" is none of its codes.
TEST_F(LastfmProtocolTest, BiographiesComeInJapaneseForJpOnly) {
  const CatalogueArtist& artist = wellKnownArtist();
  const Answer answer =
      call({{"method", "artist.getInfo"}, {"artist", artist.name}, {"lang", "jp"}});
  ASSERT_EQ(answer.status, 200);
  EXPECT_TRUE(at(answer.xml, "lfm/artist/bio/summary").starts_with(artist.japaneseBio.summary));
  for (const char* lang : {"ja", "ja-JP", "fr"}) {
    const Answer other =
        call({{"method", "artist.getInfo"}, {"artist", artist.name}, {"lang", lang}});
    EXPECT_TRUE(at(other.xml, "lfm/artist/bio/summary").starts_with(artist.englishBio.summary))
        << lang;
  }
}

TEST_F(LastfmProtocolTest, AutocorrectMatchesNamesIgnoringCaseAndAnswersTheRightSpelling) {
  const CatalogueArtist& artist = wellKnownArtist();
  std::string lower = sandbox::MusicCatalogue::foldName(artist.name);
  const Answer corrected =
      call({{"method", "artist.getInfo"}, {"artist", "  " + lower}, {"autocorrect", "1"}});
  ASSERT_EQ(corrected.status, 200);
  EXPECT_EQ(at(corrected.xml, "lfm/artist/name"), artist.name);

  const Answer exact =
      call({{"method", "artist.getInfo"}, {"artist", lower}, {"autocorrect", "0"}});
  EXPECT_EQ(exact.status, 400);
  EXPECT_EQ(exact.xml.stringForKeyPath("lfm/error/code", ""), "6");

  const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(artist.tracks[0])];
  const Answer trackInfo = call({{"method", "track.getInfo"},
                                 {"artist", lower},
                                 {"track", sandbox::MusicCatalogue::foldName(track.title)},
                                 {"autocorrect", "1"}});
  ASSERT_EQ(trackInfo.status, 200);
  EXPECT_EQ(at(trackInfo.xml, "lfm/track/name"), track.title);
}

TEST_F(LastfmProtocolTest, TopTracksComeMostPlayedFirstByPage) {
  const CatalogueArtist& artist = wellKnownArtist();
  const Answer all = call({{"method", "artist.getTopTracks"}, {"artist", artist.name}});
  ASSERT_EQ(all.status, 200);
  const Value* top = all.xml.objectForKeyPath("lfm/toptracks");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->stringForKey("artist", ""), artist.name);
  EXPECT_EQ(top->stringForKey("perPage", ""), "50");
  EXPECT_EQ(top->stringForKey("total", ""), std::to_string(artist.tracks.size()));
  const std::vector<Value> tracks = list(*top, "track");
  ASSERT_EQ(tracks.size(), artist.tracks.size());
  for (size_t i = 0; i < tracks.size(); ++i) {
    const CatalogueTrack& expected = catalogue().tracks()[static_cast<size_t>(artist.tracks[i])];
    EXPECT_EQ(tracks[i].stringForKey("rank", ""), std::to_string(i + 1));
    EXPECT_EQ(text(tracks[i], "name"), expected.title);
    EXPECT_EQ(text(tracks[i], "mbid"), expected.mbid);
    EXPECT_EQ(at(tracks[i], "artist/name"), artist.name);
    EXPECT_EQ(list(tracks[i], "image").size(), 5u);
    EXPECT_FALSE(text(tracks[i], "url").empty());
  }

  const Answer second = call(
      {{"method", "artist.gettoptracks"}, {"artist", artist.name}, {"limit", "3"}, {"page", "2"}});
  const std::vector<Value> page = list(*second.xml.objectForKeyPath("lfm/toptracks"), "track");
  ASSERT_EQ(page.size(), 3u);
  EXPECT_EQ(page[0].stringForKey("rank", ""), "4");
  EXPECT_EQ(text(page[0], "name"), text(tracks[3], "name"));
}

TEST_F(LastfmProtocolTest, SearchFindsNamesContainingTheTextBestKnownFirst) {
  const Answer answer = call({{"method", "artist.search"}, {"artist", "the"}, {"limit", "10"}});
  ASSERT_EQ(answer.status, 200);
  const Value* results = answer.xml.objectForKeyPath("lfm/results");
  ASSERT_NE(results, nullptr);
  EXPECT_EQ(results->stringForKey("for", ""), "the");
  EXPECT_GT(results->intForTextKey("opensearch:totalResults", 0), 10);
  const std::vector<Value> artists = list(*results->get("artistmatches"), "artist");
  ASSERT_EQ(artists.size(), 10u);
  int64_t previous = INT64_MAX;
  for (const Value& artist : artists) {
    EXPECT_NE(sandbox::MusicCatalogue::foldName(text(artist, "name")).find("the"),
              std::string::npos);
    const int64_t listeners = stringIntegerValue(text(artist, "listeners"));
    EXPECT_LE(listeners, previous);
    previous = listeners;
  }

  // One match is one element, which readers take as a list of one.
  const CatalogueArtist& artist = wellKnownArtist();
  const Answer one = call({{"method", "artist.search"}, {"artist", artist.name}});
  const Value* match = one.xml.objectForKeyPath("lfm/results/artistmatches/artist");
  ASSERT_NE(match, nullptr);
  EXPECT_TRUE(match->isDictionary() || text(match->asArray()->front(), "name") == artist.name);

  const Answer none = call({{"method", "artist.search"}, {"artist", "zzzqqqxxx"}});
  EXPECT_EQ(none.status, 200);
  EXPECT_EQ(none.xml.objectForKeyPath("lfm/results/artistmatches/artist"), nullptr);
}

TEST_F(LastfmProtocolTest, SimilarArtistsComeWithFallingMatches) {
  const CatalogueArtist& artist = wellKnownArtist();
  const Answer answer = call({{"method", "artist.getsimilar"}, {"artist", artist.name}});
  ASSERT_EQ(answer.status, 200);
  const Value* similar = answer.xml.objectForKeyPath("lfm/similarartists");
  ASSERT_NE(similar, nullptr);
  EXPECT_EQ(similar->arrayForKey("artist")->front(), Value(artist.name));
  const std::vector<Value> artists = list(*similar, "artist");
  ASSERT_EQ(artists.size(), artist.similar.size());
  EXPECT_EQ(text(artists[0], "match"), "1");
  for (size_t i = 0; i < artists.size(); ++i) {
    EXPECT_EQ(text(artists[i], "name"),
              catalogue().artists()[static_cast<size_t>(artist.similar[i].first)].name);
    EXPECT_NEAR(artists[i].floatForTextKey("match", -1), artist.similar[i].second, 1e-5);
    EXPECT_FALSE(text(artists[i], "url").empty());
  }
  const Answer limited =
      call({{"method", "artist.getSimilar"}, {"artist", artist.name}, {"limit", "2"}});
  EXPECT_EQ(list(*limited.xml.objectForKeyPath("lfm/similarartists"), "artist").size(), 2u);
}

TEST_F(LastfmProtocolTest, TrackGetInfoAnswersTheTrackWithItsArtistAlbumAndTags) {
  const CatalogueArtist& artist = wellKnownArtist();
  const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(artist.tracks[1])];
  const Answer answer =
      call({{"method", "track.getInfo"}, {"artist", artist.name}, {"track", track.title}});
  ASSERT_EQ(answer.status, 200);
  const Value* found = answer.xml.objectForKeyPath("lfm/track");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(text(*found, "name"), track.title);
  EXPECT_EQ(text(*found, "mbid"), track.mbid);
  EXPECT_EQ(text(*found, "duration"), std::to_string(track.durationMs));
  EXPECT_EQ(found->stringForKeyPath("streamable/fulltrack", ""), "0");
  EXPECT_EQ(at(*found, "artist/name"), artist.name);
  EXPECT_EQ(at(*found, "artist/mbid"), artist.mbid);
  EXPECT_FALSE(at(*found, "artist/url").empty());
  EXPECT_EQ(at(*found, "album/title"), catalogue().albumOf(track).title);
  EXPECT_EQ(list(*found, "image").size(), 5u);
  EXPECT_EQ(list(*found->get("toptags"), "tag").size(), artist.tags.size());
}

TEST_F(LastfmProtocolTest, SimilarTracksComeFromOtherArtistsFromAFullMatchDown) {
  const CatalogueArtist& artist = wellKnownArtist();
  const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(artist.tracks[0])];
  const Answer answer = call({{"method", "track.getSimilar"},
                              {"artist", artist.name},
                              {"track", track.title},
                              {"limit", "250"},
                              {"autocorrect", "1"}});
  ASSERT_EQ(answer.status, 200);
  const Value* similar = answer.xml.objectForKeyPath("lfm/similartracks");
  ASSERT_NE(similar, nullptr);
  EXPECT_EQ(similar->stringForKey("artist", ""), artist.name);
  EXPECT_EQ(similar->arrayForKey("track")->front(), Value(track.title));
  const std::vector<Value> tracks = list(*similar, "track");
  const auto expected = catalogue().similarTracks(track.index);
  ASSERT_EQ(tracks.size(), expected.size());
  ASSERT_GE(tracks.size(), 20u);
  EXPECT_EQ(text(tracks[0], "match"), "1");
  float previous = 2;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const CatalogueTrack& other = catalogue().tracks()[static_cast<size_t>(expected[i].first)];
    EXPECT_EQ(text(tracks[i], "name"), other.title);
    EXPECT_NE(at(tracks[i], "artist/name"), artist.name);
    EXPECT_EQ(at(tracks[i], "artist/name"), catalogue().artistOf(other).name);
    const float match = tracks[i].floatForTextKey("match", -1);
    EXPECT_LT(match, previous);
    previous = match;
    EXPECT_EQ(list(tracks[i], "image").size(), 5u);
  }
  const Answer limited = call({{"method", "track.getSimilar"},
                               {"artist", artist.name},
                               {"track", track.title},
                               {"limit", "5"}});
  EXPECT_EQ(list(*limited.xml.objectForKeyPath("lfm/similartracks"), "track").size(), 5u);
}

TEST_F(LastfmProtocolTest, ErrorsAreStatus400WithTheServiceCodeAndText) {
  const CatalogueArtist& artist = wellKnownArtist();
  struct Case {
    httplib::Params params;
    bool withKey;
    std::string code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{{"method", "artist.getInfo"}, {"artist", artist.name}},
       false,
       "10",
       "Invalid API key - You must be granted a valid key by last.fm"},
      {{{"method", "artist.getInfo"}, {"artist", artist.name}, {"api_key", "0123"}},
       false,
       "10",
       "Invalid API key - You must be granted a valid key by last.fm"},
      {{{"method", "artist.getInfo"}, {"artist", "Nobody At All Here"}},
       true,
       "6",
       "The artist you supplied could not be found"},
      {{{"method", "artist.getInfo"}},
       true,
       "6",
       "Invalid parameters - Your request is missing a required parameter"},
      {{{"method", "track.getInfo"}, {"artist", artist.name}, {"track", "No Such Song"}},
       true,
       "6",
       "Track not found"},
      {{{"method", "track.getSimilar"}, {"artist", artist.name}},
       true,
       "6",
       "Invalid parameters - Your request is missing a required parameter"},
      {{{"method", "artist.getEvents"}, {"artist", artist.name}},
       true,
       "3",
       "Invalid Method - No method with that name in this package"},
      {{{"artist", artist.name}},
       true,
       "3",
       "Invalid Method - No method with that name in this package"},
      {{{"method", "painting.getInfo"}},
       true,
       "2",
       "Invalid service - This service does not exist"},
  };
  for (const Case& c : cases) {
    const Answer answer = call(c.params, c.withKey);
    EXPECT_EQ(answer.status, 400) << c.text;
    EXPECT_EQ(answer.xml.stringForKeyPath("lfm/status", ""), "failed");
    EXPECT_EQ(answer.xml.stringForKeyPath("lfm/error/code", ""), c.code) << c.text;
    EXPECT_EQ(at(answer.xml, "lfm/error"), c.text);
  }
}

TEST_F(LastfmProtocolTest, AnotherConfiguredKeyIsTheOnlyOneAccepted) {
  auto options = this->options();
  options.dataFolder = dir.file("keyed");
  options.lastfmApiKey = "0123456789abcdef0123456789abcdef";
  sandbox::SandboxServer keyed(options);
  ASSERT_TRUE(keyed.start().ok());
  httplib::Client other(keyed.baseUrl());
  const std::string& name = keyed.catalogue().artists()[0].name;
  auto refused = other.Get(
      "/2.0/",
      httplib::Params{
          {"method", "artist.getInfo"}, {"artist", name}, {"api_key", AppConfig{}.lastfmApiKey}},
      httplib::Headers{});
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 400);
  auto accepted = other.Get(
      "/2.0/",
      httplib::Params{
          {"method", "artist.getInfo"}, {"artist", name}, {"api_key", options.lastfmApiKey}},
      httplib::Headers{});
  ASSERT_TRUE(accepted);
  EXPECT_EQ(accepted->status, 200);
}

TEST_F(LastfmProtocolTest, PagesAndPicturesBehindTheAddressesAreServed) {
  auto page = client->Get("/lastfm/music/Some+Band/_/A+Song");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  auto mega = client->Get("/lastfm/image/album/0/500.png");
  ASSERT_TRUE(mega);
  EXPECT_EQ(mega->status, 200);
  EXPECT_TRUE(mega->body.starts_with("\x89PNG"));
  auto odd = client->Get("/lastfm/image/artist/0/33.png");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->status, 404);
  auto beyond = client->Get("/lastfm/image/artist/300/34.png");
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->status, 404);
}

}  // namespace
}  // namespace mr
