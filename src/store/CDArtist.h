// Artists known to the client, from Last.fm or from the service.
#pragma once

#include "model/MRGenreTag.h"
#include "store/CDEntityController.h"

namespace mr {

class CDGenreTag;
class CDArtistVariant;
class CDRecommendArtist;
class CDUserArtist;
class CDRecommendTrack;
class CDNewRelease;
struct LastfmArtist;
class MRArtistDocument;
class MRArtistSummaryDocument;

class CDArtist final : public Record {
 public:
  enum Column {
    kItemHash,
    kName,
    kWaid,
    kMbid,
    kUrl,
    kBioSummary,
    kBioContent,
    kImageSmall,
    kImageMedium,
    kImageLarge,
    kImageExtraLarge,
    kImageMega,
  };
  static const EntityInfo& entityInfo();
  CDArtist(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> name() const { return text(kName); }
  void setName(const std::optional<std::string>& v) { set(kName, toSql(v)); }
  std::optional<std::string> waid() const { return text(kWaid); }
  void setWaid(const std::optional<std::string>& v) { set(kWaid, toSql(v)); }
  std::optional<std::string> mbid() const { return text(kMbid); }
  void setMbid(const std::optional<std::string>& v) { set(kMbid, toSql(v)); }
  std::optional<std::string> url() const { return text(kUrl); }
  void setUrl(const std::optional<std::string>& v) { set(kUrl, toSql(v)); }
  std::optional<std::string> bioSummary() const { return text(kBioSummary); }
  void setBioSummary(const std::optional<std::string>& v) { set(kBioSummary, toSql(v)); }
  std::optional<std::string> bioContent() const { return text(kBioContent); }
  void setBioContent(const std::optional<std::string>& v) { set(kBioContent, toSql(v)); }
  std::optional<std::string> imageSmall() const { return text(kImageSmall); }
  void setImageSmall(const std::optional<std::string>& v) { set(kImageSmall, toSql(v)); }
  std::optional<std::string> imageMedium() const { return text(kImageMedium); }
  void setImageMedium(const std::optional<std::string>& v) { set(kImageMedium, toSql(v)); }
  std::optional<std::string> imageLarge() const { return text(kImageLarge); }
  void setImageLarge(const std::optional<std::string>& v) { set(kImageLarge, toSql(v)); }
  std::optional<std::string> imageExtraLarge() const { return text(kImageExtraLarge); }
  void setImageExtraLarge(const std::optional<std::string>& v) { set(kImageExtraLarge, toSql(v)); }
  std::optional<std::string> imageMega() const { return text(kImageMega); }
  void setImageMega(const std::optional<std::string>& v) { set(kImageMega, toSql(v)); }

  std::vector<std::shared_ptr<CDGenreTag>> tags() const;
  void setTags(const std::vector<std::shared_ptr<CDGenreTag>>& tags);
  void addTagsObject(const CDGenreTag& tag);
  std::vector<std::shared_ptr<CDArtistVariant>> variants() const;
  void addVariantsObject(const CDArtistVariant& variant);
  std::shared_ptr<CDRecommendArtist> recommendArtist() const;
  void setRecommendArtist(const CDRecommendArtist* recommendArtist);
  std::shared_ptr<CDUserArtist> userArtist() const;
  void setUserArtist(const CDUserArtist* userArtist);
  std::vector<std::shared_ptr<CDRecommendTrack>> recommendTrack() const;
  std::vector<std::shared_ptr<CDNewRelease>> newRelease() const;

  // The first image of mega, extra large, large, medium, small that is set.
  std::optional<std::string> imageLargest() const;
  // Copies name, links, biography and images from Last.fm; the tags are
  // left alone. The item hash follows the name.
  void assignFromLastFMArtist(const LastfmArtist& artist);
  void assignToLastFMArtist(LastfmArtist& artist) const;
  // From a service document: replaces the tags with the document's, and the
  // biography with the one in `currentLanguage` (falling back to Japanese).
  void assignWithArtistDocument(const MRArtistDocument& document,
                                const std::string& currentLanguage);
  void assignWithArtistSummaryDocument(const MRArtistSummaryDocument& document);
};

class CDArtistEntityController final : public CDTypedEntityController<CDArtist> {
 public:
  using CDTypedEntityController::CDTypedEntityController;

  std::shared_ptr<CDArtist> findWithItemHash(const std::string& itemHash) const;
  std::shared_ptr<CDArtist> findWithArtistName(const std::string& name) const;
  std::shared_ptr<CDArtist> findWithWaid(const std::string& waid) const;
  // Up to `count` artists carrying the tag; with `recommendOnly`, only those
  // with recommended tracks.
  std::vector<std::shared_ptr<CDArtist>> findWithTagName(const std::string& tag, int64_t count,
                                                         bool recommendOnly) const;
  // A new artist from Last.fm, with one genre tag per Last.fm tag.
  std::shared_ptr<CDArtist> insertNewObjectWithLastfmArtist(const LastfmArtist& artist);
  std::shared_ptr<CDArtist> insertNewObjectWithArtistDocument(const MRArtistDocument& document,
                                                              const std::string& currentLanguage);
  std::shared_ptr<CDArtist> insertNewObjectWithArtistSummaryDocument(
      const MRArtistSummaryDocument& document);
};

class CDGenreTag final : public Record {
 public:
  enum Column { kTag, kArtist };
  static const EntityInfo& entityInfo();
  CDGenreTag(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> tag() const { return text(kTag); }
  void setTag(const std::optional<std::string>& v) { set(kTag, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  void setArtist(const CDArtist* artist) { setToOne(kArtist, artist); }
};

class CDGenreTagEntityController final : public CDTypedEntityController<CDGenreTag> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  // The tags of the matching genre tag rows by falling count, each weighed
  // against the most common one (which weighs 1.0). `where` is SQL over the
  // GenreTag table; empty for all rows.
  std::vector<MRGenreTag> aggregateTagVectorWithPredicate(const std::string& where = {}) const;
  // The tags of the artists in the listener's own library.
  std::vector<MRGenreTag> aggregateUserGenreTagVector() const;
  // The tags of the artists that have recommended tracks.
  std::vector<MRGenreTag> aggregateRecommendGenreTagVector() const;
};

class CDArtistVariant final : public Record {
 public:
  enum Column { kName, kArtist };
  static const EntityInfo& entityInfo();
  CDArtistVariant(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> name() const { return text(kName); }
  void setName(const std::optional<std::string>& v) { set(kName, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  void setArtist(const CDArtist* artist) { setToOne(kArtist, artist); }
};

class CDArtistVariantEntityController final : public CDTypedEntityController<CDArtistVariant> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  // By the lower-cased name and the item hash of its artist.
  std::shared_ptr<CDArtistVariant> findWithName(const std::string& name,
                                                const std::string& artistItemHash) const;
  // The existing variant, or a new one with the lower-cased name; the caller
  // links it to its artist.
  std::shared_ptr<CDArtistVariant> insertNewObjectWithName(const std::string& name,
                                                           const std::string& artistItemHash);
};

class CDArtistBlackList final : public Record {
 public:
  enum Column { kArtistName };
  static const EntityInfo& entityInfo();
  CDArtistBlackList(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> artistName() const { return text(kArtistName); }
  void setArtistName(const std::optional<std::string>& v) { set(kArtistName, toSql(v)); }
};

class CDArtistBlackListEntityController final : public CDTypedEntityController<CDArtistBlackList> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  // Inserts and saves.
  Result<std::shared_ptr<CDArtistBlackList>> registerNewArtist(const std::string& name);
  // Deletes and saves.
  Status removeArtist(const std::string& name);
  // Exact: a name that differs in case is another artist.
  bool checkIfBlacklistedWithArtistName(const std::string& name) const;
};

class CDUserArtist final : public Record {
 public:
  enum Column { kItemHash, kArtist };
  static const EntityInfo& entityInfo();
  CDUserArtist(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  // One user artist per artist: another that pointed there lets go.
  void setArtist(const CDArtist* artist);
};

class CDUserArtistEntityController final : public CDTypedEntityController<CDUserArtist> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  std::shared_ptr<CDUserArtist> findWithItemHash(const std::string& itemHash) const;
  std::shared_ptr<CDUserArtist> findWithArtistName(const std::string& name) const;
};

class CDUserTrack final : public Record {
 public:
  enum Column { kItemHash, kArtistName, kAlbumTitle, kTrackTitle };
  static const EntityInfo& entityInfo();
  CDUserTrack(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> artistName() const { return text(kArtistName); }
  void setArtistName(const std::optional<std::string>& v) { set(kArtistName, toSql(v)); }
  std::optional<std::string> albumTitle() const { return text(kAlbumTitle); }
  void setAlbumTitle(const std::optional<std::string>& v) { set(kAlbumTitle, toSql(v)); }
  std::optional<std::string> trackTitle() const { return text(kTrackTitle); }
  void setTrackTitle(const std::optional<std::string>& v) { set(kTrackTitle, toSql(v)); }
};

class CDUserTrackEntityController final : public CDTypedEntityController<CDUserTrack> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  std::shared_ptr<CDUserTrack> findWithArtistName(const std::string& artist,
                                                  const std::string& albumTitle,
                                                  const std::string& trackTitle) const;
  std::shared_ptr<CDUserTrack> findWithItemHash(const std::string& itemHash) const;
};

class CDRecommendArtist final : public Record {
 public:
  enum Column { kItemHash, kSourceArtist, kArtist };
  static const EntityInfo& entityInfo();
  CDRecommendArtist(std::weak_ptr<Context> context, int64_t id, SqlRow values)
      : Record(entityInfo(), std::move(context), id, std::move(values)) {}

  std::optional<std::string> itemHash() const { return text(kItemHash); }
  void setItemHash(const std::optional<std::string>& v) { set(kItemHash, toSql(v)); }
  std::optional<std::string> sourceArtist() const { return text(kSourceArtist); }
  void setSourceArtist(const std::optional<std::string>& v) { set(kSourceArtist, toSql(v)); }
  std::shared_ptr<CDArtist> artist() const { return toOne<CDArtist>(kArtist); }
  // One recommended artist per artist: another that pointed there lets go.
  void setArtist(const CDArtist* artist);
};

class CDRecommendArtistEntityController final : public CDTypedEntityController<CDRecommendArtist> {
 public:
  using CDTypedEntityController::CDTypedEntityController;
  std::shared_ptr<CDRecommendArtist> findWithItemHash(const std::string& itemHash) const;
};

}  // namespace mr
