// The media player on GStreamer: one `playbin` per item, for http, https and
// file addresses. Only the sound is decoded (an MP4 video's picture is left
// alone until a view asks for it). The item prerolls paused as soon as the
// player is made, so its length and sound tracks are known before play, for
// streamed sources too. Volume ramps drive a `volume` element through a
// linear control source, so they hold to the samples.
//
// Bus messages arrive on the GLib main context that was the thread's default
// when the player was made: the program's main loop.
//
// Beyond the interface's contract:
// - play() and pause() announce the rate even when it stays the same, so a
//   watcher looks again (readiness may have changed meanwhile).
// - Playback begins once the item has prerolled and the answers of
//   loadAsset() (asked before play() or in the same turn of the loop) have
//   run, so ramps set in them hold from the first sample;
//   ramps that change samples already decoded make the player seek back to
//   where the listener is and decode them again.
// - A stream that runs short (GStreamer's buffering below 100%) is buffer
//   empty and not likely to keep up; if that happens while playing, the rate
//   drops to 0. It plays on by itself once enough has arrived, unless paused
//   meanwhile. What it has downloaded is its loaded range.
// - At the end the rate drops to 0 and currentTime() answers the duration;
//   play() there does nothing until a seek.
// - Audio track ids are 1, 2, ... in the order GStreamer lists the streams.
#pragma once

#include <memory>
#include <string>

#include "base/Paths.h"
#include "playback/MRMediaPlayer.h"

namespace mr {

// Errors of the media player: domain kMediaErrorDomain.
inline constexpr const char* kMediaErrorDomain = "mirelune.media";
enum class MediaErrorCode {
  Unavailable = 1,  // GStreamer or a needed element is missing
  AudioOutput = 2,  // the sound output asked for cannot be made
  NotFound = 3,     // no such file, or the server answered 404
  Unreadable = 4,   // the source cannot be opened or read (network, permissions)
  NotMedia = 5,     // what arrived is no sound or video we can play
  Decode = 6,       // the media is damaged
  Other = 9,
};

class GstMediaPlayer final : public MRMediaPlayer {
 public:
  // `audioSink` is a gst-launch description of the sound output, or empty
  // for the sound card GStreamer picks.
  GstMediaPlayer(const std::string& url, const std::string& audioSink);
  ~GstMediaPlayer() override;
  GstMediaPlayer(const GstMediaPlayer&) = delete;
  GstMediaPlayer& operator=(const GstMediaPlayer&) = delete;

  void play() override;
  void pause() override;
  double rate() const override;
  double currentTime() const override;
  void seekToTime(double seconds) override;
  MediaPlayerReadiness readiness() const override;

  std::optional<double> duration() const override;
  MediaItemStatus itemStatus() const override;
  std::optional<Error> itemError() const override;
  std::vector<MediaTimeRange> loadedTimeRanges() const override;
  bool playbackBufferEmpty() const override;
  bool playbackLikelyToKeepUp() const override;

  void loadAsset(std::function<void(Result<MediaAssetInfo>)> done) override;
  void setVolumeRamps(std::vector<MediaVolumeRamp> ramps,
                      const std::vector<int>& audioTrackIds = {}) override;
  void setObserver(Observer observer) override;

  // For a view that shows a video source's picture: decodes the picture
  // from the next start of the item on. Nothing shows it yet.
  void setWantsPicture(bool wants);
  bool wantsPicture() const;

 private:
  struct Core;
  std::shared_ptr<Core> core_;
};

// Makes GStreamer players. The sound goes to the card GStreamer chooses;
// MIRELUNE_AUDIO_SINK names another output as a gst-launch description
// ("fakesink", "filesink location=/tmp/out-{n}.raw"), where "{n}" becomes
// the player's number from this factory (1, 2, ...), so two players of a
// cross-fade do not write into one file. Without a sound device, players
// play to a null sink at the pace of the clock, and say so once.
class GstMediaPlayerFactory final : public MRMediaPlayerFactory {
 public:
  explicit GstMediaPlayerFactory(EnvironmentLookup environment = processEnvironment);

  std::unique_ptr<MRMediaPlayer> playerForUrl(const std::string& url) override;

  // Starts GStreamer once per process; the error when it cannot start.
  static Status initialize();

 private:
  EnvironmentLookup environment_;
  int nextPlayer_ = 1;
};

}  // namespace mr
