// The video site as the sandbox plays it, read with the program's own
// parsers and extractor: searches that lead past decoys to the music video,
// watch pages in both forms, streams that play, and comments.
#include "sandbox/VideoSiteProtocol.h"

#include <algorithm>
#include <functional>

#include "external/LBYouTubeVideoExtractor.h"
#include "external/YouTubeMusicVideoResolver.h"
#include "sandbox/MediaProbe.h"
#include "sandbox/MusicCatalogue.h"
#include "sandbox/SandboxMedia.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::CatalogueTrack;
using sandbox::CatalogueVideo;
using sandbox::MusicCatalogue;
using sandbox::VideoKind;

class VideoSiteProtocolTest : public test::SandboxFixture {
 protected:
  const MusicCatalogue& catalogue() const { return server->catalogue(); }

  // As the program searches: "title artist", the first three, these fields.
  std::vector<YouTubeVideoEntry> search(const CatalogueTrack& track) {
    auto answer =
        get("/feeds/api/videos", {{"alt", "json"},
                                  {"q", track.title + " " + catalogue().artistOf(track).name},
                                  {"orderby", "relevance"},
                                  {"max-results", "3"},
                                  {"v", "2"},
                                  {"fields",
                                   "entry(app:control,title,link[@rel='alternate'],media:group,"
                                   "yt:statistics)"}});
    auto entries = YouTubeVideoAPI::parseSearchResult(body(answer));
    EXPECT_TRUE(entries.ok()) << body(answer);
    return entries.ok() ? *entries : std::vector<YouTubeVideoEntry>{};
  }
  const CatalogueVideo& videoWhere(const std::function<bool(const CatalogueVideo&)>& wanted) {
    for (const CatalogueVideo& video : catalogue().videos()) {
      if (wanted(video)) return video;
    }
    ADD_FAILURE() << "no such video";
    return catalogue().videos().front();
  }
  Result<std::string> streamOf(const CatalogueVideo& video, int quality) {
    auto page =
        get("/watch", {{"v", video.id}}, {{"User-Agent", LBYouTubeVideoExtractor::kUserAgent}});
    EXPECT_EQ(status(page), 200);
    return LBYouTubeVideoExtractor::extractFromPage(body(page), quality);
  }
};

TEST_F(VideoSiteProtocolTest, TheProgramsChoiceIsTheMusicVideoEvenPastADecoyRankedFirst) {
  int tried = 0, chosen = 0, pastADecoy = 0;
  for (const CatalogueTrack& track : catalogue().tracks()) {
    if (track.musicVideo < 0) continue;
    if (++tried > 100) break;
    const std::string& real = catalogue().videos()[static_cast<size_t>(track.musicVideo)].id;
    const auto entries = search(track);
    const auto entry = YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries(
        entries, catalogue().artistOf(track).name, track.title);
    if (!entry || !entry->videoID) continue;
    const CatalogueVideo* video = catalogue().findVideo(*entry->videoID);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->kind, VideoKind::MusicVideo);
    chosen += *entry->videoID == real;
    pastADecoy += *entry->videoID == real && entries[0].videoID != real;
  }
  EXPECT_GE(chosen, 90);
  EXPECT_GT(pastADecoy, 0);
}

TEST_F(VideoSiteProtocolTest, WatchPagesGiveStreamsInEitherFormOfTheMarkerAndNoneWhenRestricted) {
  for (const bool blankless : {false, true}) {
    const CatalogueVideo& video = videoWhere([blankless](const CatalogueVideo& v) {
      return v.blanklessMarker == blankless && v.streamCount == 4;
    });
    auto stream = streamOf(video, LBYouTubeVideoExtractor::kLarge);
    ASSERT_TRUE(stream.ok()) << video.id << ": " << stream.error().toString();
    EXPECT_TRUE(stream->starts_with(server->baseUrl() + "/videoplayback?"));
  }
  const CatalogueVideo& restricted =
      videoWhere([](const CatalogueVideo& v) { return v.restricted; });
  auto none = streamOf(restricted, LBYouTubeVideoExtractor::kSmall);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.error().code(), kLBYouTubeErrorNoStream);
  // The search tells a restricted video apart too.
  auto feed =
      get("/feeds/api/videos", {{"alt", "json"}, {"q", restricted.title}, {"max-results", "50"}});
  auto entries = YouTubeVideoAPI::parseSearchResult(body(feed));
  ASSERT_TRUE(entries.ok());
  const auto found =
      std::find_if(entries->begin(), entries->end(),
                   [&](const YouTubeVideoEntry& e) { return e.videoID == restricted.id; });
  ASSERT_NE(found, entries->end());
  EXPECT_TRUE(found->isRestricted);
  EXPECT_EQ(status(client->Get("/watch?v=AAAAAAAAAAA")), 404);
}

TEST_F(VideoSiteProtocolTest, StreamsAreMp4WithAacSoundServedInRangesAndOnlyAsSigned) {
  const CatalogueVideo& video =
      videoWhere([](const CatalogueVideo& v) { return v.streamCount == 4; });
  for (const auto& [quality, clip] : {std::pair{LBYouTubeVideoExtractor::kLarge, 0},
                                      std::pair{LBYouTubeVideoExtractor::kSmall, 3}}) {
    auto url = streamOf(video, quality);
    ASSERT_TRUE(url.ok());
    auto stream = client->Get(local(*url));
    ASSERT_EQ(status(stream), 200);
    EXPECT_EQ(stream->get_header_value("Content-Type"), "video/mp4");
    auto media = test::probeMediaBytes(stream->body, dir.file("stream.mp4"));
    ASSERT_TRUE(media.ok()) << media.error().toString();
    ASSERT_NE(media->firstVideo(), nullptr);
    ASSERT_NE(media->firstAudio(), nullptr);
    EXPECT_EQ(media->firstVideo()->width, sandbox::SandboxMedia::streamClip(clip).width);
    EXPECT_EQ(media->firstAudio()->codec, "aac");
    EXPECT_NEAR(media->firstAudio()->decodedSeconds,
                sandbox::SandboxMedia::streamClip(static_cast<int>(quality)).tone.seconds, 0.05);
    auto part = client->Get(local(*url), {{"Range", "bytes=0-99"}});
    EXPECT_EQ(status(part), 206);
    EXPECT_EQ(body(part), stream->body.substr(0, 100));

    std::string forged = local(*url);
    forged.back() = forged.back() == '0' ? '1' : '0';
    EXPECT_EQ(status(client->Get(forged)), 403);
  }
}

TEST_F(VideoSiteProtocolTest, CommentsComeNewestFirstTwentyFiveAPage) {
  const CatalogueVideo& video =
      videoWhere([](const CatalogueVideo& v) { return v.commentCount >= 30; });
  const std::string path = "/feeds/api/videos/" + video.id + "/comments";
  auto first = YouTubeVideoAPI::parseComments(body(get(path, {{"alt", "json"}, {"v", "2"}})));
  ASSERT_TRUE(first.ok() && first->comments);
  EXPECT_EQ(first->totalComments, static_cast<uint64_t>(video.commentCount));
  ASSERT_EQ(first->comments->size(), 25u);
  EXPECT_EQ(first->comments->front().content, catalogue().comments(video.index).front().content);
  EXPECT_TRUE(
      std::is_sorted(first->comments->rbegin(), first->comments->rend(),
                     [](const auto& a, const auto& b) { return a.createdAt < b.createdAt; }));
  auto rest =
      YouTubeVideoAPI::parseComments(body(get(path, {{"alt", "json"}, {"start-index", "26"}})));
  ASSERT_TRUE(rest.ok() && rest->comments);
  EXPECT_EQ(rest->comments->size(), static_cast<size_t>(video.commentCount - 25));
  EXPECT_EQ(status(get("/feeds/api/videos/AAAAAAAAAAA/comments", {{"alt", "json"}})), 404);
}

}  // namespace
}  // namespace mr
