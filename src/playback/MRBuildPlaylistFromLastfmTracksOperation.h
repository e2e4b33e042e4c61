// Turns Last.fm tracks into playable track items: finds each track's
// sources on the network queue, resolves them, and hands on every item
// one of whose sources plays, in the order in which they are ready.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MRServiceOperation.h"
#include "base/MutexProtected.h"
#include "model/LastfmTrack.h"
#include "model/MRPlaylistTrackItem.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

class MRLocatePreviewDataSourceOperation;

class MRBuildPlaylistFromLastfmTracksOperation final : public MRServiceOperation {
 public:
  // The wait for the finders and resolvers lasts at most this long for
  // each of them still pending when it begins.
  static constexpr int kSecondsPerPendingOperation = 30;

  // Both run on the main thread.
  using BeginningBlock = std::function<void(const std::string& artist, const std::string& title)>;
  using ProgressBlock = std::function<void(const std::shared_ptr<MRPlaylistTrackItem>& item)>;

  MRBuildPlaylistFromLastfmTracksOperation(MRRecommendParts parts,
                                           std::vector<LastfmTrack> lastfmTracks);
  void main() override;
  // Also cancels every finder and resolver still pending.
  void cancel() override;

  const std::vector<LastfmTrack>& lastfmTracks() const { return lastfmTracks_; }
  // Set them before the operation starts.
  void setBeginningBlock(BeginningBlock block) { beginningBlock_ = std::move(block); }
  void setProgressBlock(ProgressBlock block) { progressBlock_ = std::move(block); }

  // The track whose finder started last.
  std::string processingArtistName() const { return processing_.get().first; }
  std::string processingTrackTitle() const { return processing_.get().second; }

  // The artwork of a found track: the iTunes source's when there is one,
  // else Last.fm's extra large, large or medium image; none without any.
  static std::optional<std::string> artworkForTrack(const LastfmTrack& track,
                                                    const std::vector<MRPreviewDataSource>& found);

 private:
  void enqueueFinder(size_t index);
  void finderStarted(size_t index, size_t startedBefore);
  void finderCompleted(const MRLocatePreviewDataSourceOperation& finder, size_t index);
  void resolverCompleted(const std::shared_ptr<MRPlaylistTrackItem>& item,
                         std::vector<MRPreviewDataSource> resolved);
  // False once the wait has ended: nothing new is started then.
  bool addPending(std::shared_ptr<Operation> operation);
  void removePending(const Operation* operation);

  const MRRecommendParts parts_;
  const std::vector<LastfmTrack> lastfmTracks_;
  BeginningBlock beginningBlock_;
  ProgressBlock progressBlock_;
  MutexProtected<std::pair<std::string, std::string>> processing_;
  std::atomic<size_t> started_{0};

  struct Pending {
    std::vector<std::shared_ptr<Operation>> operations;
    bool closed = false;  // the wait has ended; late answers are dropped
  };
  MutexProtected<Pending> pending_;
};

}  // namespace mr
