// At each start of service: the favorites kept on the service that are
// missing here are located and stored. Local favorites are never removed,
// and synchronised ones are not cached.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MRServiceOperation.h"
#include "base/MutexProtected.h"
#include "base/OperationQueue.h"
#include "model/MRFavoriteTrackDocument.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloRequest.h"

namespace mr {

class MRSyncFavoriteTracksOperation final : public MRServiceOperation {
 public:
  // At most this many favorites are located at once.
  static constexpr int kLocateWidth = 2;

  MRSyncFavoriteTracksOperation(MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune);

  void main() override;
  // Also cancels the request and the locations in flight.
  void cancel() override;

  // Whether a list arrived; a failure is kept in lastError.
  bool retrieveFavorites();
  void updateCoreData();
  void insertNewEntryWithTrackDocument(const MRFavoriteTrackDocument& document);

  std::vector<MRFavoriteTrackDocument> favoriteTracks() const { return favoriteTracks_.get(); }
  unsigned compeltedTrackNum() const { return completed_.load(); }
  std::string processingTrackTitle() const { return processing_.get().first; }
  std::string processingArtistName() const { return processing_.get().second; }

 private:
  MRRecommendParts parts_;
  std::shared_ptr<MRAPIBase> mirelune_;
  MutexProtected<std::vector<MRFavoriteTrackDocument>> favoriteTracks_;
  std::atomic<unsigned> completed_{0};
  MutexProtected<std::pair<std::string, std::string>> processing_;
  const std::shared_ptr<OperationQueue> locateOps_;
  MutexProtected<std::function<void()>> currentOp_;
  OperationTracker* tracker_ = nullptr;  // while updateCoreData runs
};

}  // namespace mr
