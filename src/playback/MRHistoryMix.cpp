#include "playback/MRHistoryMix.h"

#include "store/CDFavoriteTrack.h"

namespace mr {

MRHistoryMix::MRHistoryMix(MRMixParts parts) : MRResolvingMix(std::move(parts)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRHistoryMix::duplicate() const {
  return std::make_shared<MRHistoryMix>(parts());
}

void MRHistoryMix::main() {
  MRResolvingMix::main();
  setStatus(kMRServiceOperationStatusProcessing);
  if (parts().recommend.store) {
    CDPlayHistoryTrackEntityController history(parts().recommend.store.get());
    const auto records = history.findNewerTracksWithCount(kNewestPlayedTracks);
    const std::string cacheFolder = parts().cacheFolder();
    for (size_t i = 0; i < records.size(); ++i) {
      if (isCancelled()) break;
      const auto& record = *records[i];
      auto item = std::make_shared<MRHistoryMixTrackItem>();
      item->title = record.title().value_or("");
      item->artist = record.artist().value_or("");
      item->imageUrl = record.imageUrl().value_or("");
      item->playedAt = record.playedAt();
      for (const auto& source : record.previewDataSourceSet())
        item->previewDataSourceSet.push_back(
            previewDataSourceWithManagedObject(*source, cacheFolder));
      // Its place in the history, or the end while the ones before it are
      // still being resolved.
      enqueueResolver(item, [item, i](MRResolvingMix& mix) {
        static_cast<MRHistoryMix&>(mix).insertTrack(item, i);
      });
      updateProgressMax();
    }
  }
  updateProgressMax();
  waitForPlacements();
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
