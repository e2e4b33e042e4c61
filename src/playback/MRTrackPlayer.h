// Plays one track item: picks its playable preview source, streams it
// through a media player, watches buffering and state, fades the volume in
// over the first 5 seconds and out over the last 5, and tells its delegate
// when the fade-out begins, so a playlist can start the next track under it.
//
// A track player lives on the main thread: its media player, status,
// timers, delegate calls and notices belong there. pause(), stop() and the
// other operations switch to the main thread (and wait) when called
// elsewhere. One track player serves one playback: once stopped or at its
// end it starts nothing more.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/Dispatcher.h"
#include "base/Env.h"
#include "base/NotificationCenter.h"
#include "base/Reachability.h"
#include "model/MRPlaylistTrackItem.h"
#include "playback/MRMediaPlayer.h"

namespace mr {

enum MRTrackPlayerStatus : int32_t {
  MRTrackPlayerStatusIdle = 10,      // created, nothing loaded
  MRTrackPlayerStatusLoading = 20,   // waiting for data
  MRTrackPlayerStatusPlaying = 30,   // rate above 0 and the player ready
  MRTrackPlayerStatusPaused = 40,    // by the listener, or stalled with enough buffered
  MRTrackPlayerStatusFinished = 50,  // reached the end of the item
};

// Notices on the notification centre; the object is the track player.
inline constexpr const char* MRTrackPlayerDidPlayTrackNotification = "mrtpdptn";
inline constexpr const char* MRTrackPlayerDidStopTrackNotification = "mrtpdstn";
inline constexpr const char* MRTrackPlayerDidChangeStatusNotification = "mrtpdcsn";
inline constexpr const char* MRTrackPlayerDidChangeBufferingProgressNotification = "mrtpdcbpn";

class MRTrackPlayer;

// The playlist player. Called on the main thread.
class MRTrackPlayerDelegate {
 public:
  virtual ~MRTrackPlayerDelegate() = default;
  // The source could not be loaded (not found, not media, an address that
  // expired...).
  virtual void trackPlayerFailedToInitializePlayerWithError(MRTrackPlayer& trackPlayer,
                                                            const Error& error) = 0;
  // Less than 5 seconds remain; once per playback, again after a rewind.
  virtual void trackPlayerIsOnBeginningOfFadingOut(MRTrackPlayer& trackPlayer) = 0;
  // The item failed after it had started (the stream broke off): it will
  // not play on.
  virtual void trackPlayerItemDidFail(MRTrackPlayer& /*trackPlayer*/, const Error& /*error*/) {}
};

// The screen. Called on the main thread.
class MRTrackPlayerViewDelegate {
 public:
  virtual ~MRTrackPlayerViewDelegate() = default;
  virtual void trackPlayerDidChangeStatus(MRTrackPlayer& /*trackPlayer*/,
                                          MRTrackPlayerStatus /*status*/) {}
  virtual void trackPlayerDidChangeBufferingProgress(MRTrackPlayer& /*trackPlayer*/,
                                                     float /*progress*/) {}
  virtual void trackPlayerDidEncounterError(MRTrackPlayer& /*trackPlayer*/,
                                            const Error& /*error*/) {}
};

// What the players work with: the surroundings (main loop, clock,
// reachability), the maker of media players and the notification centre.
struct MRPlayerParts {
  const Env* env = nullptr;
  std::shared_ptr<MRMediaPlayerFactory> mediaPlayers;
  std::shared_ptr<NotificationCenter> notifications;

  // The default surroundings, the factory set below (GStreamer's when none
  // was set) and the default centre.
  static MRPlayerParts defaults();
  // Another media backend for defaults().
  static void setDefaultMediaPlayerFactory(std::shared_ptr<MRMediaPlayerFactory> factory);
};

class MRTrackPlayer : public std::enable_shared_from_this<MRTrackPlayer> {
 public:
  static constexpr double kFadeDuration = 5.0;
  static constexpr double kReplayDelay = 1.5;
  static constexpr double kFadeOutCheckInterval = 0.1;
  // A stall with less than this ahead is loading; with more, a pause.
  static constexpr double kStallBufferedAhead = 2.0;
  static constexpr double kUnloadDelayAtEnd = 0.01;

  // Starts watching the network at once.
  static std::shared_ptr<MRTrackPlayer> initWithTrackItem(
      MRPlayerParts parts, std::shared_ptr<MRPlaylistTrackItem> trackItem);
  // Unloads a media player that is still there and stops watching the
  // network. The stop notice then names no object: the player is gone.
  ~MRTrackPlayer();
  MRTrackPlayer(const MRTrackPlayer&) = delete;
  MRTrackPlayer& operator=(const MRTrackPlayer&) = delete;

  // Plays the existing media player, or makes one for the playable source.
  // False when there is no item, no playable source, no media player could
  // be made, or this player was stopped before.
  bool play();
  // Paused by the listener: stays so through stalls and a returning link.
  void pause();
  void resume();
  // From the start, with a new fade-out announcement to come.
  void rewind();
  // Unloads the media player; the track player starts nothing afterwards.
  void stop();

  // Current time over duration, 0 until known. Main thread.
  double progress() const;
  // Seconds into the item; 0 without a media player. Main thread.
  double currentTime() const;
  // The asset's length once loaded, else the item's; 0 while unknown. Main
  // thread.
  double duration() const;
  MRTrackPlayerStatus status() const { return status_.load(); }
  float bufferingProgress() const { return bufferingProgress_.load(); }
  bool isFadingOut() const { return isFadingOut_.load(); }
  bool isUnloading() const { return unloading_.load(); }

  const std::shared_ptr<MRPlaylistTrackItem>& trackItem() const { return trackItem_; }
  // The source chosen when playback started.
  const std::optional<MRPreviewDataSource>& previewDataSource() const { return previewDataSource_; }
  // For a view that shows a video's picture; nullptr before start and after
  // unloading. Main thread.
  MRMediaPlayer* player() const { return player_.get(); }

  // Main thread.
  std::shared_ptr<MRTrackPlayerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<MRTrackPlayerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  std::shared_ptr<MRTrackPlayerViewDelegate> viewDelegate() const { return viewDelegate_.lock(); }
  void setViewDelegate(std::weak_ptr<MRTrackPlayerViewDelegate> delegate) {
    viewDelegate_ = std::move(delegate);
  }

 private:
  MRTrackPlayer(MRPlayerParts parts, std::shared_ptr<MRPlaylistTrackItem> trackItem);

  void onMain(const Task& task) const;
  bool playOnMain();
  bool initPlayerAndPlay();
  void assetLoaded(uint64_t generation, const Result<MediaAssetInfo>& asset);
  void setUpVolumeFades(const MediaAssetInfo& asset);
  void checkFadingOut();
  void observe(uint64_t generation, MRMediaPlayer::Property property);
  void rateChanged();
  void reachabilityChanged(NetworkStatus status);
  void setStatus(MRTrackPlayerStatus status);
  void unload();
  bool isAtEnd() const;
  void post(const char* name);

  const MRPlayerParts parts_;
  const std::shared_ptr<MRPlaylistTrackItem> trackItem_;
  std::optional<MRPreviewDataSource> previewDataSource_;

  // Main thread only.
  std::unique_ptr<MRMediaPlayer> player_;
  uint64_t generation_ = 0;  // tells a replaced media player's reports apart
  std::optional<double> assetDuration_;
  std::optional<TimerId> timerForFadingOut_;
  bool pausedByListener_ = false;
  bool wasReachable_ = true;
  std::weak_ptr<MRTrackPlayerDelegate> delegate_;
  std::weak_ptr<MRTrackPlayerViewDelegate> viewDelegate_;

  // Read anywhere.
  std::atomic<MRTrackPlayerStatus> status_{MRTrackPlayerStatusIdle};
  std::atomic<float> bufferingProgress_{0};
  std::atomic<bool> isFadingOut_{false};
  std::atomic<bool> unloading_{false};

  Reachability::Token reachabilityToken_ = 0;
};

}  // namespace mr
