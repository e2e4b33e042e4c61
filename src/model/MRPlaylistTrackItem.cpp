#include "model/MRPlaylistTrackItem.h"

#include <algorithm>

namespace mr {

const MRPreviewDataSource* MRPlaylistTrackItem::previewDataSourceForSourceId(
    MRPreviewSourceID sourceID) const {
  for (const auto& source : previewDataSourceSet) {
    if (source.sourceID == sourceID) return &source;
  }
  return nullptr;
}

const MRPreviewDataSource* MRPlaylistTrackItem::playablePreviewDataSource() const {
  const MRPreviewDataSource* taken = nullptr;
  const MRPreviewDataSource* cached = nullptr;
  for (const auto& source : previewDataSourceSet) {
    if (!source.hasPreviewUrl()) continue;
    switch (source.sourceID) {
      case MRPreviewSourceIDITunes:
      case MRPreviewSourceIDSoundCloud:
        if (taken == nullptr) taken = &source;
        break;
      case MRPreviewSourceIDYouTube:
        taken = &source;
        break;
      case MRPreviewSourceIDLocalCache:
        cached = &source;
        break;
      default:
        break;
    }
  }
  return cached != nullptr ? cached : taken;
}

size_t MRPlaylistTrackItem::numberOfAvailablePreviewData() const {
  return static_cast<size_t>(
      std::count_if(previewDataSourceSet.begin(), previewDataSourceSet.end(),
                    [](const auto& source) { return source.hasPreviewUrl(); }));
}

void MRFavoriteTrackMixTrackItem::removeLocalCache() {
  std::vector<MRPreviewDataSource> kept;
  for (const auto& source : previewDataSourceSet) {
    if (source.sourceID != MRPreviewSourceIDLocalCache) kept.push_back(source);
  }
  previewDataSourceSet = std::move(kept);
}

}  // namespace mr
