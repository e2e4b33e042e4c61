#include "external/iTunesSearchAPI.h"

#include "base/Json.h"
#include "base/NSHTTPQueryDictionary.h"
#include "base/StringAdditions.h"
#include "base/SystemLocale.h"

namespace mr {

namespace {
SharedInstance<iTunesSearchAPI>& slot() {
  static SharedInstance<iTunesSearchAPI> instance;
  return instance;
}

constexpr const char* kService = "iTunes Search";

uint64_t idOf(const Value& result, std::string_view key) {
  return result.unsignedIntegerForKey(key, 0);
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}
}  // namespace

iTunesEntry::iTunesEntry(const Value& result) {
  wrapperType = result.stringForKey("wrapperType", "");
  kind = result.stringForKey("kind", "");
  artistName = result.stringForKey("artistName", "");
  collectionName = result.stringForKey("collectionName", "");
  trackName = result.stringForKey("trackName", "");
  previewUrl = result.stringForKey("previewUrl", "");
  artworkUrl100 = result.stringForKey("artworkUrl100", "");
  trackViewUrl = result.stringForKey("trackViewUrl", "");
  collectionViewUrl = result.stringForKey("collectionViewUrl", "");
  trackId = idOf(result, "trackId");
  collectionId = idOf(result, "collectionId");
  artistId = idOf(result, "artistId");
  primaryGenreName = result.stringForKey("primaryGenreName", "");
  primaryGenreId = idOf(result, "primaryGenreId");
  trackCount = idOf(result, "trackCount");
  // The service writes the hour on a 24-hour clock; read it so, whatever the hour.
  if (const auto text = result.stringForKey("releaseDate")) releaseDate = parseISO8601(*text);
  artworkUrl200 = replaceAll(artworkUrl100, "100", "200");
}

std::shared_ptr<iTunesSearchAPI> iTunesSearchAPI::sharedInstance() {
  return slot().get([] {
    const Env& env = Env::defaultEnv();
    return std::make_shared<iTunesSearchAPI>(env, sharedHttpEngine(),
                                             env.config().itunesSearchBaseUrl);
  });
}

void iTunesSearchAPI::setSharedInstance(std::shared_ptr<iTunesSearchAPI> instance) {
  slot().replace(std::move(instance));
}

Result<std::vector<iTunesEntry>> iTunesSearchAPI::parseResultData(const std::string& body) {
  auto json = parseJson(body);
  if (!json.ok()) return malformedAnswerError(kService, json.error().description());
  if (!json->isDictionary()) return malformedAnswerError(kService, "not a JSON object");
  const Array* results = json->arrayForKey("results");
  if (results == nullptr) return malformedAnswerError(kService, "no \"results\" array");
  std::vector<iTunesEntry> entries;
  for (const auto& result : *results) {
    if (result.isDictionary()) entries.emplace_back(result);
  }
  return entries;
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::invoke(const std::string& path,
                                                       const Dictionary& parameters,
                                                       iTunesCompletion completion,
                                                       iTunesFailure failure) {
  const auto query = NSHTTPQueryDictionary::buildHTTPQueryFromDictionary(parameters);
  if (!query) return nullptr;
  return fetch<std::vector<iTunesEntry>>(
      Fetch{path, *query},
      [](const HttpResponse& response) { return parseResultData(response.bodyText()); },
      std::move(completion), std::move(failure));
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::searchWithArtist(
    const std::string& artist, const std::string& title, const std::optional<std::string>& country,
    iTunesCompletion completion, iTunesFailure failure) {
  return invoke("/search",
                Dictionary{{"term", Value(artist + " " + title)},
                           {"country", Value(country.value_or(currentRegionCode()))},
                           {"entity", Value("song")}},
                std::move(completion), std::move(failure));
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::searchMusicArtistWithArtist(
    const std::string& artist, const std::optional<std::string>& country,
    iTunesCompletion completion, iTunesFailure failure) {
  return invoke("/search",
                Dictionary{{"term", Value(artist)},
                           {"country", Value(country.value_or(currentRegionCode()))},
                           {"limit", Value(10)},
                           {"entity", Value("musicArtist")}},
                std::move(completion), std::move(failure));
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::lookupWithId(
    uint64_t id, const std::optional<std::string>& entity,
    const std::optional<std::string>& country, iTunesCompletion completion, iTunesFailure failure) {
  Dictionary parameters{{"id", Value(std::to_string(id))},
                        {"country", Value(country.value_or(currentRegionCode()))},
                        {"sort", Value("recent")}};
  if (entity) parameters.set("entity", Value(*entity));
  return invoke("/lookup", parameters, std::move(completion), std::move(failure));
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::searchWithParameters(const Dictionary& parameters,
                                                                     iTunesCompletion completion,
                                                                     iTunesFailure failure) {
  return invoke("/search", parameters, std::move(completion), std::move(failure));
}

std::shared_ptr<HttpOperation> iTunesSearchAPI::lookupWithParameters(const Dictionary& parameters,
                                                                     iTunesCompletion completion,
                                                                     iTunesFailure failure) {
  return invoke("/lookup", parameters, std::move(completion), std::move(failure));
}

}  // namespace mr
