#include "model/MRPreviewDataSource.h"

#include "base/Json.h"

namespace mr {

Value MRPreviewDataSourceAdditionalInfo::dictionaryFromData(const Bytes& blob) {
  auto value = unarchiveValue(blob);
  if (value.ok() && value->isDictionary()) return std::move(*value);
  return Value::dictionary();
}

Bytes MRPreviewDataSourceAdditionalInfo::serialize() const {
  return archiveValue(data_);
}

void MRPreviewDataSourceAdditionalInfo::setString(const char* key,
                                                  const std::optional<std::string>& value) {
  if (value) {
    data_.set(key, Value(*value));
  } else {
    data_.remove(key);
  }
}

std::string MRiTunesAdditionalInfo::artworkUrl() const {
  if (auto large = data_.stringForKey("artworkUrl200")) return *large;
  return artworkUrl100();
}

std::shared_ptr<MRPreviewDataSourceAdditionalInfo> MRPreviewDataSource::additionalInfoFromData(
    MRPreviewSourceID sourceID, const Bytes& blob) {
  const Value decoded = MRPreviewDataSourceAdditionalInfo::dictionaryFromData(blob);
  const Dictionary& dictionary = *decoded.asDictionary();
  switch (sourceID) {
    case MRPreviewSourceIDSoundCloud:
      return std::make_shared<MRSoundCloudAdditionalInfo>(dictionary);
    case MRPreviewSourceIDYouTube:
      return std::make_shared<MRYouTubeAdditionalInfo>(dictionary);
    case MRPreviewSourceIDITunes:
      return std::make_shared<MRiTunesAdditionalInfo>(dictionary);
    default:
      return std::make_shared<MRPreviewDataSourceAdditionalInfo>(dictionary);
  }
}

std::string MRPreviewDataSource::localCacheUrl(const std::string& cacheFolder,
                                               const std::string& stored) {
  const size_t slash = stored.find_last_of('/');
  const std::string name = slash == std::string::npos ? stored : stored.substr(slash + 1);
  return "file://localhost" + cacheFolder + "/" + name;
}

}  // namespace mr
