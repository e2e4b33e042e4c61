#include "playback/MRFavoriteTrackMix.h"

#include <limits>

#include "base/Random.h"
#include "store/CDFavoriteTrack.h"

namespace mr {

namespace {

// A favorite without a date counts as the oldest.
Date favoritedAtOf(const MRPlaylistTrackItem* item) {
  const auto* favorite = dynamic_cast<const MRFavoriteTrackMixTrackItem*>(item);
  return favorite && favorite->favoritedAt ? *favorite->favoritedAt
                                           : Date{-std::numeric_limits<double>::infinity()};
}

}  // namespace

MRFavoriteTrackMix::MRFavoriteTrackMix(MRMixParts parts, std::optional<std::string> subjectArtist)
    : MRResolvingMix(std::move(parts)), subjectArtist_(std::move(subjectArtist)) {}

std::shared_ptr<MRRetryableNetworkOperation> MRFavoriteTrackMix::duplicate() const {
  auto copy = std::make_shared<MRFavoriteTrackMix>(parts(), subjectArtist_);
  copy->setShuffled(shuffled());
  return copy;
}

size_t MRFavoriteTrackMix::newestFirstPosition(
    const std::vector<std::shared_ptr<MRPlaylistTrackItem>>& tracks,
    const MRFavoriteTrackMixTrackItem& item) {
  const Date date = favoritedAtOf(&item);
  for (size_t i = 0; i < tracks.size(); ++i) {
    if (favoritedAtOf(tracks[i].get()) < date) return i;
  }
  return tracks.size();
}

void MRFavoriteTrackMix::addTrackItem(const std::shared_ptr<MRFavoriteTrackMixTrackItem>& item) {
  const size_t position =
      shuffled() ? randomIndex(numberOfTracks() + 1) : newestFirstPosition(tracks(), *item);
  insertTrack(item, position);
  updateProgress();
}

void MRFavoriteTrackMix::main() {
  MRResolvingMix::main();
  setStatus(kMRServiceOperationStatusProcessing);
  if (parts().recommend.store) {
    // The records stay readable while their controller lives.
    CDFavoriteTrackEntityController favorites(parts().recommend.store.get());
    const auto records = subjectArtist_ ? favorites.findWithArtist(*subjectArtist_)
                                        : favorites.findNewerTracksWithCount(kNewestFavorites);
    const std::string cacheFolder = parts().cacheFolder();
    for (const auto& record : records) {
      if (isCancelled()) break;
      auto item = std::make_shared<MRFavoriteTrackMixTrackItem>();
      record->assignToPlaylistTrackItem(*item, cacheFolder);
      Placement place = [item](MRResolvingMix& mix) {
        static_cast<MRFavoriteTrackMix&>(mix).addTrackItem(item);
      };
      // A cached file plays without the network.
      if (item->hasLocalCache()) {
        placeOnMainThread(std::move(place));
      } else {
        enqueueResolver(item, std::move(place));
        updateProgressMax();
      }
    }
  }
  updateProgressMax();
  waitForPlacements();
  setStatus(isCancelled() ? kMRServiceOperationStatusCanceled : kMRServiceOperationStatusCompleted);
}

}  // namespace mr
