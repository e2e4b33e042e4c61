// The streaming media player the track player drives: one item (a preview's
// address), played, paused and watched. The GStreamer implementation is the
// real one; a scripted fake on the fake clock serves the state tests.
//
// Contract:
// - Made, used and destroyed on the main thread. Every observation is
//   delivered there, through the observer, after the value changed; the
//   getters then answer the new value.
// - Times are seconds of the item's own time line.
// - Volume ramps hold to the samples: a ramp from 0 to 1 over [0, 5) means
//   the sample at 2.5 s plays at half volume, whatever the timers do.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Error.h"

namespace mr {

struct MediaTimeRange {
  double start = 0;
  double duration = 0;
  double end() const { return start + duration; }
  bool operator==(const MediaTimeRange&) const = default;
};

// One linear change of volume over [start, start + duration) of the item.
struct MediaVolumeRamp {
  double startVolume = 1;
  double endVolume = 1;
  double start = 0;
  double duration = 0;
  bool operator==(const MediaVolumeRamp&) const = default;
};

enum class MediaPlayerReadiness { Unknown, ReadyToPlay, Failed };
// Numbered as the platform's: failed is 2.
enum class MediaItemStatus { Unknown = 0, ReadyToPlay = 1, Failed = 2 };

// What the item's asset says once loaded: its length and its sound tracks.
struct MediaAssetInfo {
  double duration = 0;
  std::vector<int> audioTrackIds;
};

class MRMediaPlayer {
 public:
  enum class Property {
    Rate,
    Readiness,
    ItemStatus,
    LoadedTimeRanges,
    PlaybackBufferEmpty,
    PlaybackLikelyToKeepUp,
  };
  using Observer = std::function<void(Property)>;

  virtual ~MRMediaPlayer() = default;

  virtual void play() = 0;
  virtual void pause() = 0;
  // 0 when stopped, 1 when playing.
  virtual double rate() const = 0;
  virtual double currentTime() const = 0;
  virtual void seekToTime(double seconds) = 0;
  virtual MediaPlayerReadiness readiness() const = 0;

  // The item: its length (none until known), status and error, and what is
  // buffered.
  virtual std::optional<double> duration() const = 0;
  virtual MediaItemStatus itemStatus() const = 0;
  virtual std::optional<Error> itemError() const = 0;
  virtual std::vector<MediaTimeRange> loadedTimeRanges() const = 0;
  virtual bool playbackBufferEmpty() const = 0;
  virtual bool playbackLikelyToKeepUp() const = 0;

  // Loads the asset's duration and tracks; `done` runs once on the main
  // thread with them, or with why they cannot be known (a source that is
  // not media, a host that does not answer...).
  virtual void loadAsset(std::function<void(Result<MediaAssetInfo>)> done) = 0;
  // Replaces the volume ramps of these sound tracks (all when empty).
  virtual void setVolumeRamps(std::vector<MediaVolumeRamp> ramps,
                              const std::vector<int>& audioTrackIds = {}) = 0;

  // One observer; nullptr stops the observations.
  virtual void setObserver(Observer observer) = 0;
};

// Makes a media player for a preview's address (http, https or file).
class MRMediaPlayerFactory {
 public:
  virtual ~MRMediaPlayerFactory() = default;
  virtual std::unique_ptr<MRMediaPlayer> playerForUrl(const std::string& url) = 0;
};

}  // namespace mr
