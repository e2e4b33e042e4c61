// Walks a mix in list order, one track player per track: the next track
// starts when the current one begins to fade out, so consecutive tracks
// cross-fade. Forward, backward, rewind, pause, resume and stop; no shuffle
// and no repeat. Used on the main thread.
#pragma once

#include <memory>
#include <optional>

#include "base/MutexProtected.h"
#include "model/MRPlaylist.h"
#include "playback/MRTrackPlayer.h"

namespace mr {

// Notices on the notification centre; the object is the playlist player and
// MRPlaylistPlayerTrackPlayerKey in the user info holds the track player
// (std::shared_ptr<MRTrackPlayer>) that started or restarted.
inline constexpr const char* MRPlaylistPlayerForwardNotification = "mrppForward";
inline constexpr const char* MRPlaylistPlayerBackwardNotification = "mrppBackward";
inline constexpr const char* MRPlaylistPlayerRewindNotification = "mrppRewind";
inline constexpr const char* MRPlaylistPlayerTrackPlayerKey = "trackPlayer";

class MRPlaylistPlayer;

// Every operation is optional. Called on the main thread.
class MRPlaylistPlayerDelegate {
 public:
  virtual ~MRPlaylistPlayerDelegate() = default;
  // Whether to start the track that comes next on its own.
  virtual bool playlistPlayerWillPlayTrack(MRPlaylistPlayer& /*player*/,
                                           const std::shared_ptr<MRPlaylistTrackItem>& /*item*/) {
    return true;
  }
  virtual void playlistPlayerWillFinishTrack(MRPlaylistPlayer& /*player*/,
                                             const std::shared_ptr<MRPlaylistTrackItem>& /*item*/) {
  }
  virtual void playlistPlayerDidStartPlayingTrack(
      MRPlaylistPlayer& /*player*/, const std::shared_ptr<MRPlaylistTrackItem>& /*item*/,
      const std::shared_ptr<MRTrackPlayer>& /*trackPlayer*/) {}
  virtual void playlistPlayerDidFailToInitializeTrackPlayer(
      MRPlaylistPlayer& /*player*/, const std::shared_ptr<MRTrackPlayer>& /*trackPlayer*/,
      const Error& /*error*/) {}
};

class MRPlaylistPlayer final : public MRTrackPlayerDelegate,
                               public std::enable_shared_from_this<MRPlaylistPlayer> {
 public:
  // Within this much of its start, backward goes to the previous track.
  static constexpr double kBackwardRewindThreshold = 5.0;

  static std::shared_ptr<MRPlaylistPlayer> create(MRPlayerParts parts);
  // Made on first use, without a playlist; the playlist screen attaches
  // the mix it shows. Tests may replace it.
  static std::shared_ptr<MRPlaylistPlayer> sharedPlaylistPlayer();
  static void setSharedPlaylistPlayer(std::shared_ptr<MRPlaylistPlayer> player);

  // Read anywhere.
  std::shared_ptr<MRPlaylist> playlist() const { return playlist_.get(); }
  void setPlaylist(std::shared_ptr<MRPlaylist> playlist) { playlist_.set(std::move(playlist)); }

  const std::shared_ptr<MRTrackPlayer>& currentTrackPlayer() const { return currentTrackPlayer_; }
  // The one fading out under the current one, if any.
  const std::shared_ptr<MRTrackPlayer>& previousTrackPlayer() const { return previousTrackPlayer_; }
  std::shared_ptr<MRPlaylistPlayerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<MRPlaylistPlayerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }

  // The current track player's play; forward when there is none. A current
  // track that was stopped or has ended starts again on a new track player.
  bool play();
  bool playWithIndex(size_t index);
  // Starts the item on a new track player; the current one fades out under
  // it when it is fading already, and stops otherwise. False (and nothing
  // changes) when the item cannot start.
  bool playWithTrackItem(const std::shared_ptr<MRPlaylistTrackItem>& item);
  // Each returns whether a track was started (or, for backward 5 seconds or
  // more into a track, restarted).
  bool forward();
  bool backward();
  void rewind();
  void pause();
  void resume();
  void stop();

  // The item after the current one (the first when nothing plays or the
  // current one left the mix); none past the end.
  std::shared_ptr<MRPlaylistTrackItem> determineNextTrackToPlay() const;
  // The item before the current one (the first when nothing plays or it
  // left the mix); none on the first.
  std::shared_ptr<MRPlaylistTrackItem> determinePrevTrackToPlay() const;

  // MRTrackPlayerDelegate.
  void trackPlayerFailedToInitializePlayerWithError(MRTrackPlayer& trackPlayer,
                                                    const Error& error) override;
  void trackPlayerIsOnBeginningOfFadingOut(MRTrackPlayer& trackPlayer) override;
  void trackPlayerItemDidFail(MRTrackPlayer& trackPlayer, const Error& error) override;

 private:
  explicit MRPlaylistPlayer(MRPlayerParts parts) : parts_(std::move(parts)) {}

  void setCurrentTrackPlayer(std::shared_ptr<MRTrackPlayer> player);
  void setPreviousTrackPlayer(std::shared_ptr<MRTrackPlayer> player);
  std::optional<size_t> currentIndex() const;
  // After a track failed: the first of the following items that starts.
  void goOnAfter(const std::shared_ptr<MRPlaylistTrackItem>& failed);
  void post(const char* name, const std::shared_ptr<MRTrackPlayer>& trackPlayer);

  const MRPlayerParts parts_;
  MutexProtected<std::shared_ptr<MRPlaylist>> playlist_;
  std::shared_ptr<MRTrackPlayer> currentTrackPlayer_;
  std::shared_ptr<MRTrackPlayer> previousTrackPlayer_;
  std::weak_ptr<MRPlaylistPlayerDelegate> delegate_;
};

}  // namespace mr
