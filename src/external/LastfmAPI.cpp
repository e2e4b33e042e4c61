#include "external/LastfmAPI.h"

#include "base/Localization.h"
#include "base/Log.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/XMLReader.h"

namespace mr {

namespace {
SharedInstance<LastfmAPI>& slot() {
  static SharedInstance<LastfmAPI> instance;
  return instance;
}

std::string flag(bool value) {
  return value ? "1" : "0";
}

constexpr const char* kService = "Last.fm";

// The service's error in a parsed answer, when it holds one.
std::optional<Error> errorIn(const Value& root) {
  const Value* lfm = root.get("lfm");
  if (lfm == nullptr || !lfm->isDictionary()) return std::nullopt;
  const Value* error = lfm->get("error");
  if (error == nullptr || !error->isDictionary()) return std::nullopt;
  const std::string text(trimWhitespace(error->stringForKey("text", "")));
  const int32_t code = error->intForKey("code", 0);
  return Error(kLastfmErrorDomain, code, localizedString(text, text));
}

// The parsed answer: an <lfm> document that is not a failure.
Result<Value> answerOf(const std::string& xml) {
  auto root = XMLReader::dictionaryForXMLString(xml);
  if (!root.ok()) return malformedAnswerError(kService, root.error().description());
  const Value* lfm = root->get("lfm");
  if (lfm == nullptr || !lfm->isDictionary()) return malformedAnswerError(kService, "no <lfm>");
  if (lfm->stringForKey("status", "") == "failed") {
    if (auto error = errorIn(*root)) return *error;
    return malformedAnswerError(kService, "a failure without its error");
  }
  return std::move(root).value();
}

// The dictionaries at `listPath`, when the element holding them is there.
Result<std::vector<const Value*>> membersOf(const Value& root, std::string_view listPath) {
  const std::string_view container = listPath.substr(0, listPath.rfind('/'));
  const Value* holder = root.objectForKeyPath(container);
  if (holder == nullptr || !holder->isDictionary()) {
    return malformedAnswerError(kService, "no " + std::string(container));
  }
  return root.membersForKeyPath(listPath);
}

}  // namespace

LastfmAPI::LastfmAPI(const Env& env, std::shared_ptr<HttpEngine> engine, std::string baseUrl,
                     std::string apiKey)
    : ExternalEngine(env, std::move(engine), std::move(baseUrl)), apiKey_(std::move(apiKey)) {}

std::shared_ptr<LastfmAPI> LastfmAPI::sharedInstance() {
  return slot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<LastfmAPI>(env, sharedHttpEngine(), env.config().lastfmBaseUrl,
                                       env.config().lastfmApiKey);
  });
}

void LastfmAPI::setSharedInstance(std::shared_ptr<LastfmAPI> instance) {
  slot().replace(std::move(instance));
}

std::string LastfmAPI::fixLanguageCode(const std::string& language) {
  return language == "ja" ? "jp" : language;
}

std::optional<Error> LastfmAPI::parseErrorResponse(const std::string& body) {
  auto root = XMLReader::dictionaryForXMLString(body);
  if (!root.ok()) return std::nullopt;
  return errorIn(*root);
}

void LastfmAPI::waitUntilRequestable() {
  // Each caller takes the next free slot, so any number of callers at once
  // leave 0.3 s between releases.
  Duration wait{};
  {
    std::lock_guard guard(spacingMutex_);
    const SteadyTime now = env().clock().now();
    const SteadyTime release = std::max(now, nextRelease_);
    nextRelease_ = release + seconds(kRequestInterval);
    ++requestCount_;
    wait = release - now;
  }
  if (wait > Duration::zero()) env().clock().sleepFor(wait);
}

template <class R>
std::shared_ptr<HttpOperation> LastfmAPI::call(Dictionary parameters,
                                               std::function<Result<R>(const std::string&)> parse,
                                               std::function<void(R)> completion,
                                               LastfmErrorBlock error) {
  waitUntilRequestable();
  parameters.set("api_key", Value(apiKey_));
  const auto query = NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters);
  if (!query) return nullptr;
  Fetch request{"/2.0/", *query};
  request.describeFailure = [](HttpOperation& operation, const Error& failure) {
    return parseErrorResponse(operation.response().bodyText()).value_or(failure);
  };
  return fetch<R>(
      std::move(request),
      [parse = std::move(parse)](const HttpResponse& response) {
        return parse(response.bodyText());
      },
      std::move(completion), std::move(error));
}

Result<LastfmArtist> LastfmAPI::parseArtistInfo(const std::string& xml) {
  auto root = answerOf(xml);
  if (!root.ok()) return root.error();
  const Value* artist = root->objectForKeyPath("lfm/artist");
  if (artist == nullptr || !artist->isDictionary())
    return malformedAnswerError(kService, "no lfm/artist");
  return LastfmArtist(*artist);
}

Result<LastfmTrack> LastfmAPI::parseTrackInfo(const std::string& xml) {
  auto root = answerOf(xml);
  if (!root.ok()) return root.error();
  const Value* track = root->objectForKeyPath("lfm/track");
  if (track == nullptr || !track->isDictionary())
    return malformedAnswerError(kService, "no lfm/track");
  return LastfmTrack(*track);
}

Result<std::vector<LastfmTrack>> LastfmAPI::parseTrackList(const std::string& xml,
                                                           const char* listPath) {
  auto root = answerOf(xml);
  if (!root.ok()) return root.error();
  auto members = membersOf(*root, listPath);
  if (!members.ok()) return members.error();
  std::vector<LastfmTrack> tracks;
  for (const Value* member : *members)
    tracks.emplace_back(*member);
  return tracks;
}

Result<std::vector<LastfmArtist>> LastfmAPI::parseArtistList(const std::string& xml,
                                                             const char* listPath) {
  auto root = answerOf(xml);
  if (!root.ok()) return root.error();
  auto members = membersOf(*root, listPath);
  if (!members.ok()) return members.error();
  std::vector<LastfmArtist> artists;
  for (const Value* member : *members)
    artists.emplace_back(*member);
  return artists;
}

std::shared_ptr<HttpOperation> LastfmAPI::requestArtist_GetInfoByName(
    const std::string& name, const std::string& language, bool autocorrect,
    std::function<void(LastfmArtist)> completion, LastfmErrorBlock error) {
  return call<LastfmArtist>(Dictionary{{"method", Value("artist.getInfo")},
                                       {"artist", Value(name)},
                                       {"lang", Value(fixLanguageCode(language))},
                                       {"autocorrect", Value(flag(autocorrect))}},
                            &LastfmAPI::parseArtistInfo, std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> LastfmAPI::requestArtist_GetTopTracks(
    const std::string& name, bool autocorrect, int page, int limit,
    std::function<void(std::vector<LastfmTrack>)> completion, LastfmErrorBlock error) {
  return call<std::vector<LastfmTrack>>(
      Dictionary{{"method", Value("artist.getTopTracks")},
                 {"artist", Value(name)},
                 {"autocorrect", Value(flag(autocorrect))},
                 {"page", Value(std::to_string(page == 0 ? 1 : page))},
                 {"limit", Value(std::to_string(limit == 0 ? 50 : limit))}},
      [](const std::string& xml) { return parseTrackList(xml, "lfm/toptracks/track"); },
      std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> LastfmAPI::requestArtist_searchWithArtistName(
    const std::string& name, int limit, std::function<void(std::vector<LastfmArtist>)> completion,
    LastfmErrorBlock error) {
  Dictionary parameters{{"method", Value("artist.search")}, {"artist", Value(name)}};
  if (limit > 0) parameters.set("limit", Value(std::to_string(limit)));
  return call<std::vector<LastfmArtist>>(
      std::move(parameters),
      [](const std::string& xml) {
        return parseArtistList(xml, "lfm/results/artistmatches/artist");
      },
      std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> LastfmAPI::requestArtist_GetSimilarWithName(
    const std::string& name, int limit, bool autocorrect,
    std::function<void(std::vector<LastfmArtist>)> completion, LastfmErrorBlock error) {
  Dictionary parameters{{"method", Value("artist.getsimilar")},
                        {"artist", Value(name)},
                        {"autocorrect", Value(flag(autocorrect))}};
  if (limit != 0) parameters.set("limit", Value(std::to_string(limit)));
  return call<std::vector<LastfmArtist>>(
      std::move(parameters),
      [](const std::string& xml) { return parseArtistList(xml, "lfm/similarartists/artist"); },
      std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> LastfmAPI::requestTrack_GetInfoByName(
    const std::string& track, const std::string& artist, bool autocorrect,
    std::function<void(LastfmTrack)> completion, LastfmErrorBlock error) {
  return call<LastfmTrack>(Dictionary{{"method", Value("track.getInfo")},
                                      {"track", Value(track)},
                                      {"artist", Value(artist)},
                                      {"autocorrect", Value(flag(autocorrect))}},
                           &LastfmAPI::parseTrackInfo, std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> LastfmAPI::requestTrack_GetSimilar(
    const std::string& track, const std::string& artist, bool autocorrect, int limit,
    std::function<void(std::vector<LastfmTrack>)> completion, LastfmErrorBlock error) {
  return call<std::vector<LastfmTrack>>(
      Dictionary{{"method", Value("track.getSimilar")},
                 {"track", Value(track)},
                 {"artist", Value(artist)},
                 {"limit", Value(std::to_string(limit == 0 ? 250 : limit))},
                 {"autocorrect", Value(flag(autocorrect))}},
      [](const std::string& xml) { return parseTrackList(xml, "lfm/similartracks/track"); },
      std::move(completion), std::move(error));
}

}  // namespace mr
