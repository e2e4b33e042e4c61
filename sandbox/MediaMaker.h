// Short, real media files for the sandbox's previews and video streams,
// encoded with FFmpeg's libraries: a stereo tone as AAC (FFmpeg's native
// encoder), alone in an M4A file or beside a small MPEG-4 picture (FFmpeg's
// "mpeg4" encoder) in an MP4 file. Files are written beside their path first
// and renamed into place, so a reader never sees half a file; the index
// ("moov") comes first so players can start before the end has arrived.
// FFmpeg's own log is turned down to warnings the first time a file is made.
#pragma once

#include <cstdint>
#include <string>

#include "base/Error.h"

namespace mr::sandbox {

struct Tone {
  double seconds = 4.0;
  double frequency = 440.0;  // the left channel; the right sounds a fifth above
  int sampleRate = 44100;
};

struct VideoClip {
  Tone tone;
  int width = 160;  // even
  int height = 90;  // even
  int framesPerSecond = 10;
  uint8_t red = 40;  // the background; a light bar sweeps across it
  uint8_t green = 90;
  uint8_t blue = 160;
};

class MediaMaker {
 public:
  // An M4A file holding one AAC-LC stereo track.
  static Status writeAudio(const std::string& path, const Tone& tone);
  // An MP4 file holding an MPEG-4 video track and an AAC-LC stereo track.
  static Status writeVideo(const std::string& path, const VideoClip& video);
};

}  // namespace mr::sandbox
