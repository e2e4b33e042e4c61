// Reads a media file the way a player would, with FFmpeg's demuxers and
// decoders, so tests can tell that what the sandbox serves really plays.
#pragma once

#include <string>
#include <vector>

#include "base/Error.h"

namespace mr::test {

struct ProbedStream {
  std::string codec;  // "aac", "mpeg4"
  bool audio = false;
  int sampleRate = 0;
  int channels = 0;
  int width = 0;
  int height = 0;
  double decodedSeconds = 0;  // audio: samples decoded over the rate
  int decodedFrames = 0;      // video: pictures decoded
};

struct ProbedMedia {
  std::string format;  // the demuxer's names, "mov,mp4,m4a,3gp,3g2,mj2"
  std::string brand;   // the container's major brand, "M4A " or "isom"
  std::vector<ProbedStream> streams;

  const ProbedStream* firstAudio() const;
  const ProbedStream* firstVideo() const;
};

// Demuxes and decodes every packet of the file.
Result<ProbedMedia> probeMedia(const std::string& path);
// The same for bytes, written to `scratchPath` first.
Result<ProbedMedia> probeMediaBytes(const std::string& bytes, const std::string& scratchPath);

}  // namespace mr::test
