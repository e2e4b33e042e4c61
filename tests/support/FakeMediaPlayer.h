// A scripted media player on the fake clock, for the player state tests.
// Its time moves with the clock while it plays (ready, rate 1, not
// stalled); at the item's end it stops by itself, as a real one does. Each
// change is reported to the observer on a later turn of the main loop. The
// test drives what the network would: readiness, buffered ranges, stalls,
// buffer flags, the asset's answer and a failing item; and reads back what
// the track player asked of it.
//
// Everything here runs on the main loop's thread, as the real player does.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Dispatcher.h"
#include "playback/MRMediaPlayer.h"

namespace mr::test {

// How a fake player behaves; set before the player is made.
struct FakeMediaScript {
  double duration = 30;
  std::vector<int> audioTrackIds = {1};
  // loadAsset answers with this error instead of the asset.
  std::optional<Error> assetError;
  // False: the asset answers only when the test calls answerAsset().
  bool answerAssetAtOnce = true;
  // False: not ready (and no duration) until becomeReady().
  bool readyAtOnce = true;
  // The whole item is buffered from the start; else nothing is.
  bool fullyBuffered = true;
};

class FakeMediaPlayer : public std::enable_shared_from_this<FakeMediaPlayer> {
 public:
  FakeMediaPlayer(Clock& clock, Dispatcher& main, std::string url, FakeMediaScript script);
  ~FakeMediaPlayer();

  // ---- What the track player did.
  const std::string& url() const { return url_; }
  // "play", "pause", "seek 12.5", "loadAsset", "setVolumeRamps", in order.
  const std::vector<std::string>& calls() const { return calls_; }
  int count(const std::string& call) const;
  // The ramps last set, and for which sound tracks; none when never set.
  const std::optional<std::vector<MediaVolumeRamp>>& volumeRamps() const { return ramps_; }
  const std::vector<int>& rampedTrackIds() const { return rampedTrackIds_; }
  // The track player let go of it.
  bool isReleased() const { return released_; }
  bool isObserved() const { return static_cast<bool>(observer_); }

  // ---- What the network does.
  void becomeReady();
  void setLoadedTimeRanges(std::vector<MediaTimeRange> ranges);
  // The buffer runs dry `bufferedAhead` seconds past the current time: the
  // time stops there and the rate drops to 0.
  void stall(double bufferedAhead);
  // Data flows again: the buffer is full and likely to keep up.
  void recover();
  void setPlaybackBufferEmpty(bool empty);
  void setPlaybackLikelyToKeepUp(bool likely);
  // The item fails mid-way (the connection broke off).
  void failItem(Error error);
  // Answers a held-back asset load.
  void answerAsset();

  // ---- MRMediaPlayer, through the handle the factory gives out.
  void play();
  void pause();
  double rate() const { return rate_; }
  double currentTime() const;
  void seekToTime(double seconds);
  MediaPlayerReadiness readiness() const { return readiness_; }
  std::optional<double> duration() const;
  MediaItemStatus itemStatus() const { return itemStatus_; }
  std::optional<Error> itemError() const { return itemError_; }
  std::vector<MediaTimeRange> loadedTimeRanges() const { return loaded_; }
  bool playbackBufferEmpty() const { return bufferEmpty_; }
  bool playbackLikelyToKeepUp() const { return likelyToKeepUp_; }
  void loadAsset(std::function<void(Result<MediaAssetInfo>)> done);
  void setVolumeRamps(std::vector<MediaVolumeRamp> ramps, const std::vector<int>& audioTrackIds);
  void setObserver(MRMediaPlayer::Observer observer) { observer_ = std::move(observer); }
  void release();

 private:
  bool advancing() const;
  // Fixes the current time as the new starting point.
  void freeze();
  // Re-arms the end-of-item timer for the current state.
  void scheduleEnd();
  void reachedEnd();
  void notify(MRMediaPlayer::Property property);
  void deliverAsset();

  Clock& clock_;
  Dispatcher& main_;
  const std::string url_;
  const FakeMediaScript script_;

  double position_ = 0;
  SteadyTime anchor_;
  double rate_ = 0;
  bool stalled_ = false;
  MediaPlayerReadiness readiness_ = MediaPlayerReadiness::Unknown;
  MediaItemStatus itemStatus_ = MediaItemStatus::Unknown;
  std::optional<Error> itemError_;
  std::vector<MediaTimeRange> loaded_;
  bool bufferEmpty_ = false;
  bool likelyToKeepUp_ = false;
  std::function<void(Result<MediaAssetInfo>)> pendingAsset_;
  std::optional<TimerId> endTimer_;
  MRMediaPlayer::Observer observer_;
  std::vector<std::string> calls_;
  std::optional<std::vector<MediaVolumeRamp>> ramps_;
  std::vector<int> rampedTrackIds_;
  bool released_ = false;
};

class FakeMediaPlayerFactory final : public MRMediaPlayerFactory {
 public:
  FakeMediaPlayerFactory(Clock& clock, Dispatcher& main) : clock_(clock), main_(main) {}

  void setDefaultScript(FakeMediaScript script) { defaultScript_ = std::move(script); }
  void setScript(const std::string& url, FakeMediaScript script) {
    scripts_[url] = std::move(script);
  }

  std::unique_ptr<MRMediaPlayer> playerForUrl(const std::string& url) override;

  // Every player made, oldest first.
  const std::vector<std::shared_ptr<FakeMediaPlayer>>& players() const { return players_; }
  // The newest player made for the address, or nullptr.
  std::shared_ptr<FakeMediaPlayer> playerMadeFor(const std::string& url) const;

 private:
  Clock& clock_;
  Dispatcher& main_;
  FakeMediaScript defaultScript_;
  std::map<std::string, FakeMediaScript> scripts_;
  std::vector<std::shared_ptr<FakeMediaPlayer>> players_;
};

}  // namespace mr::test
