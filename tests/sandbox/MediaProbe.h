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
  int channels = 0;
  int width = 0;
  double decodedSeconds = 0;  // audio: samples decoded over the rate
  int sampleRate = 0;         // audio: the decoder's rate
};

struct ProbedMedia {
  std::string brand;  // the container's major brand, "M4A " or "isom"
  std::vector<ProbedStream> streams;

  const ProbedStream* firstAudio() const { return first(true); }
  const ProbedStream* firstVideo() const { return first(false); }
  const ProbedStream* first(bool audio) const;
};

// Writes the bytes to `scratchPath`, then demuxes and decodes every packet.
Result<ProbedMedia> probeMediaBytes(const std::string& bytes, const std::string& scratchPath);

}  // namespace mr::test
