#include "external/YouTubeVideoAPI.h"

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"

namespace mr {

namespace {
SharedInstance<YouTubeVideoAPI>& slot() {
  static SharedInstance<YouTubeVideoAPI> instance;
  return instance;
}

constexpr const char* kService = "video site";

uint64_t countAt(const Value& value, std::string_view path) {
  return static_cast<uint64_t>(static_cast<int64_t>(value.intForKeyPath(path, 0)));
}

// The answer's JSON: an object with a "feed" object, whose "entry", when
// there, is an array.
Result<Value> feedAnswer(const std::string& body) {
  auto json = parseJson(body);
  if (!json.ok()) return malformedAnswerError(kService, json.error().description());
  const Value* feed = json->get("feed");
  if (feed == nullptr || !feed->isDictionary()) return malformedAnswerError(kService, "no feed");
  if (const Value* entries = feed->get("entry"); entries != nullptr && !entries->isArray()) {
    return malformedAnswerError(kService, "feed/entry is not an array");
  }
  return std::move(json).value();
}
}  // namespace

YouTubeVideoEntry::YouTubeVideoEntry(const Value& entry) {
  title = entry.stringForKeyPath("title/$t", "");
  if (const Value* group = entry.get("media$group"); group != nullptr && group->isDictionary()) {
    description = group->stringForKeyPath("media$description/$t", "");
    keywords = group->stringForKeyPath("media$keywords/$t", "");
    category = group->stringForKeyPath("media$category#0/$t", "");
    videoID = group->stringForKeyPath("yt$videoid/$t", "");
  }
  link = entry.stringForKeyPath("link#0/href", "");
  viewCount = countAt(entry, "yt$statistics/viewCount");
  favoriteCount = countAt(entry, "yt$statistics/favoriteCount");
  isRestricted = entry.stringForKeyPath("app$control/yt$state/name", "") == "restricted";
}

YouTubeVideoComment::YouTubeVideoComment(const Value& entry) {
  authorName = entry.stringForKeyPath("author#0/name/$t", "");
  content = entry.stringForKeyPath("content/$t", "");
  createdAt = entry.dateForKeyPath("published/$t", "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'");
}

YouTubeVideoCommentEntry::YouTubeVideoCommentEntry(const Value& feed) {
  totalComments = countAt(feed, "feed/openSearch$totalResults/$t");
  if (const Array* entries = feed.arrayForKeyPath("feed/entry")) {
    comments.emplace();
    for (const auto& entry : *entries)
      comments->emplace_back(entry);
  }
}

std::shared_ptr<YouTubeVideoAPI> YouTubeVideoAPI::sharedInstance() {
  return slot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<YouTubeVideoAPI>(env, sharedHttpEngine(), env.config().videoApiBaseUrl,
                                             env.config().videoWatchBaseUrl);
  });
}

void YouTubeVideoAPI::setSharedInstance(std::shared_ptr<YouTubeVideoAPI> instance) {
  slot().replace(std::move(instance));
}

Result<std::vector<YouTubeVideoEntry>> YouTubeVideoAPI::parseSearchResult(const std::string& body) {
  auto json = feedAnswer(body);
  if (!json.ok()) return json.error();
  std::vector<YouTubeVideoEntry> entries;
  if (const Array* found = json->arrayForKeyPath("feed/entry")) {
    for (const auto& entry : *found)
      entries.emplace_back(entry);
  }
  return entries;
}

Result<YouTubeVideoCommentEntry> YouTubeVideoAPI::parseComments(const std::string& body) {
  auto json = feedAnswer(body);
  if (!json.ok()) return json.error();
  return YouTubeVideoCommentEntry(*json);
}

std::shared_ptr<HttpOperation> YouTubeVideoAPI::searchWithKeyword(
    const std::string& keyword, int maxResults,
    std::function<void(std::vector<YouTubeVideoEntry>)> completion,
    std::function<void(const Error&)> error) {
  const Dictionary parameters{
      {"alt", Value("json")},
      {"q", Value(keyword)},
      {"orderby", Value("relevance")},
      {"max-results", Value(maxResults)},
      {"v", Value("2")},
      {"fields",
       Value("entry(app:control,title,link[@rel='alternate'],media:group,yt:statistics)")}};
  const auto query = NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters);
  if (!query) return nullptr;
  Fetch request{"/feeds/api/videos", *query};
  request.failuresOnMain = true;
  return fetch<std::vector<YouTubeVideoEntry>>(
      std::move(request),
      [](const HttpResponse& response) { return parseSearchResult(response.bodyText()); },
      std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> YouTubeVideoAPI::retrieveCommentsWithVideoID(
    const std::string& videoID, std::function<void(YouTubeVideoCommentEntry)> completion,
    std::function<void(const Error&)> error) {
  Fetch request{"/feeds/api/videos/" + NSHTTPQueryDictionary::urlencode(videoID) + "/comments",
                "alt=json&v=2"};
  request.failuresOnMain = true;
  return fetch<YouTubeVideoCommentEntry>(
      std::move(request),
      [](const HttpResponse& response) { return parseComments(response.bodyText()); },
      std::move(completion), std::move(error));
}

}  // namespace mr
