// Artists on the Mirelune service: telling it what the client knows of an
// artist, and reading its artist documents. Also the artist JSON that the
// track and mix calls send.
#pragma once

#include <optional>
#include <string>

#include "model/LastfmArtist.h"
#include "model/MRArtistDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class CDArtist;

class MRAPIArtist : public MRAPIEndpoint {
 public:
  // (true, the answer's "waid" or none) when the body is a JSON object,
  // (false, none) otherwise: this call answers without an envelope.
  using UpdateCompletion =
      std::function<void(bool success, const std::optional<std::string>& waid)>;
  // (success, the artist) when the result is a dictionary, else (false, none).
  using ArtistCompletion =
      std::function<void(bool success, const std::optional<MRArtistDocument>& artist)>;

  explicit MRAPIArtist(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "artist/update" with the artist JSON text as "artist".
  std::shared_ptr<HttpOperation> updateWithInfoParam(const std::string& artistJson,
                                                     UpdateCompletion completion,
                                                     MRAPIErrorBlock error) const;
  std::shared_ptr<HttpOperation> updateWithLastFMArtist(const LastfmArtist& artist,
                                                        const std::optional<std::string>& language,
                                                        UpdateCompletion completion,
                                                        MRAPIErrorBlock error) const;
  std::shared_ptr<HttpOperation> updateWithCoreDataArtist(
      const CDArtist& artist, const std::optional<std::string>& language,
      UpdateCompletion completion, MRAPIErrorBlock error) const;

  // "artist/get_with_waid".
  std::shared_ptr<HttpOperation> getWithWaid(const std::string& waid,
                                             const std::optional<Value>& fields,
                                             ArtistCompletion completion,
                                             MRAPIErrorBlock error) const;

  // The service's artist dictionary from a Last.fm artist, members in this
  // order: "name", "url" ("" when empty), "mbid" (null when empty),
  // "bioLanguage" (the language, "en" when none or empty), "bioContent",
  // "bioSummary" ("" when empty), "imageMega", "imageExtraLarge",
  // "imageLarge", "imageMedium", "imageSmall" (null when empty), "tags",
  // "variants" (always empty) and "similars" (name, url and the five images
  // of each similar artist, by the same rules).
  static Value serializeArtistMetaDataWithLastFMArtist(const LastfmArtist& artist,
                                                       const std::optional<std::string>& language);
  // Its compact JSON text (the writer cannot fail, so there always is one).
  static std::string makeArtistParameterWithLastFMArtist(
      const LastfmArtist& artist, const std::optional<std::string>& language);
  // The same members from a stored artist, without "similars", and with
  // every member that has no value left out rather than null. An empty
  // stored text counts as no value: the store keeps "" where Last.fm gave
  // nothing. "tags" and "variants" are always there (possibly empty).
  static std::string makeArtistParameterWithCoreDataArtist(
      const CDArtist& artist, const std::optional<std::string>& language);
};

}  // namespace mr
