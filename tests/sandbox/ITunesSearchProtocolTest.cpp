// The store's search as the sandbox plays it, read with the program's own
// parser, and its previews: AAC in M4A of their length, whole or in ranges.
#include "sandbox/ITunesSearchProtocol.h"

#include <algorithm>

#include "external/iTunesSearchAPI.h"
#include "sandbox/MediaProbe.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::CatalogueArtist;
using sandbox::CatalogueTrack;
using sandbox::StoreListing;

class ITunesSearchProtocolTest : public test::SandboxFixture {
 protected:
  std::vector<iTunesEntry> ask(const std::string& path, const httplib::Params& params) {
    auto answer = get(path, params);
    EXPECT_EQ(status(answer), 200) << path;
    auto entries = iTunesSearchAPI::parseResultData(body(answer));
    EXPECT_TRUE(entries.ok()) << body(answer);
    return entries.ok() ? *entries : std::vector<iTunesEntry>{};
  }
  const sandbox::MusicCatalogue& catalogue() const { return server->catalogue(); }
  const CatalogueTrack& listed(StoreListing listing) const {
    const auto& tracks = catalogue().tracks();
    const auto found = std::find_if(tracks.begin(), tracks.end(),
                                    [&](const CatalogueTrack& t) { return t.store == listing; });
    EXPECT_NE(found, tracks.end());
    return found != tracks.end() ? *found : tracks.front();
  }
  static const iTunesEntry* withId(const std::vector<iTunesEntry>& entries, int64_t id) {
    const auto found = std::find_if(entries.begin(), entries.end(), [id](const iTunesEntry& e) {
      return e.trackId == static_cast<uint64_t>(id);
    });
    return found != entries.end() ? &*found : nullptr;
  }
};

TEST_F(ITunesSearchProtocolTest, SearchesAnswerWhatTheProgramReads) {
  const CatalogueTrack& track = listed(StoreListing::Song);
  const CatalogueArtist& artist = catalogue().artistOf(track);
  const auto songs =
      ask("/search",
          {{"term", artist.name + " " + track.title}, {"country", "jp"}, {"entity", "song"}});
  const iTunesEntry* song = withId(songs, track.storeTrackId);
  ASSERT_NE(song, nullptr);
  EXPECT_EQ(song->kind, "song");
  EXPECT_EQ(song->artistName, artist.name);
  EXPECT_EQ(song->trackName, track.title);
  EXPECT_EQ(song->collectionName, catalogue().albumOf(track).title);
  EXPECT_TRUE(song->releaseDate.has_value());
  EXPECT_FALSE(song->primaryGenreName.empty());
  EXPECT_TRUE(song->previewUrl.ends_with(".m4a"));
  EXPECT_EQ(status(client->Get(local(song->trackViewUrl))), 200);
  EXPECT_TRUE(body(client->Get(local(song->artworkUrl()))).starts_with("\x89PNG"));
  EXPECT_TRUE(ask("/search", {{"term", "zzqqxx"}}).empty());
  EXPECT_EQ(ask("/search", {{"term", "the"}, {"limit", "3"}}).size(), 3u);

  // A track the store lists only as a music video says so, and its preview is a video.
  const CatalogueTrack& video = listed(StoreListing::MusicVideoOnly);
  const auto clips = ask("/search", {{"term", catalogue().artistOf(video).name + " " + video.title},
                                     {"entity", "song"}});
  const iTunesEntry* clip = withId(clips, video.storeTrackId);
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->kind, "music-video");
  auto preview = client->Get(local(clip->previewUrl));
  EXPECT_EQ(preview ? preview->get_header_value("Content-Type") : "", "video/mp4");

  EXPECT_EQ(status(get("/search", {{"term", "a"}, {"country", "usa"}})), 400);
}

TEST_F(ITunesSearchProtocolTest, PreviewsAreAacInM4aOfTheirLengthServedWholeOrInRanges) {
  const CatalogueTrack& track = listed(StoreListing::Song);
  const std::string url = "/itunes/preview/" + std::to_string(track.storeTrackId) + ".m4a";
  auto whole = client->Get(url);
  ASSERT_EQ(status(whole), 200);
  EXPECT_EQ(whole->get_header_value("Content-Type"), "audio/mp4");
  EXPECT_EQ(whole->get_header_value("Accept-Ranges"), "bytes");
  // The index comes first, so players can start before the end arrives.
  EXPECT_LT(whole->body.find("moov"), whole->body.find("mdat"));
  auto media = test::probeMediaBytes(whole->body, dir.file("preview.m4a"));
  ASSERT_TRUE(media.ok()) << media.error().toString();
  EXPECT_EQ(media->brand, "M4A ");
  const test::ProbedStream* audio = media->firstAudio();
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->codec, "aac");
  EXPECT_EQ(audio->channels, 2);
  EXPECT_NEAR(audio->decodedSeconds, 30.0, 0.05);  // as long as the store's previews

  auto part = client->Get(url, {{"Range", "bytes=10-29"}});
  EXPECT_EQ(status(part), 206);
  EXPECT_EQ(body(part), whole->body.substr(10, 20));
  EXPECT_EQ(part ? part->get_header_value("Content-Range") : "",
            "bytes 10-29/" + std::to_string(whole->body.size()));
  auto tail = client->Get(url, {{"Range", "bytes=-16"}});
  EXPECT_EQ(status(tail), 206);
  EXPECT_EQ(body(tail), whole->body.substr(whole->body.size() - 16));
  EXPECT_EQ(status(client->Get(url, {{"Range", "bytes=99999999-"}})), 416);
  auto head = client->Head(url);
  EXPECT_EQ(head ? head->get_header_value("Content-Length") : "",
            std::to_string(whole->body.size()));
  EXPECT_EQ(status(client->Get("/itunes/preview/42.m4a")), 404);
}

}  // namespace
}  // namespace mr
