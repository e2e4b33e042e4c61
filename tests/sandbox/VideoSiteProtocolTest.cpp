#include "sandbox/VideoSiteProtocol.h"

#include <algorithm>
#include <functional>
#include <optional>

#include "base/Json.h"
#include "base/StringAdditions.h"
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
using sandbox::VideoSiteProtocol;

const char* kFields = "entry(app:control,title,link[@rel='alternate'],media:group,yt:statistics)";
const char* kPhone =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) AppleWebKit/534.46 (KHTML, like "
    "Gecko) Version/5.1 Mobile/9A334 Safari/7534.48.3";

// The data a watch page hands its player, found by either form of the marker.
std::optional<Value> pageData(const std::string& page, bool* blankless = nullptr) {
  std::string marker = "ls.setItem('PIGGYBACK_DATA', \")]}'";
  size_t at = page.find(marker);
  if (blankless != nullptr) *blankless = at == std::string::npos;
  if (at == std::string::npos) {
    marker = "ls.setItem('PIGGYBACK_DATA',\")]}'";
    at = page.find(marker);
  }
  if (at == std::string::npos) return std::nullopt;
  const size_t start = at + marker.size();
  const size_t end = page.find("\");", start);
  if (end == std::string::npos) return std::nullopt;
  auto json = unescapeStringLiteral(std::string_view(page).substr(start, end - start));
  if (!json) return std::nullopt;
  auto parsed = parseJson(*json);
  if (!parsed.ok()) return std::nullopt;
  return parsed.value();
}

class VideoSiteProtocolTest : public test::SandboxFixture {
 protected:
  const MusicCatalogue& catalogue() const { return server->catalogue(); }

  std::vector<Value> search(const std::string& q, int max = 3, const char* fields = kFields) {
    httplib::Params params{{"alt", "json"},
                           {"q", q},
                           {"orderby", "relevance"},
                           {"max-results", std::to_string(max)},
                           {"v", "2"}};
    if (fields != nullptr) params.emplace("fields", fields);
    const Value body = bodyJson(getQuery("/feeds/api/videos", params));
    const Array* entries = body.arrayForKeyPath("feed/entry");
    return entries != nullptr ? *entries : std::vector<Value>{};
  }

  // The client's choice: the first entry in "Music" or "Entertainment"
  // whose title, keywords and description hold both names.
  static std::optional<std::string> choose(const std::vector<Value>& entries,
                                           const std::string& artist, const std::string& title) {
    for (const Value& entry : entries) {
      const std::string category = entry.stringForKeyPath("media$group/media$category#0/$t", "");
      if (category != "Music" && category != "Entertainment") continue;
      const std::string text = MusicCatalogue::foldName(
          entry.stringForKeyPath("title/$t", "") + " " +
          entry.stringForKeyPath("media$group/media$keywords/$t", "") + " " +
          entry.stringForKeyPath("media$group/media$description/$t", ""));
      if (text.find(MusicCatalogue::foldName(title)) != std::string::npos &&
          text.find(MusicCatalogue::foldName(artist)) != std::string::npos) {
        return entry.stringForKeyPath("media$group/yt$videoid/$t", "");
      }
    }
    return std::nullopt;
  }

  const CatalogueVideo& videoWhere(const std::function<bool(const CatalogueVideo&)>& wanted) {
    for (const CatalogueVideo& video : catalogue().videos()) {
      if (wanted(video)) return video;
    }
    ADD_FAILURE() << "no such video";
    return catalogue().videos().front();
  }

  std::string watchPage(const CatalogueVideo& video) {
    auto page =
        client->Get("/watch?v=" + video.id + "&feature=youtube_gdata", {{"User-Agent", kPhone}});
    EXPECT_TRUE(page);
    if (!page) return {};
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
    return page->body;
  }
};

TEST_F(VideoSiteProtocolTest, SearchEntriesCarryWhatTheClientReads) {
  const CatalogueVideo& video = videoWhere(
      [](const CatalogueVideo& v) { return v.kind == VideoKind::MusicVideo && !v.restricted; });
  const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(video.track)];
  const auto entries = search(track.title + " " + catalogue().artistOf(track).name);
  ASSERT_FALSE(entries.empty());
  ASSERT_LE(entries.size(), 3u);
  const auto found = std::find_if(entries.begin(), entries.end(), [&](const Value& e) {
    return e.stringForKeyPath("media$group/yt$videoid/$t", "") == video.id;
  });
  ASSERT_NE(found, entries.end());
  const Value& entry = *found;
  EXPECT_EQ(entry.stringForKeyPath("title/$t", ""), video.title);
  EXPECT_EQ(entry.stringForKeyPath("media$group/media$description/$t", ""), video.description);
  EXPECT_EQ(entry.stringForKeyPath("media$group/media$keywords/$t", ""), video.keywords);
  EXPECT_EQ(entry.stringForKeyPath("media$group/media$category#0/$t", ""), video.category);
  EXPECT_EQ(entry.stringForKeyPath("link#0/href", ""),
            server->baseUrl() + "/watch?v=" + video.id + "&feature=youtube_gdata");
  EXPECT_EQ(entry.arrayForKey("link")->size(), 1u);  // the fields keep only the alternate link
  EXPECT_EQ(entry.stringForKeyPath("yt$statistics/viewCount", ""), std::to_string(video.viewCount));
  EXPECT_EQ(entry.intForKeyPath("yt$statistics/favoriteCount", -1), video.favoriteCount);
  EXPECT_EQ(entry.objectForKeyPath("app$control"), nullptr);
  // Only the fields asked for.
  for (const auto& [key, value] : *entry.asDictionary()) {
    EXPECT_TRUE(key == "title" || key == "link" || key == "media$group" || key == "yt$statistics" ||
                key == "app$control")
        << key;
  }
}

TEST_F(VideoSiteProtocolTest, WithoutFieldsTheFeedIsWholeAndRestrictedVideosSaySo) {
  const CatalogueVideo& video = videoWhere([](const CatalogueVideo& v) { return v.restricted; });
  const Value body = bodyJson(
      getQuery("/feeds/api/videos", {{"alt", "json"}, {"q", video.title}, {"max-results", "50"}}));
  EXPECT_GT(body.intForKeyPath("feed/openSearch$totalResults/$t", 0), 0);
  const Array* entries = body.arrayForKeyPath("feed/entry");
  ASSERT_NE(entries, nullptr);
  const auto found = std::find_if(entries->begin(), entries->end(), [&](const Value& e) {
    return e.stringForKeyPath("media$group/yt$videoid/$t", "") == video.id;
  });
  ASSERT_NE(found, entries->end());
  EXPECT_EQ(found->stringForKeyPath("app$control/yt$state/name", ""), "restricted");
  EXPECT_EQ(found->stringForKeyPath("link#0/rel", ""), "alternate");
  EXPECT_GT(found->arrayForKey("link")->size(), 1u);
  EXPECT_EQ(found->stringForKeyPath("author#0/name/$t", ""), video.author);
  EXPECT_EQ(found->stringForKeyPath("published/$t", ""), video.published);
}

TEST_F(VideoSiteProtocolTest, TheClientsChoiceIsTheMusicVideoAndNeverADecoy) {
  int tried = 0, chosen = 0;
  for (const CatalogueTrack& track : catalogue().tracks()) {
    if (track.musicVideo < 0 || tried == 60) continue;
    ++tried;
    const std::string& artist = catalogue().artistOf(track).name;
    const auto choice = choose(search(track.title + " " + artist), artist, track.title);
    if (choice) {
      const CatalogueVideo* video = catalogue().findVideo(*choice);
      ASSERT_NE(video, nullptr);
      EXPECT_EQ(video->kind, VideoKind::MusicVideo);
      chosen += *choice == catalogue().videos()[static_cast<size_t>(track.musicVideo)].id;
    }
  }
  EXPECT_GE(chosen, tried * 9 / 10);

  // Parodies seen more than the real thing come first, and are passed over.
  int parodiesFirst = 0;
  for (const CatalogueVideo& parody : catalogue().videos()) {
    if (parody.kind != VideoKind::Parody || parodiesFirst == 5) continue;
    const CatalogueTrack& track = catalogue().tracks()[static_cast<size_t>(parody.track)];
    if (track.musicVideo < 0) continue;
    const CatalogueVideo& real = catalogue().videos()[static_cast<size_t>(track.musicVideo)];
    if (parody.viewCount <= real.viewCount) continue;
    const std::string& artist = catalogue().artistOf(track).name;
    const auto entries = search(track.title + " " + artist);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].stringForKeyPath("media$group/yt$videoid/$t", ""), parody.id);
    EXPECT_EQ(entries[0].stringForKeyPath("media$group/media$category#0/$t", ""), "Comedy");
    EXPECT_EQ(choose(entries, artist, track.title), real.id);
    ++parodiesFirst;
  }
  EXPECT_EQ(parodiesFirst, 5);
}

TEST_F(VideoSiteProtocolTest, OrderingPagingAndRefusals) {
  const auto byViews = bodyJson(getQuery("/feeds/api/videos", {{"alt", "json"},
                                                               {"q", "the"},
                                                               {"orderby", "viewCount"},
                                                               {"max-results", "10"},
                                                               {"start-index", "3"}}));
  const Array* entries = byViews.arrayForKeyPath("feed/entry");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 10u);
  EXPECT_EQ(byViews.intForKeyPath("feed/openSearch$startIndex/$t", 0), 3);
  for (size_t i = 1; i < entries->size(); ++i) {
    EXPECT_GE(stringIntegerValue((*entries)[i - 1].stringForKeyPath("yt$statistics/viewCount", "")),
              stringIntegerValue((*entries)[i].stringForKeyPath("yt$statistics/viewCount", "")));
  }
  const Value nothing =
      bodyJson(getQuery("/feeds/api/videos", {{"alt", "json"}, {"q", "qqzzxxyy"}}));
  EXPECT_TRUE(nothing.objectForKeyPath("feed") != nullptr);
  EXPECT_EQ(nothing.objectForKeyPath("feed/entry"), nullptr);

  for (const httplib::Params& params : std::vector<httplib::Params>{
           {{"q", "a"}},
           {{"alt", "json"}, {"q", "a"}, {"max-results", "51"}},
           {{"alt", "json"}, {"q", "a"}, {"fields", "items(title)"}},
           {{"alt", "json"}, {"q", "a"}, {"fields", "entry(title,)"}},
           {{"alt", "json"}, {"q", "a"}, {"fields", "entry(link[@rel=x])"}}}) {
    auto refused = getQuery("/feeds/api/videos", params);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
  }
}

TEST_F(VideoSiteProtocolTest, CommentsComeNewestFirstWithAuthorContentAndDate) {
  const CatalogueVideo& video =
      videoWhere([](const CatalogueVideo& v) { return v.commentCount >= 30; });
  auto result =
      getQuery("/feeds/api/videos/" + video.id + "/comments", {{"alt", "json"}, {"v", "2"}});
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  const Value body = bodyJson(result);
  EXPECT_EQ(body.intForKeyPath("feed/openSearch$totalResults/$t", -1), video.commentCount);
  const Array* entries = body.arrayForKeyPath("feed/entry");
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(entries->size(), 25u);
  const auto expected = catalogue().comments(video.index);
  for (size_t i = 0; i < entries->size(); ++i) {
    const Value& entry = (*entries)[i];
    EXPECT_EQ(entry.stringForKeyPath("author#0/name/$t", ""), expected[i].author);
    EXPECT_EQ(entry.stringForKeyPath("content/$t", ""), expected[i].content);
    EXPECT_TRUE(entry.dateForKeyPath("published/$t", "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'").has_value());
  }
  const Value rest = bodyJson(getQuery("/feeds/api/videos/" + video.id + "/comments",
                                       {{"alt", "json"}, {"start-index", "26"}}));
  EXPECT_EQ(rest.arrayForKeyPath("feed/entry")->size(),
            static_cast<size_t>(video.commentCount - 25));

  const CatalogueVideo& quiet =
      videoWhere([](const CatalogueVideo& v) { return v.commentCount == 0; });
  const Value none =
      bodyJson(getQuery("/feeds/api/videos/" + quiet.id + "/comments", {{"alt", "json"}}));
  EXPECT_EQ(none.intForKeyPath("feed/openSearch$totalResults/$t", -1), 0);
  EXPECT_EQ(none.objectForKeyPath("feed/entry"), nullptr);

  auto unknown = getQuery("/feeds/api/videos/AAAAAAAAAAA/comments", {{"alt", "json"}});
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
}

TEST_F(VideoSiteProtocolTest, WatchPagesCarryTheStreamMapInEitherFormOfTheMarker) {
  for (const bool blankless : {false, true}) {
    const CatalogueVideo& video = videoWhere([blankless](const CatalogueVideo& v) {
      return v.blanklessMarker == blankless && v.streamCount == 4;
    });
    bool foundBlankless = false;
    const auto data = pageData(watchPage(video), &foundBlankless);
    ASSERT_TRUE(data) << video.id;
    EXPECT_EQ(foundBlankless, blankless);
    const Array* streams = data->arrayForKeyPath("content/video/fmt_stream_map");
    ASSERT_NE(streams, nullptr);
    ASSERT_EQ(streams->size(), 4u);
    std::vector<std::string> qualities;
    for (const Value& stream : *streams) {
      qualities.push_back(stream.stringForKey("quality", ""));
      EXPECT_TRUE(
          stream.stringForKey("url", "").starts_with(server->baseUrl() + "/videoplayback?"));
      EXPECT_NE(stream.stringForKey("type", "").find("\"mp4v"), std::string::npos);
    }
    EXPECT_EQ(qualities, (std::vector<std::string>{"hd720", "large", "medium", "small"}));
    EXPECT_EQ(data->stringForKeyPath("content/video/title", ""), video.title);
  }
}

TEST_F(VideoSiteProtocolTest, StreamMapsListOneToFourStreamsAndNoneWhenRestricted) {
  for (int count = 0; count <= 4; ++count) {
    const CatalogueVideo& video =
        videoWhere([count](const CatalogueVideo& v) { return v.streamCount == count; });
    const auto data = pageData(watchPage(video));
    ASSERT_TRUE(data);
    const Array* streams = data->arrayForKeyPath("content/video/fmt_stream_map");
    ASSERT_NE(streams, nullptr);
    EXPECT_EQ(streams->size(), static_cast<size_t>(count));
    EXPECT_EQ(count == 0, video.restricted);
  }
  auto missing = client->Get("/watch?v=AAAAAAAAAAA");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_FALSE(pageData(missing->body));
}

TEST_F(VideoSiteProtocolTest, StreamsAreMp4WithAacSoundSmallerForLowerQualities) {
  const CatalogueVideo& video =
      videoWhere([](const CatalogueVideo& v) { return v.streamCount == 4; });
  const auto data = pageData(watchPage(video));
  ASSERT_TRUE(data);
  const Array& streams = *data->arrayForKeyPath("content/video/fmt_stream_map");
  for (size_t quality : {size_t{0}, size_t{3}}) {
    const std::string url = streams[quality].stringForKey("url", "");
    auto stream = client->Get(url.substr(server->baseUrl().size()));
    ASSERT_TRUE(stream);
    ASSERT_EQ(stream->status, 200);
    EXPECT_EQ(stream->get_header_value("Content-Type"), "video/mp4");
    auto media = test::probeMediaBytes(stream->body, dir.file("stream.mp4"));
    ASSERT_TRUE(media.ok()) << media.error().toString();
    ASSERT_NE(media->firstVideo(), nullptr);
    ASSERT_NE(media->firstAudio(), nullptr);
    EXPECT_EQ(media->firstVideo()->width,
              sandbox::SandboxMedia::streamClip(static_cast<int>(quality)).width);
    EXPECT_EQ(media->firstAudio()->codec, "aac");
    EXPECT_NEAR(media->firstAudio()->decodedSeconds,
                sandbox::SandboxMedia::streamClip(static_cast<int>(quality)).tone.seconds, 0.05);

    auto part = client->Get(url.substr(server->baseUrl().size()), {{"Range", "bytes=0-99"}});
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 206);
    EXPECT_EQ(part->body, stream->body.substr(0, 100));
  }
  std::string forged = streams[0].stringForKey("url", "");
  forged.back() = forged.back() == '0' ? '1' : '0';
  auto refused = client->Get(forged.substr(server->baseUrl().size()));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 403);
}

TEST(VideoSiteEscapeTest, EscapesTextAsAScriptStringBodyThatDecodesBack) {
  const std::string text =
      "{\"a\":\"x\\\"y\",\"u\":\"http://h/p?q=1&r=<2>\"}\n\t'Rós' \xF0\x9F\x8E\xB5";
  const std::string escaped = VideoSiteProtocol::escapeForScript(text);
  for (size_t at = escaped.find('"'); at != std::string::npos; at = escaped.find('"', at + 1))
    EXPECT_EQ(escaped[at - 1], '\\');
  EXPECT_NE(escaped.find("http:\\/\\/h\\/p?q\\u003d1\\u0026r\\u003d\\u003c2\\u003e"),
            std::string::npos);
  EXPECT_NE(escaped.find("x\\\\\\\"y"), std::string::npos);
  EXPECT_NE(escaped.find("R\\u00f3s"), std::string::npos);
  EXPECT_NE(escaped.find("\\ud83c\\udfb5"), std::string::npos);
  EXPECT_EQ(escaped.find('\n'), std::string::npos);
  EXPECT_EQ(unescapeStringLiteral(escaped), text);
  EXPECT_EQ(VideoSiteProtocol::escapeForScript("\xFF"), "\\ufffd");
}

}  // namespace
}  // namespace mr
