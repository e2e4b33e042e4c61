// Recommends from one seed: asks Last.fm for tracks similar to it, and
// stores as a recommended track each candidate that has a playable preview
// and a known artist and that the listener has not met yet (not queued as a
// seed, not used as one, not played, not recommended already).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/MutexProtected.h"
#include "model/LastfmTrack.h"
#include "model/MRPreviewDataSource.h"
#include "recommend/MRRecommendParts.h"
#include "store/CDRecommendTrack.h"

namespace mr {

class MRRecommendTrackOperation final : public Operation {
 public:
  MRRecommendTrackOperation(MRRecommendParts parts, std::optional<std::string> subjectTitle,
                            std::optional<std::string> subjectArtist, std::string subjectAlbum);
  ~MRRecommendTrackOperation() override;
  void main() override;
  // Also cancels the Last.fm request and the steps in flight; what was
  // stored stays.
  void cancel() override;

  const std::optional<std::string>& subjectTitle() const { return subjectTitle_; }
  const std::optional<std::string>& subjectArtist() const { return subjectArtist_; }
  const std::string& subjectAlbum() const { return subjectAlbum_; }
  // A seed of the listener's own (library or named artists): its artist is
  // registered as a user artist too.
  bool subjectIsUserTrack = false;
  // How many similar tracks Last.fm is asked for.
  int recommendLimit = 10;

  // Set before the operation starts; both run on the operation's thread.
  void setBeginningBlock(std::function<void(MRRecommendTrackOperation&)> block);
  void setProgressBlock(
      std::function<void(MRRecommendTrackOperation&, const CDRecommendTrack&)> block);

  // The recommendations this seed stored.
  int storedCount() const { return storedCount_.load(); }
  // Why storing failed (a full disk...): the seed stopped there.
  std::optional<Error> storeError() const { return storeError_.get(); }
  // Why the seed gave less than it could: Last.fm's failure to give its
  // similar tracks (whatever it was), or a temporary failure
  // (isTemporaryFailure) that cost a candidate its preview or its artist.
  // None when Last.fm answered, even with no tracks, and no candidate was
  // lost to such a failure.
  std::optional<Error> lastError() const;
  // Whether Last.fm answered the similar-track request, even with nothing:
  // the seed is then used up.
  bool lastfmAnswered() const { return lastfmAnswered_.load(); }

  // Locates each candidate in turn and stores those that pass; stops
  // between candidates when cancelled.
  void inspectAndStoreTracks(const std::vector<LastfmTrack>& tracks);
  // Stores one candidate unless the rules say no; true when stored.
  bool composeAndStoreRecommendTrackWithPreviewDataSourceSet(
      const std::vector<MRPreviewDataSource>& sources, const LastfmTrack& track,
      const std::optional<std::string>& artistItemHash);

  // The image of a candidate: the iTunes artwork when a source has one,
  // else the largest Last.fm image it has; none when neither exists.
  static std::optional<std::string> imageUrlForCandidate(
      const std::vector<MRPreviewDataSource>& sources, const LastfmTrack& track);

 private:
  struct Controllers;

  void retrieveUserArtistInfo(OperationTracker& tracker);
  void cancelSteps();
  void setLastError(Error error);

  MRRecommendParts parts_;
  const std::optional<std::string> subjectTitle_;
  const std::optional<std::string> subjectArtist_;
  const std::string subjectAlbum_;
  std::function<void(MRRecommendTrackOperation&)> beginning_;
  std::function<void(MRRecommendTrackOperation&, const CDRecommendTrack&)> progress_;
  std::atomic<int> storedCount_{0};
  std::atomic<bool> lastfmAnswered_{false};
  MutexProtected<std::optional<Error>> storeError_;
  std::unique_ptr<Controllers> controllers_;

  mutable std::mutex mutex_;
  std::shared_ptr<HttpOperation> similarRequest_;
  std::optional<Error> lastError_;
  std::vector<std::shared_ptr<Operation>> steps_;  // in flight on the network queue
};

}  // namespace mr
