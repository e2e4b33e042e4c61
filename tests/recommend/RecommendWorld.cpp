#include "recommend/RecommendWorld.h"

#include "base/Json.h"

namespace mr::test {
namespace {

std::string xmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string lastfmError(int code, const std::string& message) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"failed\"><error code=\"" +
         std::to_string(code) + "\">" + message + "</error></lfm>";
}

std::string images(const std::string& key) {
  return "<image size=\"small\">http://img.test/34/" + key +
         ".png</image><image size=\"medium\">http://img.test/64/" + key +
         ".png</image><image size=\"large\">http://img.test/174/" + key +
         ".png</image><image size=\"extralarge\">http://img.test/300/" + key + ".png</image>";
}

}  // namespace

RecommendWorld::RecommendWorld()
    : server_([this](const httplib::Request& request, httplib::Response& response) {
        answer(request, response);
      }) {
  store =
      *Database::open(testEnv.dir().path() + "/" + Database::kFileName, Database::OpenMode::AsIs);
  engine_ =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  network = MRNetworkOperationQueue::create(testEnv.reachability());
  parts.env = &testEnv.env();
  parts.store = store;
  parts.networkQueue = network;
  parts.lastfm = std::make_shared<LastfmAPI>(testEnv.env(), engine_, server_.baseUrl(), "key");
  parts.sites =
      MRPreviewSites{std::make_shared<iTunesSearchAPI>(testEnv.env(), engine_, server_.baseUrl()),
                     std::make_shared<YouTubeVideoAPI>(testEnv.env(), engine_, server_.baseUrl(),
                                                       server_.baseUrl()),
                     [] { return std::string("us"); }};
  parts.language = [] { return std::string("en"); };
  queue_ = std::make_shared<OperationQueue>("test", 4);
}

RecommendWorld::~RecommendWorld() {
  holdSimilarAnswers(false);
  queue_->cancelAllOperations();
  network->cancelAllOperations();
  // The operations' callbacks post to the main loop: keep it turning until
  // they are done.
  testEnv.pumpUntil(
      [this] { return queue_->operationCount() == 0 && network->operationCount() == 0; });
}

void RecommendWorld::addArtist(const std::string& name, std::vector<std::string> tags,
                               const std::vector<std::string>& misspellings) {
  std::lock_guard guard(mutex_);
  // Last.fm corrects a misspelling to the canonical name.
  for (const auto& spelling : misspellings)
    artists_[CDUtility::artistItemHashWithArtist(spelling)] = {name, tags};
  artists_[CDUtility::artistItemHashWithArtist(name)] = {name, std::move(tags)};
}

void RecommendWorld::setSimilar(const std::string& title, const std::string& artist,
                                std::vector<Candidate> candidates) {
  std::lock_guard guard(mutex_);
  similar_[CDUtility::itemHashWithTitle(title, artist)] = std::move(candidates);
}

int RecommendWorld::requestsFor(const std::string& what) const {
  int count = 0;
  for (const auto& request : server_.requests()) {
    auto method = request.query.find("method");
    if (request.path == what || (method != request.query.end() && method->second == what)) ++count;
  }
  return count;
}

std::vector<std::string> RecommendWorld::searchedTerms() const {
  std::vector<std::string> terms;
  for (const auto& request : server_.requests()) {
    if (request.path == "/search") terms.push_back(request.query.at("term"));
  }
  return terms;
}

bool RecommendWorld::run(const std::shared_ptr<Operation>& operation) {
  queue_->addOperation(operation);
  return testEnv.pumpUntil([&operation] { return operation->isFinished(); });
}

void RecommendWorld::holdSimilarAnswers(bool hold) {
  {
    std::lock_guard guard(mutex_);
    holdingSimilar_ = hold;
  }
  similarReleased_.notify_all();
}

void RecommendWorld::answer(const httplib::Request& request, httplib::Response& response) {
  std::unique_lock guard(mutex_);
  if (request.path == "/2.0/") {
    const std::string method = request.get_param_value("method");
    if (method == "track.getSimilar") similarReleased_.wait(guard, [this] { return !holdingSimilar_; });
    const std::string artist = request.get_param_value("artist");
    auto known = artists_.find(CDUtility::artistItemHashWithArtist(artist));
    if (method == "artist.getInfo" || method == "artist.getTopTracks") {
      if (known == artists_.end()) {
        response.status = 400;
        response.set_content(lastfmError(6, "The artist you supplied could not be found"),
                             "text/xml");
        return;
      }
      const std::string& name = known->second.first;
      std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"ok\">";
      if (method == "artist.getInfo") {
        const std::string key = CDUtility::artistItemHashWithArtist(name);
        body += "<artist><name>" + xmlEscape(name) + "</name><url>http://lastfm.test/" + key +
                "</url>" + images(key) + "<tags>";
        for (const auto& tag : known->second.second)
          body += "<tag><name>" + xmlEscape(tag) + "</name></tag>";
        body += "</tags><bio><summary>About " + xmlEscape(name) + "</summary></bio></artist>";
      } else {
        body += "<toptracks artist=\"" + xmlEscape(name) + "\">";
        for (int i = 1; i <= 5; ++i) {
          body += "<track rank=\"" + std::to_string(i) + "\"><name>" + xmlEscape(name) + " hit " +
                  std::to_string(i) + "</name><artist><name>" + xmlEscape(name) +
                  "</name></artist></track>";
        }
        body += "</toptracks>";
      }
      response.set_content(body + "</lfm>", "text/xml");
      return;
    }
    if (method == "track.getSimilar" && outageRequests > 0) {
      --outageRequests;
      response.status = 503;
      response.set_content("Service Unavailable", "text/plain");
      return;
    }
    if (method == "track.getSimilar" && garbled.count(request.get_param_value("track")) != 0) {
      response.set_content("<html><body>Bad Gateway</body></html>", "text/html");
      return;
    }
    if (method == "track.getSimilar") {
      const auto found =
          similar_.find(CDUtility::itemHashWithTitle(request.get_param_value("track"), artist));
      std::string body =
          "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"ok\"><similartracks>";
      if (found != similar_.end()) {
        for (const Candidate& candidate : found->second) {
          body += "<track><name>" + xmlEscape(candidate.title) +
                  "</name><match>0.5</match><artist><name>" + xmlEscape(candidate.artist) +
                  "</name></artist>" +
                  (candidate.lastfmImage
                       ? images(CDUtility::itemHashWithTitle(candidate.title, candidate.artist))
                       : "") +
                  "</track>";
        }
      }
      response.set_content(body + "</similartracks></lfm>", "text/xml");
      return;
    }
    response.status = 400;
    response.set_content(lastfmError(3, "Invalid Method"), "text/xml");
  } else if (request.path == "/search") {
    const std::string term = request.get_param_value("term");
    for (const auto& title : storeDown) {
      if (term.ends_with(" " + title)) {
        response.status = 503;
        return;
      }
    }
    Value results = Value::array();
    bool listed = true;
    for (const auto& title : withoutPreview)
      listed = listed && !term.ends_with(" " + title);
    if (listed) {
      const std::string key = CDUtility::normalize(term);
      results.append(
          Value(Dictionary{{"wrapperType", Value("track")},
                           {"kind", Value("song")},
                           {"trackName", Value(term)},
                           {"previewUrl", Value("http://audio.test/" + key + ".m4a")},
                           {"artworkUrl100", Value("http://art.test/" + key + "/100x100bb.jpg")},
                           {"primaryGenreName", Value("Rock")}}));
    }
    response.set_content(toJson(Value(Dictionary{{"resultCount", Value(results.asArray()->size())},
                                                 {"results", results}})),
                         "application/json");
  } else if (request.path == "/feeds/api/videos") {
    const std::string q = request.get_param_value("q");
    Value entries = Value::array();
    for (const auto& title : withVideo) {
      if (!q.starts_with(title + " ")) continue;
      const std::string artist = q.substr(title.size() + 1);
      entries.append(Value(Dictionary{
          {"title", Value(Dictionary{{"$t", Value(artist + " - " + title)}})},
          {"link", Value(Array{Value(Dictionary{{"href", Value("http://video.test/watch?v=1")}})})},
          {"media$group",
           Value(Dictionary{
               {"media$category", Value(Array{Value(Dictionary{{"$t", Value("Music")}})})},
               {"yt$videoid", Value(Dictionary{{"$t", Value("1")}})}})}}));
    }
    response.set_content(toJson(Value(Dictionary{{"feed", Value(Dictionary{{"entry", entries}})}})),
                         "application/json");
  } else {
    response.status = 404;
  }
}

}  // namespace mr::test
