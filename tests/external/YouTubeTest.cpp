#include <gtest/gtest.h>

#include <thread>

#include "base/Json.h"
#include "base/StringAdditions.h"
#include "base/Url.h"
#include "external/ExternalErrors.h"
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
  const auto parsed = YouTubeVideoAPI::parseSearchResult(kFeed);
  ASSERT_TRUE(parsed);
  const auto& entries = *parsed;
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
}

TEST(YouTubeParseTest, AFeedWithoutEntriesIsEmptyAndAnythingElseMalformed) {
  const auto none =
      YouTubeVideoAPI::parseSearchResult(R"({"feed": {"openSearch$totalResults": 0}})");
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
  for (const char* body :
       {"not json", "", "[1]", R"({"version": "1.0"})", R"({"feed": "x"})",
        R"({"feed": {"entry": {"title": {"$t": "one"}}}})", "<html>Sorry</html>"}) {
    const auto search = YouTubeVideoAPI::parseSearchResult(body);
    ASSERT_FALSE(search.ok()) << body;
    EXPECT_EQ(search.error().code(), kMalformedAnswerErrorCode) << body;
    const auto comments = YouTubeVideoAPI::parseComments(body);
    ASSERT_FALSE(comments.ok()) << body;
    EXPECT_EQ(comments.error().code(), kMalformedAnswerErrorCode) << body;
  }
  const auto quiet = YouTubeVideoAPI::parseComments(R"({"feed": {}})");
  ASSERT_TRUE(quiet);
  EXPECT_FALSE(quiet->comments);
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
  const auto entries = *YouTubeVideoAPI::parseSearchResult(kFeed);
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
  // Pages that are not the video's (an outage, a consent page) may come
  // right later; a page without a stream will not.
  EXPECT_TRUE(isTemporaryFailure(notJson.error()));
  EXPECT_TRUE(isTemporaryFailure(
      LBYouTubeVideoExtractor::extractFromPage("<html>no data here</html>", 0).error()));
  EXPECT_FALSE(
      isTemporaryFailure(LBYouTubeVideoExtractor::extractFromPage(watchPage("[]"), 0).error()));
}

TEST(YouTubeExtractorTest, OnlyTheWatchSiteIsFetched) {
  const auto at = [](const char* site, const char* link) {
    return LBYouTubeVideoExtractor::watchPageAddress(site, link);
  };
  // The site's own scheme is used, whatever the link says.
  EXPECT_EQ(at("https://www.youtube.com", "http://www.youtube.com/watch?v=x&feature=y"),
            "https://www.youtube.com/watch?v=x&feature=y");
  EXPECT_EQ(at("https://www.youtube.com/", "https://WWW.YouTube.com/watch?v=x#t=10"),
            "https://www.youtube.com/watch?v=x");
  EXPECT_EQ(at("http://127.0.0.1:8080", "http://127.0.0.1:8080/watch?v=1"),
            "http://127.0.0.1:8080/watch?v=1");
  EXPECT_EQ(at("https://www.youtube.com", "https://www.youtube.com:443/watch?v=x"),
            "https://www.youtube.com/watch?v=x");
  for (const char* elsewhere :
       {"http://evil.example/watch?v=x", "http://www.youtube.com.evil.example/watch?v=x",
        "http://www.youtube.com@evil.example/watch?v=x", "http://www.youtube.com:8080/watch",
        "file:///etc/passwd", "javascript:alert(1)", "/watch?v=x", ""}) {
    EXPECT_FALSE(at("https://www.youtube.com", elsewhere)) << elsewhere;
  }
  EXPECT_FALSE(at("http://127.0.0.1:8080", "http://127.0.0.1:9090/watch?v=1"));
  EXPECT_FALSE(at("http://127.0.0.1:8080", "http://localhost:8080/watch?v=1"));
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
  test::StandInServer server{[this](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/feeds/api/videos") {
      response.set_content(kFeed, "application/json");
    } else if (request.path == "/feeds/api/videos/bbb/comments") {
      response.set_content(kComments, "application/json");
    } else if (request.path == "/watch") {
      response.set_content(watchPage(R"([{"url": "http://v/large"}, {"url": "http://v/small"}])"),
                           "text/html");
    } else if (request.path == "/moved") {
      // Elsewhere: the same server under another name.
      response.set_redirect("http://localhost:" +
                            std::to_string(Url::parse(server.baseUrl())->port) + "/watch?v=bbb");
    } else if (request.path == "/huge") {
      response.set_content(watchPage(R"([{"url": "http://v/small"}])") +
                               std::string(LBYouTubeVideoExtractor::kMaxPageBytes, ' '),
                           "text/html");
    } else if (request.path == "/garbage/feeds/api/videos" ||
               request.path == "/garbage/feeds/api/videos/bbb/comments") {
      response.set_content("<html>Service Unavailable</html>", "text/html");
    } else {
      response.status = 404;
    }
  }};
  std::shared_ptr<HttpEngine> engine =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  YouTubeVideoAPI api{testEnv.env(), engine, server.baseUrl(), server.baseUrl()};
  const std::thread::id mainThread = std::this_thread::get_id();

  // Runs an extraction to its end: the stream, or the error.
  Result<std::string> extract(const std::string& link) {
    std::optional<Result<std::string>> outcome;
    bool offMain = false;
    LBYouTubeVideoExtractor::start(
        api, link, 0,
        [&](const std::string& url) {
          offMain = std::this_thread::get_id() != mainThread;
          outcome.emplace(url);
        },
        [&](const Error& error) {
          offMain = std::this_thread::get_id() != mainThread;
          outcome.emplace(error);
        });
    EXPECT_TRUE(testEnv.pumpUntil([&] { return outcome.has_value(); }));
    EXPECT_FALSE(offMain);
    return outcome.value_or(Error());
  }
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

TEST_F(YouTubeFixture, TheWatchPageComesOnlyFromTheWatchSite) {
  const std::string port = std::to_string(Url::parse(server.baseUrl())->port);
  // Another host name for the same server is another site: nothing is sent.
  const auto elsewhere = extract("http://localhost:" + port + "/watch?v=bbb");
  ASSERT_FALSE(elsewhere.ok());
  EXPECT_EQ(elsewhere.error().domain(), kLBYouTubeErrorDomain);
  EXPECT_EQ(elsewhere.error().code(), kLBYouTubeErrorPageUnreadable);
  EXPECT_TRUE(server.requests().empty());

  // A page a redirect fetched elsewhere is not read.
  std::optional<Result<std::string>> moved;
  auto extractor = LBYouTubeVideoExtractor::start(
      api, server.baseUrl() + "/moved?v=bbb", 0,
      [&](const std::string& url) { moved.emplace(url); },
      [&](const Error& error) { moved.emplace(error); });
  ASSERT_TRUE(testEnv.pumpUntil([&] { return moved.has_value(); }));
  ASSERT_FALSE(moved->ok());
  EXPECT_EQ(moved->error().code(), kLBYouTubeErrorPageUnreadable);
  EXPECT_FALSE(extractor->extractedURL());

  // A page past the limit is not a page.
  const auto huge = extract(server.baseUrl() + "/huge?v=bbb");
  ASSERT_FALSE(huge.ok());
  EXPECT_EQ(huge.error().code(), kHttpErrorResponseTooLarge);
  EXPECT_EQ(*extract(server.baseUrl() + "/watch?v=bbb"), "http://v/small");
}

TEST_F(YouTubeFixture, ThePageIsReadOffTheMainThreadAndAnsweredOnIt) {
  std::optional<std::string> stream;
  auto extractor = LBYouTubeVideoExtractor::start(
      api, server.baseUrl() + "/watch?v=bbb", 0, [&](const std::string& url) { stream = url; },
      nullptr);
  // The main loop is not turned: the page is read all the same...
  const SteadyTime deadline = Clock::real().deadlineAfter(std::chrono::seconds(20));
  while (!extractor->extractedURL() && Clock::real().now() < deadline)
    std::this_thread::yield();
  EXPECT_EQ(extractor->extractedURL(), "http://v/small");
  // ...and its result told on the main loop only.
  EXPECT_FALSE(stream);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return stream.has_value(); }));
  EXPECT_EQ(*stream, "http://v/small");
}

TEST_F(YouTubeFixture, FailuresComeOnTheMainThreadAndAreNotEmptyAnswers) {
  YouTubeVideoAPI garbled{testEnv.env(), engine, server.baseUrl() + "/garbage", server.baseUrl()};
  YouTubeVideoAPI gone{testEnv.env(), engine, server.baseUrl() + "/gone", server.baseUrl()};
  struct Heard {
    std::mutex mutex;
    std::optional<Error> error;
    int completions = 0;
    bool offMain = false;
  };
  const auto expectFailureOnMain = [&](auto ask) {
    auto heard = std::make_shared<Heard>();
    const auto record = [heard, this](std::optional<Error> error) {
      std::lock_guard guard(heard->mutex);
      heard->offMain = heard->offMain || std::this_thread::get_id() != mainThread;
      if (error) heard->error = error;
      if (!error) ++heard->completions;
    };
    auto request = ask([record](auto&&) { record(std::nullopt); },
                       [record](const Error& error) { record(error); });
    // Nothing is told before the main loop turns.
    EXPECT_TRUE(request &&
                request->waitUntilFinished(Clock::real(),
                                           Clock::real().deadlineAfter(std::chrono::seconds(20))));
    testEnv.pool().waitIdle();
    {
      std::lock_guard guard(heard->mutex);
      EXPECT_FALSE(heard->error);
    }
    EXPECT_TRUE(testEnv.pumpUntil([&] {
      std::lock_guard guard(heard->mutex);
      return heard->error.has_value();
    }));
    std::lock_guard guard(heard->mutex);
    EXPECT_FALSE(heard->offMain);
    EXPECT_EQ(heard->completions, 0);
    return heard->error.value_or(Error());
  };

  for (YouTubeVideoAPI* site : {&garbled, &gone}) {
    const bool malformed = site == &garbled;
    const Error search = expectFailureOnMain([&](auto completion, auto failure) {
      return site->searchWithKeyword("Believe Cher", 3, completion, failure);
    });
    const Error comments = expectFailureOnMain([&](auto completion, auto failure) {
      return site->retrieveCommentsWithVideoID("bbb", completion, failure);
    });
    const Error resolved = expectFailureOnMain([&](auto completion, auto failure) {
      return YouTubeMusicVideoResolver::retrieveWithTitle(*site, "Believe", "Cher", completion,
                                                          failure);
    });
    for (const Error& error : {search, comments, resolved}) {
      EXPECT_EQ(error.code(), malformed ? kMalformedAnswerErrorCode : 404);
      EXPECT_EQ(isTemporaryFailure(error), malformed);
    }
  }
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
