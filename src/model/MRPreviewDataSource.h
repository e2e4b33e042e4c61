// Where a preview of a track can be played: the iTunes Store's preview, a
// video's stream, a SoundCloud stream, or a favorite's cached audio file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Date.h"
#include "base/Value.h"

namespace mr {

using MRPreviewSourceID = int32_t;
inline constexpr MRPreviewSourceID MRPreviewSourceIDITunes = 10;
inline constexpr MRPreviewSourceID MRPreviewSourceIDYouTube = 20;
inline constexpr MRPreviewSourceID MRPreviewSourceIDSoundCloud = 30;
inline constexpr MRPreviewSourceID MRPreviewSourceIDLocalCache = 255;

// Source-specific facts about a preview, as a dictionary; the subclasses are
// typed views over its keys.
class MRPreviewDataSourceAdditionalInfo {
 public:
  MRPreviewDataSourceAdditionalInfo() : data_(Value::dictionary()) {}
  explicit MRPreviewDataSourceAdditionalInfo(const Dictionary& dictionary) : data_(dictionary) {}
  virtual ~MRPreviewDataSourceAdditionalInfo() = default;

  // The info from a blob made by serialize(); an empty dictionary when the
  // blob does not decode to one.
  static Value dictionaryFromData(const Bytes& blob);
  Bytes serialize() const;

  const Value& data() const { return data_; }

 protected:
  std::string string(const char* key) const { return data_.stringForKey(key, ""); }
  std::optional<std::string> optionalString(const char* key) const {
    return data_.stringForKey(key);
  }
  int32_t integer(const char* key) const { return data_.intForKey(key, 0); }
  // Ids: the stores' have passed 2^31.
  int64_t identifier(const char* key) const { return data_.integerForKey(key, 0); }
  bool boolean(const char* key) const { return data_.boolForKey(key, false); }
  // No value removes the key.
  void setString(const char* key, const std::optional<std::string>& value);
  void setInteger(const char* key, int64_t value) { data_.setInteger(key, value); }
  void setBoolean(const char* key, bool value) { data_.setBool(key, value); }
  void setObject(const char* key, const Value& value) { data_.set(key, value); }

  Value data_;
};

class MRiTunesAdditionalInfo final : public MRPreviewDataSourceAdditionalInfo {
 public:
  using MRPreviewDataSourceAdditionalInfo::MRPreviewDataSourceAdditionalInfo;

  std::string wrapperType() const { return string("wrapperType"); }
  std::string kind() const { return string("kind"); }
  std::string artistName() const { return string("artistName"); }
  std::string collectionName() const { return string("collectionName"); }
  std::string trackName() const { return string("trackName"); }
  std::string previewUrl() const { return string("previewUrl"); }
  std::string artworkUrl100() const { return string("artworkUrl100"); }
  std::string artworkUrl200() const { return string("artworkUrl200"); }
  std::string trackViewUrl() const { return string("trackViewUrl"); }
  std::string collectionViewUrl() const { return string("collectionViewUrl"); }
  int64_t trackId() const { return identifier("trackId"); }
  int64_t collectionId() const { return identifier("collectionId"); }
  int64_t artistId() const { return identifier("artistId"); }
  std::string primaryGenreName() const { return string("primaryGenreName"); }
  int64_t primaryGenreId() const { return identifier("primaryGenreId"); }
  // Stored as it came, read back as it is.
  const Value* releaseDate() const { return data_.get("releaseDate"); }
  int32_t trackCount() const { return integer("trackCount"); }
  // The 200-pixel artwork when there is one, else the 100-pixel one.
  std::string artworkUrl() const;

  void setWrapperType(const std::optional<std::string>& v) { setString("wrapperType", v); }
  void setKind(const std::optional<std::string>& v) { setString("kind", v); }
  void setArtistName(const std::optional<std::string>& v) { setString("artistName", v); }
  void setCollectionName(const std::optional<std::string>& v) { setString("collectionName", v); }
  void setTrackName(const std::optional<std::string>& v) { setString("trackName", v); }
  void setPreviewUrl(const std::optional<std::string>& v) { setString("previewUrl", v); }
  void setArtworkUrl100(const std::optional<std::string>& v) { setString("artworkUrl100", v); }
  void setArtworkUrl200(const std::optional<std::string>& v) { setString("artworkUrl200", v); }
  void setTrackViewUrl(const std::optional<std::string>& v) { setString("trackViewUrl", v); }
  void setCollectionViewUrl(const std::optional<std::string>& v) {
    setString("collectionViewUrl", v);
  }
  void setTrackId(int64_t v) { setInteger("trackId", v); }
  void setCollectionId(int64_t v) { setInteger("collectionId", v); }
  void setArtistId(int64_t v) { setInteger("artistId", v); }
  void setPrimaryGenreName(const std::optional<std::string>& v) {
    setString("primaryGenreName", v);
  }
  void setPrimaryGenreId(int64_t v) { setInteger("primaryGenreId", v); }
  void setReleaseDate(const Value& v) { setObject("releaseDate", v); }
  void setTrackCount(int64_t v) { setInteger("trackCount", v); }
};

class MRYouTubeAdditionalInfo final : public MRPreviewDataSourceAdditionalInfo {
 public:
  using MRPreviewDataSourceAdditionalInfo::MRPreviewDataSourceAdditionalInfo;

  std::string title() const { return string("title"); }
  std::string description() const { return string("description"); }
  std::string keywords() const { return string("keywords"); }
  std::string category() const { return string("category"); }
  std::string link() const { return string("link"); }
  std::string videoID() const { return string("videoID"); }
  bool isRestricted() const { return boolean("isRestricted"); }
  int32_t viewCount() const { return integer("viewCount"); }
  int32_t favoriteCount() const { return integer("favoriteCount"); }

  void setTitle(const std::optional<std::string>& v) { setString("title", v); }
  void setDescription(const std::optional<std::string>& v) { setString("description", v); }
  void setKeywords(const std::optional<std::string>& v) { setString("keywords", v); }
  void setCategory(const std::optional<std::string>& v) { setString("category", v); }
  void setLink(const std::optional<std::string>& v) { setString("link", v); }
  void setVideoID(const std::optional<std::string>& v) { setString("videoID", v); }
  void setIsRestricted(bool v) { setBoolean("isRestricted", v); }
  void setViewCount(int64_t v) { setInteger("viewCount", v); }
  void setFavoriteCount(int64_t v) { setInteger("favoriteCount", v); }
};

// A read-only view of the SoundCloud track description stored whole.
class MRSoundCloudAdditionalInfo final : public MRPreviewDataSourceAdditionalInfo {
 public:
  using MRPreviewDataSourceAdditionalInfo::MRPreviewDataSourceAdditionalInfo;

  int64_t trackId() const { return identifier("id"); }
  int64_t userId() const { return identifier("user_id"); }
  std::optional<std::string> streamUrl() const { return optionalString("stream_url"); }
  std::optional<std::string> permalinkUrl() const { return optionalString("permalink_url"); }
  std::optional<std::string> waveformUrl() const { return optionalString("waveform_url"); }
  std::optional<std::string> downloadUrl() const { return optionalString("download_url"); }
  std::optional<std::string> title() const { return optionalString("title"); }
};

class MRPreviewDataSource {
 public:
  MRPreviewSourceID sourceID = 0;
  // May be empty while a known source is not resolved yet (a video whose
  // stream was not extracted). For a local-cache source this is the file URL
  // inside the current favorites cache folder.
  std::optional<std::string> previewUrl;
  std::shared_ptr<MRPreviewDataSourceAdditionalInfo> additionalInfo;
  std::optional<Date> locatedAt;

  // The info view that matches `sourceID`, made from a stored blob.
  static std::shared_ptr<MRPreviewDataSourceAdditionalInfo> additionalInfoFromData(
      MRPreviewSourceID sourceID, const Bytes& blob);
  // "file://localhost<folder>/<last path component of stored>", so a cached
  // file is found after the cache folder moved.
  static std::string localCacheUrl(const std::string& cacheFolder, const std::string& stored);

  bool hasPreviewUrl() const { return previewUrl.has_value() && !previewUrl->empty(); }
};

}  // namespace mr
