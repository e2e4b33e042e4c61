#include "external/YouTubeVideoAPI.h"

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"

namespace mr {

namespace {
SharedInstance<YouTubeVideoAPI>& slot() {
  static SharedInstance<YouTubeVideoAPI> instance;
  return instance;
}

uint64_t countAt(const Value& value, std::string_view path) {
  return static_cast<uint64_t>(static_cast<int64_t>(value.intForKeyPath(path, 0)));
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
    return std::make_shared<YouTubeVideoAPI>(env, sharedHttpEngine(), env.config().videoApiBaseUrl);
  });
}

void YouTubeVideoAPI::setSharedInstance(std::shared_ptr<YouTubeVideoAPI> instance) {
  slot().replace(std::move(instance));
}

std::vector<YouTubeVideoEntry> YouTubeVideoAPI::parseSearchResult(const std::string& body) {
  std::vector<YouTubeVideoEntry> entries;
  auto json = parseJson(body);
  if (!json.ok()) return entries;
  if (const Array* found = json->arrayForKeyPath("feed/entry")) {
    for (const auto& entry : *found)
      entries.emplace_back(entry);
  }
  return entries;
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
  Dispatcher& main = env().main();
  return get(
      "/feeds/api/videos", *NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters), true,
      [&main, completion](const HttpResponse& response) {
        auto entries = std::make_shared<std::vector<YouTubeVideoEntry>>(
            parseSearchResult(response.bodyText()));
        if (completion) main.post([completion, entries] { completion(std::move(*entries)); });
      },
      [error](HttpOperation& operation, const Error& failure) {
        if (error && !operation.isCancelled()) error(failure);
      });
}

std::shared_ptr<HttpOperation> YouTubeVideoAPI::retrieveCommentsWithVideoID(
    const std::string& videoID,
    std::function<void(std::optional<YouTubeVideoCommentEntry>)> completion,
    std::function<void(const Error&)> error) {
  Dispatcher& main = env().main();
  return get(
      "/feeds/api/videos/" + NSHTTPQueryDictionary::urlencode(videoID) + "/comments",
      "alt=json&v=2", true,
      [&main, completion](const HttpResponse& response) {
        auto json = parseJson(response.bodyText());
        auto entry = std::make_shared<std::optional<YouTubeVideoCommentEntry>>();
        if (json.ok()) entry->emplace(*json);
        if (completion) main.post([completion, entry] { completion(std::move(*entry)); });
      },
      [error](HttpOperation& operation, const Error& failure) {
        if (error && !operation.isCancelled()) error(failure);
      });
}

}  // namespace mr
