#include "service/MRAPIArtist.h"

#include "base/Json.h"
#include "store/CDArtist.h"

namespace mr {

namespace {

Value textOrNull(const std::string& text) {
  return text.empty() ? Value() : Value(text);
}

// The five sizes, largest first, as the service names them.
void setImages(Value& dictionary, const LastfmImageUrl& images) {
  dictionary.set("imageMega", textOrNull(images.mega));
  dictionary.set("imageExtraLarge", textOrNull(images.extraLarge));
  dictionary.set("imageLarge", textOrNull(images.large));
  dictionary.set("imageMedium", textOrNull(images.medium));
  dictionary.set("imageSmall", textOrNull(images.small));
}

Value stringArray(const std::vector<std::string>& strings) {
  Array array;
  array.reserve(strings.size());
  for (const auto& text : strings)
    array.emplace_back(text);
  return Value(std::move(array));
}

void setIfPresent(Value& dictionary, const char* key, const std::optional<std::string>& text) {
  if (text && !text->empty()) dictionary.set(key, Value(*text));
}

}  // namespace

Value MRAPIArtist::serializeArtistMetaDataWithLastFMArtist(
    const LastfmArtist& artist, const std::optional<std::string>& language) {
  Value dictionary = Value::dictionary();
  dictionary.set("name", Value(artist.name));
  dictionary.set("url", Value(artist.url));
  dictionary.set("mbid", textOrNull(artist.mbid));
  dictionary.set("bioLanguage",
                 Value(language && !language->empty() ? *language : std::string("en")));
  dictionary.set("bioContent", Value(artist.bioContent));
  dictionary.set("bioSummary", Value(artist.bioSummary));
  setImages(dictionary, artist.imageUrl);
  dictionary.set("tags", stringArray(artist.tag));
  dictionary.set("variants", Value::array());
  Array similars;
  similars.reserve(artist.similar.size());
  for (const LastfmArtistSummary& similar : artist.similar) {
    Value entry = Value::dictionary();
    entry.set("name", Value(similar.name));
    entry.set("url", Value(similar.url));
    setImages(entry, similar.imageUrl);
    similars.push_back(std::move(entry));
  }
  dictionary.set("similars", Value(std::move(similars)));
  return dictionary;
}

std::string MRAPIArtist::makeArtistParameterWithLastFMArtist(
    const LastfmArtist& artist, const std::optional<std::string>& language) {
  return toJson(serializeArtistMetaDataWithLastFMArtist(artist, language));
}

std::string MRAPIArtist::makeArtistParameterWithCoreDataArtist(
    const CDArtist& artist, const std::optional<std::string>& language) {
  Value dictionary = Value::dictionary();
  setIfPresent(dictionary, "name", artist.name());
  setIfPresent(dictionary, "url", artist.url());
  setIfPresent(dictionary, "mbid", artist.mbid());
  setIfPresent(dictionary, "bioLanguage", language);
  setIfPresent(dictionary, "bioContent", artist.bioContent());
  setIfPresent(dictionary, "bioSummary", artist.bioSummary());
  setIfPresent(dictionary, "imageMega", artist.imageMega());
  setIfPresent(dictionary, "imageExtraLarge", artist.imageExtraLarge());
  setIfPresent(dictionary, "imageLarge", artist.imageLarge());
  setIfPresent(dictionary, "imageMedium", artist.imageMedium());
  setIfPresent(dictionary, "imageSmall", artist.imageSmall());
  std::vector<std::string> tags;
  for (const auto& tag : artist.tags()) {
    if (auto text = tag->tag(); text && !text->empty()) tags.push_back(*text);
  }
  dictionary.set("tags", stringArray(tags));
  std::vector<std::string> variants;
  for (const auto& variant : artist.variants()) {
    if (auto name = variant->name(); name && !name->empty()) variants.push_back(*name);
  }
  dictionary.set("variants", stringArray(variants));
  return toJson(dictionary);
}

std::shared_ptr<HttpOperation> MRAPIArtist::updateWithInfoParam(const std::string& artistJson,
                                                                UpdateCompletion completion,
                                                                MRAPIErrorBlock error) const {
  return post("artist/update", Dictionary{{"artist", Value(artistJson)}},
              answer(std::move(completion),
                     [](const UpdateCompletion& done, const ovloRequestResponse& response) {
                       const auto& body = response.responseJSON;
                       if (!body || !body->isDictionary()) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(true, body->stringForKey("waid"));
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIArtist::updateWithLastFMArtist(
    const LastfmArtist& artist, const std::optional<std::string>& language,
    UpdateCompletion completion, MRAPIErrorBlock error) const {
  return updateWithInfoParam(makeArtistParameterWithLastFMArtist(artist, language),
                             std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIArtist::updateWithCoreDataArtist(
    const CDArtist& artist, const std::optional<std::string>& language, UpdateCompletion completion,
    MRAPIErrorBlock error) const {
  return updateWithInfoParam(makeArtistParameterWithCoreDataArtist(artist, language),
                             std::move(completion), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIArtist::getWithWaid(const std::string& waid,
                                                        const std::optional<Value>& fields,
                                                        ArtistCompletion completion,
                                                        MRAPIErrorBlock error) const {
  return post("artist/get_with_waid",
              Dictionary{{"waid", Value(waid)}, {"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion),
                     [](const ArtistCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       if (!envelope || !envelope->result || !envelope->result->isDictionary()) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(envelope->successful(), MRArtistDocument(*envelope->result));
                     }),
              std::move(error));
}

}  // namespace mr
