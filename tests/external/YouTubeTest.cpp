#include <gtest/gtest.h>

#include "base/Json.h"
#include "base/StringAdditions.h"
#include "external/LBYouTubeVideoExtractor.h"
#include "external/StandInServer.h"
#include "external/YouTubeMusicVideoResolver.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// A search feed in the data API's JSON form.
constexpr const char* kFeed = R"json({"version": "1.0", "encoding": "UTF-8", "feed": {"entry": [
 {"title": {"$t": "Believe (Live)"},
  "link": [{"rel": "alternate", "href": "http://video.example/watch?v=aaa"}],
  "media$group": {"media$category": [{"$t": "People", "label": "People & Blogs"}],
                  "media$description": {"$t": "Cher performing Believe"},
                  "media$keywords": {"$t": ""}, "yt$videoid": {"$t": "aaa"}},
  "yt$statistics": {"favoriteCount": "0", "viewCount": "5"}},
 {"title": {"$t": "CHER - BELIEVE [Official Music Video]"},
  "link": [{"rel": "alternate", "href": "http://video.example/watch?v=bbb"}],
  "media$group": {"media$category": [{"$t": "Music", "label": "Music"}],
                  "media$description": {"$t": ""}, "media$keywords": {"$t": "cher, believe"},
                  "yt$videoid": {"$t": "bbb"}},
  "app$control": {"yt$state": {"name": "restricted", "reasonCode": "limitedSyndication"}},
  "yt$statistics": {"favoriteCount": "12", "viewCount": "123456"}},
 {"title": {"$t": "no group at all"}}
]}})json";

constexpr const char* kComments = R"({"feed": {
 "openSearch$totalResults": {"$t": 2},
 "entry": [
  {"author": [{"name": {"$t": "listener"}}], "content": {"$t": "Still love this"},
   "published": {"$t": "2012-03-04T05:06:07.000Z"}},
  {"content": {"$t": "anonymous"}, "published": {"$t": "yesterday"}}
 ]}})";

TEST(YouTubeParseTest, EntriesAndTheirOptionalGroup) {
  const auto entries = YouTubeVideoAPI::parseSearchResult(kFeed);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].category, "People");
  EXPECT_EQ(entries[0].viewCount, 5u);
  EXPECT_FALSE(entries[0].isRestricted);
  EXPECT_EQ(entries[1].videoID, "bbb");
  EXPECT_EQ(entries[1].link, "http://video.example/watch?v=bbb");
  EXPECT_EQ(entries[1].favoriteCount, 12u);
  EXPECT_TRUE(entries[1].isRestricted);
  EXPECT_EQ(entries[2].title, "no group at all");
  EXPECT_FALSE(entries[2].description);
  EXPECT_FALSE(entries[2].category);
  EXPECT_FALSE(entries[2].videoID);

  EXPECT_TRUE(YouTubeVideoAPI::parseSearchResult("not json").empty());
  EXPECT_TRUE(YouTubeVideoAPI::parseSearchResult(R"({"feed": {}})").empty());
}

TEST(YouTubeParseTest, CommentsWithTheirAuthorsAndDates) {
  const YouTubeVideoCommentEntry entry(*parseJson(kComments));
  EXPECT_EQ(entry.totalComments, 2u);
  ASSERT_TRUE(entry.comments);
  ASSERT_EQ(entry.comments->size(), 2u);
  EXPECT_EQ((*entry.comments)[0].authorName, "listener");
  ASSERT_TRUE((*entry.comments)[0].createdAt);
  EXPECT_EQ(formatISO8601(*(*entry.comments)[0].createdAt), "2012-03-04T05:06:07Z");
  EXPECT_EQ((*entry.comments)[1].authorName, "");
  EXPECT_FALSE((*entry.comments)[1].createdAt);

  const YouTubeVideoCommentEntry none(*parseJson(R"({"feed": {}})"));
  EXPECT_EQ(none.totalComments, 0u);
  EXPECT_FALSE(none.comments);
}

TEST(YouTubeResolverTest, TheFirstMusicEntryNamingBothTitleAndArtist) {
  const auto entries = YouTubeVideoAPI::parseSearchResult(kFeed);
  // The first names both but is filed under "People".
  auto chosen =
      YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries(entries, "Cher", "Believe");
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->videoID, "bbb");
  // Both must occur somewhere in title, keywords or description.
  EXPECT_FALSE(
      YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries(entries, "Madonna", "Believe"));
  // The category is compared exactly.
  auto lower = entries;
  lower[1].category = "music";
  EXPECT_FALSE(YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries(lower, "Cher", "Believe"));
  EXPECT_FALSE(YouTubeMusicVideoResolver::findMusicVideoEntryFromEntries({}, "Cher", "Believe"));
}

// A watch page holding the stream map the way the site embeds it.
std::string watchPage(const std::string& streams, bool blank = true) {
  std::string json = R"({"content": {"video": {"fmt_stream_map": )" + streams + "}}}";
  std::string escaped;
  for (char c : json) {
    if (c == '"')
      escaped += "\\\"";
    else if (c == '/')
      escaped += "\\/";
    else
      escaped += c;
  }
  return std::string("<html><script>var a = 1;\nls.setItem('PIGGYBACK_DATA',") +
         (blank ? " " : "") + "\")]}'" + escaped + "\");\n</script></html>";
}

TEST(YouTubeExtractorTest, QualityPicksFromTheEndsOfTheStreamList) {
  const std::string four = watchPage(R"([{"url": "http://v/large"}, {"url": "http://v/x"},
                                         {"url": "http://v/medium"}, {"url": "http://v/small"}])");
  EXPECT_EQ(*LBYouTubeVideoExtractor::extractFromPage(four, LBYouTubeVideoExtractor::kSmall),
            "http://v/small");
  EXPECT_EQ(*LBYouTubeVideoExtractor::extractFromPage(four, LBYouTubeVideoExtractor::kMedium),
            "http://v/medium");
  EXPECT_EQ(*LBYouTubeVideoExtractor::extractFromPage(four, LBYouTubeVideoExtractor::kLarge),
            "http://v/large");
  // With one stream every quality is that stream.
  const std::string one = watchPage(R"([{"url": "https://v/only"}])", false);
  EXPECT_EQ(*LBYouTubeVideoExtractor::extractFromPage(one, LBYouTubeVideoExtractor::kMedium),
            "https://v/only");
  // A missing large stream falls back to the smaller ones.
  const std::string noLarge =
      watchPage(R"([{"itag": 1}, {"url": "http://v/medium"}, {"url": "http://v/small"}])");
  EXPECT_EQ(*LBYouTubeVideoExtractor::extractFromPage(noLarge, LBYouTubeVideoExtractor::kLarge),
            "http://v/medium");
}

TEST(YouTubeExtractorTest, EachFailureHasItsCode) {
  const auto code = [](const std::string& page, int quality = 1) {
    const auto result = LBYouTubeVideoExtractor::extractFromPage(page, quality);
    EXPECT_FALSE(result.ok());
    return result.ok() ? 0 : result.error().code();
  };
  EXPECT_EQ(code(""), 1);
  EXPECT_EQ(code("\xff\xfe broken"), 1);
  EXPECT_EQ(code("<html>no data here</html>"), 3);
  EXPECT_EQ(code(watchPage("[]")), 2);
  EXPECT_EQ(code(watchPage(R"([{"itag": 5}])")), 2);
  // Only web addresses are handed to the player.
  EXPECT_EQ(code(watchPage(R"([{"url": "file:\/\/\/etc\/passwd"}])"), 0), 2);
  // An escape that is none ends with an error rather than silence.
  EXPECT_EQ(code("ls.setItem('PIGGYBACK_DATA', \")]}'{\\q}\");"), 3);
  const auto notJson =
      LBYouTubeVideoExtractor::extractFromPage("ls.setItem('PIGGYBACK_DATA', \")]}'{oops\");", 0);
  ASSERT_FALSE(notJson.ok());
  EXPECT_NE(notJson.error().domain(), kLBYouTubeErrorDomain);
}

TEST(YouTubeExtractorTest, StringLiteralsUnescape) {
  EXPECT_EQ(unescapeStringLiteral(R"(a\"b\\c\/d\n)"), "a\"b\\c/d\n");
  EXPECT_EQ(unescapeStringLiteral(R"(\u00e9\u3042)"), "\u00e9\u3042");
  EXPECT_EQ(unescapeStringLiteral(R"(\ud83c\udfb5)"), "\U0001F3B5");
  EXPECT_EQ(unescapeStringLiteral(R"(\x41)"), "A");
  EXPECT_FALSE(unescapeStringLiteral(R"(\u12)"));
  EXPECT_FALSE(unescapeStringLiteral(R"(\ud83c)"));
  EXPECT_FALSE(unescapeStringLiteral("trailing\\"));
}

struct YouTubeFixture : ::testing::Test {
  test::TestEnv testEnv;
  test::StandInServer server{[](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/feeds/api/videos") {
      response.set_content(kFeed, "application/json");
    } else if (request.path == "/feeds/api/videos/bbb/comments") {
      response.set_content(kComments, "application/json");
    } else if (request.path == "/watch") {
      response.set_content(watchPage(R"([{"url": "http://v/large"}, {"url": "http://v/small"}])"),
                           "text/html");
    } else {
      response.status = 404;
    }
  }};
  std::shared_ptr<HttpEngine> engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  YouTubeVideoAPI api{testEnv.env(), engine, server.baseUrl()};
};

TEST_F(YouTubeFixture, ResolveAVideoThenItsStream) {
  bool done = false;
  std::optional<YouTubeVideoEntry> video;
  YouTubeMusicVideoResolver::retrieveWithTitle(
      api, "Believe", "Cher",
      [&](std::optional<YouTubeVideoEntry> chosen) {
        video = std::move(chosen);
        done = true;
      },
      nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  ASSERT_TRUE(video);
  auto search = server.last();
  EXPECT_EQ(search.query["q"], "Believe Cher");
  EXPECT_EQ(search.query["max-results"], "3");
  EXPECT_EQ(search.query["alt"], "json");

  done = false;
  std::optional<YouTubeVideoCommentEntry> comments;
  api.retrieveCommentsWithVideoID(
      *video->videoID,
      [&](std::optional<YouTubeVideoCommentEntry> got) {
        comments = std::move(got);
        done = true;
      },
      nullptr);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  ASSERT_TRUE(comments);
  EXPECT_EQ(comments->totalComments, 2u);

  done = false;
  std::string stream;
  auto extractor = LBYouTubeVideoExtractor::start(
      api, server.baseUrl() + "/watch?v=bbb", 0,
      [&](const std::string& url) {
        stream = url;
        done = true;
      },
      [&](const Error&) { done = true; });
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  EXPECT_EQ(stream, "http://v/small");
  EXPECT_EQ(extractor->extractedURL(), "http://v/small");
  EXPECT_EQ(server.last().headers["User-Agent"], LBYouTubeVideoExtractor::kUserAgent);
}

TEST_F(YouTubeFixture, AMissingPageIsTheConnectionsError) {
  bool done = false;
  std::optional<Error> failed;
  LBYouTubeVideoExtractor::start(
      api, server.baseUrl() + "/gone", 1, [&](const std::string&) { done = true; },
      [&](const Error& error) {
        failed = error;
        done = true;
      });
  ASSERT_TRUE(testEnv.pumpUntil([&] { return done; }));
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->code(), 404);
}

}  // namespace
}  // namespace mr
