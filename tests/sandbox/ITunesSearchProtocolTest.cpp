#include "sandbox/ITunesSearchProtocol.h"

#include <algorithm>

#include "base/Json.h"
#include "sandbox/MediaProbe.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::CatalogueAlbum;
using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;
using sandbox::StoreListing;

class ITunesSearchProtocolTest : public test::SandboxFixture {
 protected:
  struct Answer {
    int status = 0;
    Value json;
    std::vector<Value> results;
  };

  Answer get(const std::string& path, const httplib::Params& params) {
    auto result = getQuery(path, params);
    if (!result) return {};
    Answer answer{result->status, bodyJson(result), {}};
    if (const Array* results = answer.json.arrayForKey("results")) answer.results = *results;
    EXPECT_EQ(answer.json.integerForKey("resultCount", -1),
              static_cast<int64_t>(answer.results.size()));
    return answer;
  }

  const sandbox::MusicCatalogue& catalogue() const { return server->catalogue(); }

  // A song on an album of several store-listed songs, by an artist of several albums.
  const CatalogueTrack& listedSong() const {
    for (const CatalogueTrack& track : catalogue().tracks()) {
      const CatalogueAlbum& album = catalogue().albumOf(track);
      const auto listed = std::count_if(album.tracks.begin(), album.tracks.end(), [&](int t) {
        return catalogue().tracks()[static_cast<size_t>(t)].store == StoreListing::Song;
      });
      if (track.store == StoreListing::Song && listed >= 3 &&
          catalogue().artistOf(track).albums.size() >= 3) {
        return track;
      }
    }
    return catalogue().tracks().front();
  }

  std::string path(const std::string& url) const {
    EXPECT_TRUE(url.starts_with(server->baseUrl())) << url;
    return url.substr(server->baseUrl().size());
  }
};

TEST_F(ITunesSearchProtocolTest, ASongSearchByArtistAndTitleFindsTheSongWithEveryField) {
  const CatalogueTrack& track = listedSong();
  const CatalogueArtist& artist = catalogue().artistOf(track);
  const CatalogueAlbum& album = catalogue().albumOf(track);
  const Answer answer =
      get("/search",
          {{"term", artist.name + " " + track.title}, {"country", "jp"}, {"entity", "song"}});
  ASSERT_EQ(answer.status, 200);
  ASSERT_FALSE(answer.results.empty());
  const auto found = std::find_if(
      answer.results.begin(), answer.results.end(),
      [&](const Value& r) { return r.integerForKey("trackId", 0) == track.storeTrackId; });
  ASSERT_NE(found, answer.results.end());
  const Value& song = *found;
  EXPECT_EQ(song.stringForKey("wrapperType", ""), "track");
  EXPECT_EQ(song.stringForKey("kind", ""), "song");
  EXPECT_EQ(song.stringForKey("artistName", ""), artist.name);
  EXPECT_EQ(song.stringForKey("collectionName", ""), album.title);
  EXPECT_EQ(song.stringForKey("trackName", ""), track.title);
  EXPECT_EQ(song.integerForKey("artistId", 0), artist.storeArtistId);
  EXPECT_EQ(song.integerForKey("collectionId", 0), album.storeCollectionId);
  EXPECT_EQ(song.integerForKey("trackCount", 0), static_cast<int64_t>(album.tracks.size()));
  EXPECT_EQ(song.stringForKey("releaseDate", ""), album.releaseDate);
  EXPECT_TRUE(song.dateForKey("releaseDate", "yyyy-MM-dd'T'HH:mm:ss'Z'").has_value());
  EXPECT_EQ(song.stringForKey("primaryGenreName", ""),
            sandbox::MusicCatalogue::storeGenre(artist.tags.front()).first);
  EXPECT_GT(song.integerForKey("primaryGenreId", 0), 0);
  EXPECT_EQ(song.stringForKey("country", ""), "JPN");
  for (const char* key : {"previewUrl", "trackViewUrl", "collectionViewUrl", "artworkUrl100"})
    EXPECT_TRUE(song.stringForKey(key, "").starts_with(server->baseUrl())) << key;
  EXPECT_NE(song.stringForKey("artworkUrl100", "").find("100x100"), std::string::npos);
  EXPECT_TRUE(song.stringForKey("previewUrl", "").ends_with(".m4a"));

  // The store page and both artwork sizes the client asks for answer.
  auto page = client->Get(path(song.stringForKey("trackViewUrl", "")));
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  std::string artwork = path(song.stringForKey("artworkUrl100", ""));
  for (const std::string& url :
       {artwork, std::string(artwork).replace(artwork.find("100x100"), 7, "200x200")}) {
    auto picture = client->Get(url);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->status, 200) << url;
    EXPECT_TRUE(picture->body.starts_with("\x89PNG"));
  }
}

TEST_F(ITunesSearchProtocolTest, TermsMatchWholeWordsIgnoringCaseMostPlayedFirst) {
  const CatalogueTrack& track = listedSong();
  const CatalogueArtist& artist = catalogue().artistOf(track);
  std::string shouted = artist.name;
  for (char& c : shouted)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Answer answer = get("/search", {{"term", shouted}, {"limit", "200"}});
  ASSERT_EQ(answer.status, 200);
  int64_t previous = INT64_MAX;
  int ofArtist = 0;
  for (const Value& result : answer.results) {
    const std::string words = result.stringForKey("artistName", "") + " " +
                              result.stringForKey("trackName", "") + " " +
                              result.stringForKey("collectionName", "");
    const auto have = sandbox::MusicCatalogue::searchWords(words);
    for (const std::string& word : sandbox::MusicCatalogue::searchWords(shouted))
      EXPECT_NE(std::find(have.begin(), have.end(), word), have.end()) << words;
    ofArtist += result.stringForKey("artistName", "") == artist.name;
    const CatalogueTrack& found =
        catalogue().tracks()[static_cast<size_t>(result.integerForKey("trackId", 0) - 810000000)];
    EXPECT_LE(found.playcount, previous);
    previous = found.playcount;
  }
  const auto listed = std::count_if(artist.tracks.begin(), artist.tracks.end(), [&](int t) {
    return catalogue().tracks()[static_cast<size_t>(t)].store != StoreListing::None;
  });
  EXPECT_EQ(ofArtist, listed);

  EXPECT_TRUE(get("/search", {{"term", "zzqqxx"}}).results.empty());
  EXPECT_TRUE(get("/search", {}).results.empty());
  EXPECT_EQ(get("/search", {{"term", "the"}, {"limit", "3"}}).results.size(), 3u);
}

TEST_F(ITunesSearchProtocolTest, TracksListedOnlyAsMusicVideosComeWithThatKind) {
  const auto video =
      std::find_if(catalogue().tracks().begin(), catalogue().tracks().end(),
                   [](const CatalogueTrack& t) { return t.store == StoreListing::MusicVideoOnly; });
  ASSERT_NE(video, catalogue().tracks().end());
  const Answer answer =
      get("/search",
          {{"term", catalogue().artistOf(*video).name + " " + video->title}, {"entity", "song"}});
  const auto found = std::find_if(
      answer.results.begin(), answer.results.end(),
      [&](const Value& r) { return r.integerForKey("trackId", 0) == video->storeTrackId; });
  ASSERT_NE(found, answer.results.end());
  EXPECT_EQ(found->stringForKey("kind", ""), "music-video");
  EXPECT_FALSE(found->stringForKey("previewUrl", "").empty());
  auto preview = client->Get(path(found->stringForKey("previewUrl", "")));
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->status, 200);
  EXPECT_EQ(preview->get_header_value("Content-Type"), "video/mp4");
}

TEST_F(ITunesSearchProtocolTest, ArtistAndAlbumSearchesAnswerTheirWrappers) {
  const CatalogueTrack& track = listedSong();
  const CatalogueArtist& artist = catalogue().artistOf(track);
  const Answer artists =
      get("/search", {{"term", artist.name}, {"entity", "musicArtist"}, {"limit", "10"}});
  ASSERT_EQ(artists.status, 200);
  ASSERT_FALSE(artists.results.empty());
  EXPECT_LE(artists.results.size(), 10u);
  const auto found = std::find_if(
      artists.results.begin(), artists.results.end(),
      [&](const Value& r) { return r.integerForKey("artistId", 0) == artist.storeArtistId; });
  ASSERT_NE(found, artists.results.end());
  EXPECT_EQ(found->stringForKey("wrapperType", ""), "artist");
  EXPECT_EQ(found->stringForKey("artistName", ""), artist.name);
  EXPECT_FALSE(found->stringForKey("primaryGenreName", "").empty());

  const CatalogueAlbum& album = catalogue().albumOf(track);
  const Answer albums =
      get("/search", {{"term", artist.name + " " + album.title}, {"entity", "album"}});
  ASSERT_FALSE(albums.results.empty());
  const Value& collection = albums.results.front();
  EXPECT_EQ(collection.stringForKey("wrapperType", ""), "collection");
  EXPECT_EQ(collection.stringForKey("collectionType", ""), "Album");
  EXPECT_EQ(collection.integerForKey("collectionId", 0), album.storeCollectionId);
  EXPECT_EQ(collection.stringForKey("collectionName", ""), album.title);
  EXPECT_NE(collection.stringForKey("artworkUrl100", "").find("100x100"), std::string::npos);
}

TEST_F(ITunesSearchProtocolTest, LookupsAnswerAnArtistsAlbumsNewestFirstAndAnAlbumsSongs) {
  const CatalogueTrack& track = listedSong();
  const CatalogueArtist& artist = catalogue().artistOf(track);
  const Answer albums = get("/lookup", {{"id", std::to_string(artist.storeArtistId)},
                                        {"entity", "album"},
                                        {"sort", "recent"},
                                        {"country", "US"}});
  ASSERT_EQ(albums.status, 200);
  ASSERT_GE(albums.results.size(), 2u);
  EXPECT_EQ(albums.results[0].stringForKey("wrapperType", ""), "artist");
  EXPECT_EQ(albums.results[0].integerForKey("artistId", 0), artist.storeArtistId);
  std::string previous = "9999";
  for (size_t i = 1; i < albums.results.size(); ++i) {
    EXPECT_EQ(albums.results[i].stringForKey("wrapperType", ""), "collection");
    const std::string released = albums.results[i].stringForKey("releaseDate", "");
    EXPECT_LE(released, previous);
    previous = released;
  }

  const CatalogueAlbum& album = catalogue().albumOf(track);
  const Answer songs =
      get("/lookup", {{"id", std::to_string(album.storeCollectionId)}, {"entity", "song"}});
  ASSERT_GE(songs.results.size(), 4u);
  EXPECT_EQ(songs.results[0].stringForKey("wrapperType", ""), "collection");
  int64_t number = 0;
  for (size_t i = 1; i < songs.results.size(); ++i) {
    EXPECT_EQ(songs.results[i].stringForKey("kind", ""), "song");
    EXPECT_EQ(songs.results[i].integerForKey("collectionId", 0), album.storeCollectionId);
    EXPECT_GT(songs.results[i].integerForKey("trackNumber", 0), number);
    number = songs.results[i].integerForKey("trackNumber", 0);
  }

  const Answer one = get("/lookup", {{"id", std::to_string(track.storeTrackId)}});
  ASSERT_EQ(one.results.size(), 1u);
  EXPECT_EQ(one.results[0].stringForKey("trackName", ""), track.title);
  const Answer bare = get("/lookup", {{"id", std::to_string(artist.storeArtistId)}});
  ASSERT_EQ(bare.results.size(), 1u);
  EXPECT_EQ(bare.results[0].stringForKey("wrapperType", ""), "artist");
  const Answer both = get("/lookup", {{"id", std::to_string(artist.storeArtistId) + "," +
                                                 std::to_string(track.storeTrackId)}});
  EXPECT_EQ(both.results.size(), 2u);
  EXPECT_TRUE(get("/lookup", {{"id", "12345"}}).results.empty());
}

TEST_F(ITunesSearchProtocolTest, ValuesTheStoreRefusesAre400WithItsMessage) {
  for (const auto& [path, params, key] :
       std::vector<std::tuple<std::string, httplib::Params, std::string>>{
           {"/search", {{"term", "a"}, {"country", "usa"}}, "country"},
           {"/search", {{"term", "a"}, {"entity", "podcast"}}, "resultEntity"},
           {"/lookup", {{"id", "abc"}}, "id"},
           {"/lookup", {{"id", "1"}, {"entity", "movie"}}, "entity"}}) {
    auto result = getQuery(path, params);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 400);
    const Value body = bodyJson(result);
    EXPECT_EQ(body.stringForKey("errorMessage", ""), "Invalid value(s) for key(s): [" + key + "]");
    EXPECT_TRUE(body.dictionaryForKey("queryParameters") != nullptr);
  }
}

TEST_F(ITunesSearchProtocolTest, PreviewsAreAacInM4aServedWholeOrInRanges) {
  const CatalogueTrack& track = listedSong();
  const std::string url = "/itunes/preview/" + std::to_string(track.storeTrackId) + ".m4a";
  auto whole = client->Get(url);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole->status, 200);
  EXPECT_EQ(whole->get_header_value("Content-Type"), "audio/mp4");
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
  EXPECT_EQ(whole->get_header_value("Content-Length"), std::to_string(whole->body.size()));
  auto media = test::probeMediaBytes(whole->body, dir.file("preview.m4a"));
  ASSERT_TRUE(media.ok()) << media.error().toString();
  const test::ProbedStream* audio = media->firstAudio();
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->codec, "aac");
  EXPECT_EQ(audio->sampleRate, 44100);
  EXPECT_EQ(audio->channels, 2);
  EXPECT_NEAR(audio->decodedSeconds, sandbox::SandboxMedia::previewTone(track.preview).seconds,
              0.05);

  auto part = client->Get(url, {{"Range", "bytes=10-29"}});
  ASSERT_TRUE(part);
  EXPECT_EQ(part->status, 206);
  EXPECT_EQ(part->body, whole->body.substr(10, 20));
  EXPECT_EQ(part->get_header_value("Content-Range"),
            "bytes 10-29/" + std::to_string(whole->body.size()));
  auto tail = client->Get(url, {{"Range", "bytes=-16"}});
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->status, 206);
  EXPECT_EQ(tail->body, whole->body.substr(whole->body.size() - 16));
  auto beyond = client->Get(url, {{"Range", "bytes=99999999-"}});
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->status, 416);
  auto head = client->Head(url);
  ASSERT_TRUE(head);
  EXPECT_EQ(head->status, 200);
  EXPECT_EQ(head->get_header_value("Content-Length"), std::to_string(whole->body.size()));

  auto wrongKind = client->Get("/itunes/preview/" + std::to_string(track.storeTrackId) + ".m4v");
  ASSERT_TRUE(wrongKind);
  EXPECT_EQ(wrongKind->status, 404);
  auto unknown = client->Get("/itunes/preview/42.m4a");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
}

}  // namespace
}  // namespace mr
