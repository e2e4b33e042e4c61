#include "store/CDDirectMessage.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDNewRelease.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "store/Schema.h"

namespace mr {

const std::vector<const EntityInfo*>& allEntities() {
  static const std::vector<const EntityInfo*> entities = {
      &CDArtist::entityInfo(),
      &CDGenreTag::entityInfo(),
      &CDArtistVariant::entityInfo(),
      &CDArtistBlackList::entityInfo(),
      &CDUserArtist::entityInfo(),
      &CDUserTrack::entityInfo(),
      &CDRecommendArtist::entityInfo(),
      &CDRecommendTrack::entityInfo(),
      &CDTrackRecommendationQueueItem::entityInfo(),
      &CDTrackUsedForRecommendation::entityInfo(),
      &CDFavoriteTrack::entityInfo(),
      &CDPlayHistoryTrack::entityInfo(),
      &CDPreviewDataSource::entityInfo(),
      &CDNewRelease::entityInfo(),
      &CDNewReleaseCheckHistory::entityInfo(),
      &CDDirectMessage::entityInfo(),
      &CDNotification::entityInfo(),
  };
  return entities;
}

}  // namespace mr
