// Remembers every track that starts playing: removes it from the stored
// recommendations (queueing a new recommend mix build when fewer than 30
// remain), adds it to the local play history with its preview sources, and
// reports it to the service with the class name of the mix it came from.
// It follows the players' notices; the work runs on the background pool,
// one task per started track.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MRServiceOperationQueue.h"
#include "base/NotificationCenter.h"
#include "model/MRPlaylist.h"
#include "playback/MRPlaylistPlayer.h"
#include "playback/MRRecordPlaybackHistoryOperation.h"
#include "recommend/MRRecommendParts.h"

namespace mr {

class MRPlaybackHistoryObserver : public std::enable_shared_from_this<MRPlaybackHistoryObserver> {
 public:
  // Below this many stored recommendations a new build is queued.
  static constexpr int64_t kRecommendTrackLowWater = 30;

  struct Parts {
    // The surroundings, the store, the network queue and Last.fm.
    MRRecommendParts recommend;
    std::shared_ptr<MRAPIBase> mirelune;
    // Where the recommend mix build is queued, and its kind there (its
    // maker is registered by the layer that owns it); none queues nothing.
    std::shared_ptr<MRServiceOperationQueue> serviceQueue;
    std::optional<MRServiceOperationKind> recommendMixBuildKind;
    std::shared_ptr<NotificationCenter> notifications;
    // Whose playlist names the mix; the shared playlist player when empty.
    std::function<std::shared_ptr<MRPlaylistPlayer>()> playlistPlayer;
    // Told of each report sent to the service (for tests).
    std::function<void(std::shared_ptr<MRRecordPlaybackHistoryOperation>)> onSubmit;
  };

  // Starts following the notices.
  static std::shared_ptr<MRPlaybackHistoryObserver> create(Parts parts);
  ~MRPlaybackHistoryObserver();

  // The shared observer: made once by the first call with parts (the
  // session does it when ready to serve); nullptr before.
  static std::shared_ptr<MRPlaybackHistoryObserver> sharedObserver();
  static std::shared_ptr<MRPlaybackHistoryObserver> sharedObserver(const Parts& parts);
  static void setSharedObserver(std::shared_ptr<MRPlaybackHistoryObserver> observer);

  // The class name of a mix, as the service records it ("MRRecommendMix").
  static std::string playlistName(const MRPlaylist& playlist);

  // The notice handlers, on the main thread.
  void trackPlayerDidPlayTrack(const Notification& notification);
  void trackPlayerDidStopTrack(const Notification& notification);
  void playlistPlayerDidForward(const Notification& notification);
  void playlistPlayerDidRewind(const Notification& notification);
  void playlistPlayerDidBackward(const Notification& notification);
  // Keeps nothing: a debug line.
  void logEvent(const std::string& event, const std::shared_ptr<MRPlaylist>& playlist,
                const std::shared_ptr<MRPlaylistTrackItem>& trackItem) const;

  // The three recordings of a started track, in order, on the calling
  // thread. Without a mix nothing is sent to the service.
  void recordPlayback(const std::shared_ptr<MRPlaylistTrackItem>& item,
                      const std::shared_ptr<MRPlaylist>& playlist);
  void removeFromRecommendMix(const MRPlaylistTrackItem& item);
  void addToLocalHistory(const MRPlaylistTrackItem& item);

 private:
  explicit MRPlaybackHistoryObserver(Parts parts) : parts_(std::move(parts)) {}
  void start();
  std::shared_ptr<MRPlaylistPlayer> playlistPlayer() const;
  void logPlaylistEvent(const std::string& event, const Notification& notification) const;

  const Parts parts_;
  std::vector<NotificationCenter::Token> tokens_;
};

}  // namespace mr
