#include "store/CDArtist.h"

#include <algorithm>

#include "model/LastfmArtist.h"
#include "model/MRArtistDocument.h"
#include "store/CDNewRelease.h"
#include "store/CDRecommendTrack.h"
#include "model/CDUtility.h"

namespace mr {

const EntityInfo& CDArtist::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("Artist", {{"itemHash", ColumnKind::Text},
                                          {"name", ColumnKind::Text},
                                          {"waid", ColumnKind::Text},
                                          {"mbid", ColumnKind::Text},
                                          {"url", ColumnKind::Text},
                                          {"bioSummary", ColumnKind::Text},
                                          {"bioContent", ColumnKind::Text},
                                          {"imageSmall", ColumnKind::Text},
                                          {"imageMedium", ColumnKind::Text},
                                          {"imageLarge", ColumnKind::Text},
                                          {"imageExtraLarge", ColumnKind::Text},
                                          {"imageMega", ColumnKind::Text}});
  return info;
}

std::vector<std::shared_ptr<CDGenreTag>> CDArtist::tags() const {
  return toMany<CDGenreTag>("artist");
}

void CDArtist::setTags(const std::vector<std::shared_ptr<CDGenreTag>>& tags) {
  setToMany(CDGenreTag::entityInfo(), "artist", recordPointers(tags));
}

void CDArtist::addTagsObject(const CDGenreTag& tag) {
  addToMany(CDGenreTag::entityInfo(), "artist", tag);
}

std::vector<std::shared_ptr<CDArtistVariant>> CDArtist::variants() const {
  return toMany<CDArtistVariant>("artist");
}

void CDArtist::addVariantsObject(const CDArtistVariant& variant) {
  addToMany(CDArtistVariant::entityInfo(), "artist", variant);
}

std::shared_ptr<CDRecommendArtist> CDArtist::recommendArtist() const {
  return toOneInverse<CDRecommendArtist>("artist");
}

void CDArtist::setRecommendArtist(const CDRecommendArtist* recommendArtist) {
  std::vector<const Record*> members;
  if (recommendArtist != nullptr) members.push_back(recommendArtist);
  setToMany(CDRecommendArtist::entityInfo(), "artist", members);
}

std::shared_ptr<CDUserArtist> CDArtist::userArtist() const {
  return toOneInverse<CDUserArtist>("artist");
}

void CDArtist::setUserArtist(const CDUserArtist* userArtist) {
  std::vector<const Record*> members;
  if (userArtist != nullptr) members.push_back(userArtist);
  setToMany(CDUserArtist::entityInfo(), "artist", members);
}

std::vector<std::shared_ptr<CDRecommendTrack>> CDArtist::recommendTrack() const {
  return toMany<CDRecommendTrack>("artist");
}

std::vector<std::shared_ptr<CDNewRelease>> CDArtist::newRelease() const {
  return toMany<CDNewRelease>("artist");
}

std::optional<std::string> CDArtist::imageLargest() const {
  for (int column : {kImageMega, kImageExtraLarge, kImageLarge, kImageMedium, kImageSmall}) {
    if (auto image = text(column)) return image;
  }
  return std::nullopt;
}

// ------------------------------------------------------------ controllers

std::shared_ptr<CDArtist> CDArtistEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

std::shared_ptr<CDArtist> CDArtistEntityController::findWithArtistName(
    const std::string& name) const {
  return findWithItemHash(CDUtility::artistItemHashWithArtist(name));
}

std::shared_ptr<CDArtist> CDArtistEntityController::findWithWaid(const std::string& waid) const {
  return findOneWhere("\"waid\" = ?", {waid});
}

std::vector<std::shared_ptr<CDArtist>> CDArtistEntityController::findWithTagName(
    const std::string& tag, int64_t count, bool recommendOnly) const {
  std::string where =
      "EXISTS (SELECT 1 FROM \"GenreTag\" g WHERE g.\"artist\" = \"Artist\".\"id\" AND g.\"tag\" = "
      "?)";
  if (recommendOnly) {
    where +=
        " AND EXISTS (SELECT 1 FROM \"RecommendTrack\" r WHERE r.\"artist\" = \"Artist\".\"id\")";
  }
  return findWhere(where, {tag}, {}, count);
}

const EntityInfo& CDGenreTag::entityInfo() {
  static const EntityInfo& info = *new EntityInfo(
      "GenreTag", {{"tag", ColumnKind::Text}, {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

std::vector<MRGenreTag> CDGenreTagEntityController::aggregateTagVectorWithPredicate(
    const std::string& where) const {
  if (!context_) return {};
  // Ties keep the order of the groups (by tag), so the result is stable.
  std::string sql = "SELECT \"tag\", count(*) AS \"tagCount\" FROM \"GenreTag\"";
  if (!where.empty()) sql += " WHERE " + where;
  sql += " GROUP BY \"tag\" ORDER BY \"tagCount\" DESC, \"tag\"";
  std::vector<MRGenreTag> vector;
  float largest = 0;
  for (const auto& row : context_->query(sql)) {
    MRGenreTag tag{textOf(row[0]).value_or(""), static_cast<float>(integerOf(row[1]).value_or(0))};
    largest = std::max(largest, tag.weight);
    vector.push_back(std::move(tag));
  }
  for (auto& tag : vector)
    tag.weight /= largest;
  return vector;
}

std::vector<MRGenreTag> CDGenreTagEntityController::aggregateUserGenreTagVector() const {
  return aggregateTagVectorWithPredicate(
      "EXISTS (SELECT 1 FROM \"UserArtist\" u WHERE u.\"artist\" = \"GenreTag\".\"artist\")");
}

std::vector<MRGenreTag> CDGenreTagEntityController::aggregateRecommendGenreTagVector() const {
  return aggregateTagVectorWithPredicate(
      "EXISTS (SELECT 1 FROM \"RecommendTrack\" r WHERE r.\"artist\" = \"GenreTag\".\"artist\")");
}

const EntityInfo& CDArtistVariant::entityInfo() {
  static const EntityInfo& info = *new EntityInfo(
      "ArtistVariant", {{"name", ColumnKind::Text}, {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

std::shared_ptr<CDArtistVariant> CDArtistVariantEntityController::findWithName(
    const std::string& name, const std::string& artistItemHash) const {
  return findOneWhere(
      "\"name\" = ? AND \"artist\" IN (SELECT \"id\" FROM \"Artist\" WHERE \"itemHash\" = ?)",
      {CDUtility::lowercase(name), artistItemHash});
}

std::shared_ptr<CDArtistVariant> CDArtistVariantEntityController::insertNewObjectWithName(
    const std::string& name, const std::string& artistItemHash) {
  if (auto existing = findWithName(name, artistItemHash)) return existing;
  auto variant = insertNewObject();
  if (variant) variant->setName(CDUtility::lowercase(name));
  return variant;
}

const EntityInfo& CDArtistBlackList::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("ArtistBlackList", {{"artistName", ColumnKind::Text}});
  return info;
}

Result<std::shared_ptr<CDArtistBlackList>> CDArtistBlackListEntityController::registerNewArtist(
    const std::string& name) {
  auto entry = context_ ? context_->insert<CDArtistBlackList>({SqlValue(name)}) : nullptr;
  if (Status saved = save(); !saved.ok()) return saved.error();
  return entry;
}

Status CDArtistBlackListEntityController::removeArtist(const std::string& name) {
  auto entry = findOneWhere("\"artistName\" = ?", {name});
  if (!entry) return {};
  deleteObject(*entry);
  return save();
}

bool CDArtistBlackListEntityController::checkIfBlacklistedWithArtistName(
    const std::string& name) const {
  return countWhere("\"artistName\" = ?", {name}) != 0;
}

const EntityInfo& CDUserArtist::entityInfo() {
  static const EntityInfo& info = *new EntityInfo(
      "UserArtist", {{"itemHash", ColumnKind::Text}, {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

void CDUserArtist::setArtist(const CDArtist* artist) {
  setToOneExclusive(kArtist, artist);
}

std::shared_ptr<CDUserArtist> CDUserArtistEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

std::shared_ptr<CDUserArtist> CDUserArtistEntityController::findWithArtistName(
    const std::string& name) const {
  return findWithItemHash(CDUtility::artistItemHashWithArtist(name));
}

const EntityInfo& CDUserTrack::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("UserTrack", {{"itemHash", ColumnKind::Text},
                                             {"artistName", ColumnKind::Text},
                                             {"albumTitle", ColumnKind::Text},
                                             {"trackTitle", ColumnKind::Text}});
  return info;
}

std::shared_ptr<CDUserTrack> CDUserTrackEntityController::findWithArtistName(
    const std::string& artist, const std::string& albumTitle, const std::string& trackTitle) const {
  return findWithItemHash(CDUtility::itemHashWithTitle(trackTitle, albumTitle, artist));
}

std::shared_ptr<CDUserTrack> CDUserTrackEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

const EntityInfo& CDRecommendArtist::entityInfo() {
  static const EntityInfo& info = *new EntityInfo("RecommendArtist", {{"itemHash", ColumnKind::Text},
                                                   {"sourceArtist", ColumnKind::Text},
                                                   {"artist", ColumnKind::ToOne, "Artist"}});
  return info;
}

void CDRecommendArtist::setArtist(const CDArtist* artist) {
  setToOneExclusive(kArtist, artist);
}

std::shared_ptr<CDRecommendArtist> CDRecommendArtistEntityController::findWithItemHash(
    const std::string& itemHash) const {
  return findOneWhere("\"itemHash\" = ?", {itemHash});
}

}  // namespace mr

// ------------------------------------------------ Last.fm and documents

namespace mr {
namespace {

// Last.fm gives "" for what it has not; stored, "" would hide the image
// sizes below it from imageLargest(), and pass for a MusicBrainz id.
std::optional<std::string> presentImage(const std::string& url) {
  return url.empty() ? std::nullopt : std::optional<std::string>(url);
}

}  // namespace

void CDArtist::assignFromLastFMArtist(const LastfmArtist& artist) {
  setBioContent(artist.bioContent);
  setBioSummary(artist.bioSummary);
  setImageExtraLarge(presentImage(artist.imageUrl.extraLarge));
  setImageLarge(presentImage(artist.imageUrl.large));
  setImageMedium(presentImage(artist.imageUrl.medium));
  setImageMega(presentImage(artist.imageUrl.mega));
  setImageSmall(presentImage(artist.imageUrl.small));
  setMbid(presentImage(artist.mbid));  // Last.fm answers carry no id: "" means none
  setName(artist.name);
  setUrl(artist.url);
  setItemHash(CDUtility::artistItemHashWithArtist(artist.name));
}

void CDArtist::assignToLastFMArtist(LastfmArtist& artist) const {
  artist.bioContent = bioContent().value_or("");
  artist.bioSummary = bioSummary().value_or("");
  artist.imageUrl = LastfmImageUrl();
  artist.imageUrl.small = imageSmall().value_or("");
  artist.imageUrl.medium = imageMedium().value_or("");
  artist.imageUrl.large = imageLarge().value_or("");
  artist.imageUrl.extraLarge = imageExtraLarge().value_or("");
  artist.imageUrl.mega = imageMega().value_or("");
  artist.mbid = mbid().value_or("");
  artist.name = name().value_or("");
  artist.url = url().value_or("");
  artist.tag.clear();
  for (const auto& tag : tags())
    artist.tag.push_back(tag->tag().value_or(""));
}

void CDArtist::assignWithArtistDocument(const MRArtistDocument& document,
                                        const std::string& currentLanguage) {
  auto owner = context();
  if (!owner) return;
  for (const auto& old : tags())
    owner->deleteObject(*old);
  std::vector<std::shared_ptr<CDGenreTag>> fresh;
  for (const auto& name : document.tags()) {
    fresh.push_back(owner->insert<CDGenreTag>({SqlValue(name), SqlValue()}));
  }
  setTags(fresh);
  setName(document.name());
  setWaid(document.waid());
  setItemHash(CDUtility::artistItemHashWithArtist(document.name()));
  setImageMega(document.imageMega());
  setImageExtraLarge(document.imageExtraLarge());
  setImageLarge(document.imageLarge());
  setImageMedium(document.imageMedium());
  setImageSmall(document.imageSmall());
  setUrl(document.url());
  const auto bio = document.bio();
  setBioContent(bio ? bio->bioContentForCurrentLang(currentLanguage) : std::nullopt);
  setBioSummary(bio ? bio->bioSummaryForCurrentLang(currentLanguage) : std::nullopt);
}

void CDArtist::assignWithArtistSummaryDocument(const MRArtistSummaryDocument& document) {
  setName(document.name());
  setWaid(document.waid());
  setItemHash(CDUtility::artistItemHashWithArtist(document.name()));
  setImageExtraLarge(document.imageExtraLarge());
  setImageLarge(document.imageLarge());
  setImageMedium(document.imageMedium());
  setImageMega(document.imageMega());
  setImageSmall(document.imageSquare());  // the small slot shows the square picture
  setUrl(document.url());
}

std::shared_ptr<CDArtist> CDArtistEntityController::insertNewObjectWithLastfmArtist(
    const LastfmArtist& artist) {
  auto record = insertNewObject();
  if (!record) return nullptr;
  record->assignFromLastFMArtist(artist);
  std::vector<std::shared_ptr<CDGenreTag>> tags;
  for (const auto& name : artist.tag) {
    tags.push_back(context_->insert<CDGenreTag>({SqlValue(name), SqlValue()}));
  }
  record->setTags(tags);
  return record;
}

std::shared_ptr<CDArtist> CDArtistEntityController::insertNewObjectWithArtistDocument(
    const MRArtistDocument& document, const std::string& currentLanguage) {
  auto record = insertNewObject();
  if (record) record->assignWithArtistDocument(document, currentLanguage);
  return record;
}

std::shared_ptr<CDArtist> CDArtistEntityController::insertNewObjectWithArtistSummaryDocument(
    const MRArtistSummaryDocument& document) {
  auto record = insertNewObject();
  if (record) record->assignWithArtistSummaryDocument(document);
  return record;
}

}  // namespace mr
