#include "playback/MixWorld.h"

#include "base/Json.h"
#include "model/CDUtility.h"

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

std::string keyOf(const std::string& title) {
  return CDUtility::itemHashWithTitle(title, "");
}

std::string trackElement(const WorldTrack& track) {
  std::string xml = "<track><name>" + xmlEscape(track.title) + "</name><artist><name>" +
                    xmlEscape(track.artist) + "</name></artist>";
  if (track.lastfmImage) {
    const std::string key = keyOf(track.title);
    xml += "<image size=\"small\">http://img.test/34/" + key +
           ".png</image><image size=\"medium\">http://img.test/64/" + key +
           ".png</image><image size=\"large\">http://img.test/174/" + key +
           ".png</image><image size=\"extralarge\">http://img.test/300/" + key + ".png</image>";
  } else {
    // Last.fm lists the sizes without addresses.
    xml += "<image size=\"small\"></image><image size=\"medium\"></image>";
  }
  return xml + "</track>";
}

// A watch page holding the stream map the way the site embeds it.
std::string watchPage(const std::string& streamUrl) {
  std::string json =
      R"({"content": {"video": {"fmt_stream_map": [{"url": ")" + streamUrl + R"("}]}}})";
  std::string escaped;
  for (char c : json)
    escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return "<html><script>ls.setItem('PIGGYBACK_DATA', \")]}'" + escaped + "\");</script></html>";
}

}  // namespace

void RecordingViewDelegate::playlistHasNewTrack(MRPlaylist& playlist,
                                                const std::shared_ptr<MRPlaylistTrackItem>& item,
                                                size_t index) {
  std::lock_guard guard(mutex_);
  allOnMain_ = allOnMain_ && main_.isCurrentThread();
  calls_.push_back(Call{item, index, playlist.numberOfTracks() - 1});
}

std::vector<RecordingViewDelegate::Call> RecordingViewDelegate::calls() const {
  std::lock_guard guard(mutex_);
  return calls_;
}

std::vector<std::string> titlesOf(const MRPlaylist& playlist) {
  std::vector<std::string> titles;
  for (const auto& item : playlist.tracks())
    titles.push_back(item->title);
  return titles;
}

MixWorld::MixWorld()
    : server_([this](const httplib::Request& request, httplib::Response& response) {
        answer(request, response);
      }) {
  store =
      *Database::open(testEnv.dir().path() + "/" + Database::kFileName, Database::OpenMode::AsIs);
  engine_ =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  network = MRNetworkOperationQueue::create(testEnv.reachability());
  serviceQueue = MRServiceOperationQueue::create(testEnv.env());
  MRRecommendParts& recommend = parts.recommend;
  recommend.env = &testEnv.env();
  recommend.store = store;
  recommend.networkQueue = network;
  recommend.lastfm = std::make_shared<LastfmAPI>(testEnv.env(), engine_, server_.baseUrl(), "key");
  recommend.sites =
      MRPreviewSites{std::make_shared<iTunesSearchAPI>(testEnv.env(), engine_, server_.baseUrl()),
                     std::make_shared<YouTubeVideoAPI>(testEnv.env(), engine_, server_.baseUrl(),
                                                       server_.baseUrl()),
                     [] { return std::string("us"); }};
  recommend.language = [] { return std::string("en"); };
  parts.serviceQueue = serviceQueue;
  parts.favoriteCacheFolder = testEnv.dir().file("FavoriteTrack");
}

MixWorld::~MixWorld() {
  releaseAll();
  serviceQueue->cancelAllOperations();
  network->cancelAllOperations();
  // The operations' callbacks post to the main loop: keep it turning until
  // they are done.
  testEnv.pumpUntil(
      [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
  testEnv.dispatcher().pump();
}

void MixWorld::setTrack(const WorldTrack& track) {
  std::lock_guard guard(mutex_);
  tracks_[track.title] = track;
}

void MixWorld::setTopTracks(const std::string& artist, const std::vector<WorldTrack>& tracks) {
  std::vector<std::string> titles;
  for (const auto& track : tracks) {
    setTrack(track);
    titles.push_back(track.title);
  }
  std::lock_guard guard(mutex_);
  topTracks_[CDUtility::artistItemHashWithArtist(artist)] = std::move(titles);
}

void MixWorld::setSimilar(const std::string& title, const std::string& artist,
                          const std::vector<WorldTrack>& tracks) {
  std::vector<std::string> titles;
  for (const auto& track : tracks) {
    setTrack(track);
    titles.push_back(track.title);
  }
  std::lock_guard guard(mutex_);
  similar_[CDUtility::itemHashWithTitle(title, artist)] = std::move(titles);
}

void MixWorld::setLookup(uint64_t collectionId, std::string resultsJson) {
  std::lock_guard guard(mutex_);
  lookups_[collectionId] = std::move(resultsJson);
}

void MixWorld::breakWatchPage(const std::string& title) {
  std::lock_guard guard(mutex_);
  brokenPages_.insert(title);
}

void MixWorld::hold(const std::string& title) {
  std::lock_guard guard(mutex_);
  held_.insert(title);
}

void MixWorld::release(const std::string& title) {
  std::lock_guard guard(mutex_);
  held_.erase(title);
  gate_.notify_all();
}

void MixWorld::releaseAll() {
  std::lock_guard guard(mutex_);
  held_.clear();
  gate_.notify_all();
}

void MixWorld::waitAtGate(const std::string& title) {
  std::unique_lock lock(mutex_);
  gate_.wait(lock, [&] { return held_.count(title) == 0; });
}

std::string MixWorld::watchUrl(const std::string& title) const {
  return server_.baseUrl() + "/watch?v=" + keyOf(title);
}

std::string MixWorld::streamUrl(const std::string& title) {
  return "http://stream.test/" + keyOf(title);
}

int MixWorld::requestsFor(const std::string& what) const {
  int count = 0;
  for (const auto& request : server_.requests()) {
    auto method = request.query.find("method");
    if (request.path == what || (method != request.query.end() && method->second == what)) ++count;
  }
  return count;
}

bool MixWorld::run(const std::shared_ptr<MRPlaylistBuildOperation>& mix) {
  mix->loadTracks(*serviceQueue);
  return testEnv.pumpUntil([&mix] { return mix->isFinished(); });
}

void MixWorld::answer(const httplib::Request& request, httplib::Response& response) {
  if (request.path == "/2.0/") {
    const std::string method = request.get_param_value("method");
    const std::string artist = request.get_param_value("artist");
    std::vector<WorldTrack> listed;
    bool known = false;
    {
      std::lock_guard guard(mutex_);
      const std::vector<std::string>* titles = nullptr;
      if (method == "artist.getTopTracks") {
        auto found = topTracks_.find(CDUtility::artistItemHashWithArtist(artist));
        if (found != topTracks_.end()) titles = &found->second;
      } else if (method == "track.getSimilar") {
        auto found =
            similar_.find(CDUtility::itemHashWithTitle(request.get_param_value("track"), artist));
        if (found != similar_.end()) titles = &found->second;
      }
      if (titles != nullptr) {
        known = true;
        for (const auto& title : *titles)
          listed.push_back(tracks_.at(title));
      }
    }
    if (!known) {
      response.status = 400;
      response.set_content(method == "track.getSimilar"
                               ? lastfmError(6, "Track not found")
                               : lastfmError(6, "The artist you supplied could not be found"),
                           "text/xml");
      return;
    }
    const std::string list = method == "track.getSimilar" ? "similartracks" : "toptracks";
    std::string body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<lfm status=\"ok\"><" + list +
                       " artist=\"" + xmlEscape(artist) + "\">";
    for (const auto& track : listed)
      body += trackElement(track);
    response.set_content(body + "</" + list + "></lfm>", "text/xml");
    return;
  }

  if (request.path == "/search") {
    const std::string term = request.get_param_value("term");
    std::optional<WorldTrack> track;
    {
      std::lock_guard guard(mutex_);
      for (const auto& [title, candidate] : tracks_) {
        if (candidate.artist + " " + title == term) track = candidate;
      }
    }
    if (track) waitAtGate(track->title);
    Value results = Value::array();
    if (track && track->store) {
      const std::string key = keyOf(track->title);
      results.append(
          Value(Dictionary{{"wrapperType", Value("track")},
                           {"kind", Value("song")},
                           {"artistName", Value(track->artist)},
                           {"trackName", Value(track->title)},
                           {"previewUrl", Value("http://audio.test/" + key + ".m4a")},
                           {"artworkUrl100", Value("http://art.test/" + key + "/100x100bb.jpg")}}));
    }
    response.set_content(toJson(Value(Dictionary{{"resultCount", Value(results.asArray()->size())},
                                                 {"results", results}})),
                         "application/json");
    return;
  }

  if (request.path == "/feeds/api/videos") {
    const std::string q = request.get_param_value("q");
    Value entries = Value::array();
    std::lock_guard guard(mutex_);
    for (const auto& [title, track] : tracks_) {
      if (!track.video || q != title + " " + track.artist) continue;
      const std::string key = keyOf(title);
      entries.append(Value(Dictionary{
          {"title", Value(Dictionary{{"$t", Value(track.artist + " - " + title)}})},
          {"link",
           Value(Array{Value(Dictionary{{"href", Value(server_.baseUrl() + "/watch?v=" + key)}})})},
          {"media$group",
           Value(Dictionary{
               {"media$category", Value(Array{Value(Dictionary{{"$t", Value("Music")}})})},
               {"yt$videoid", Value(Dictionary{{"$t", Value(key)}})}})}}));
    }
    response.set_content(toJson(Value(Dictionary{{"feed", Value(Dictionary{{"entry", entries}})}})),
                         "application/json");
    return;
  }

  if (request.path == "/watch") {
    const std::string key = request.get_param_value("v");
    std::optional<std::string> title;
    bool broken = false;
    {
      std::lock_guard guard(mutex_);
      for (const auto& [name, track] : tracks_) {
        if (track.video && keyOf(name) == key) title = name;
      }
      broken = title && brokenPages_.count(*title) != 0;
    }
    if (!title) {
      response.status = 404;
      return;
    }
    waitAtGate(*title);
    response.set_content(
        broken ? "<html>This video is unavailable.</html>" : watchPage(streamUrl(*title)),
        "text/html");
    return;
  }

  if (request.path == "/lookup") {
    std::string results = "[]";
    {
      std::lock_guard guard(mutex_);
      auto found = lookups_.find(std::stoull(request.get_param_value("id")));
      if (found != lookups_.end()) results = found->second;
    }
    response.set_content(R"({"resultCount": 0, "results": )" + results + "}", "application/json");
    return;
  }
  response.status = 404;
}

}  // namespace mr::test
