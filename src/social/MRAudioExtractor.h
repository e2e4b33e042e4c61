// Extraction of a video's sound track into an M4A file (AAC at 44,100 Hz)
// for the favorites' offline cache. The interface stands alone so tests can
// put a fake in its place.
//
// Errors are in the domain kMRAudioExtractorErrorDomain ("mirelune.extract"):
//   1 NotMedia      the source cannot be opened or read as a media file
//   2 NoSoundTrack  the source is media but holds no sound track
//   3 Truncated     the source ends before its sound track does (cut short)
//   4 DiskFull      no room was left for the M4A
//   5 WriteFailed   the M4A could not be written or put in place otherwise
//   6 Stopped       the progress callback or the stop flag asked to stop
//   7 Busy          another extraction holds the conversion thread state
//   8 Codec         the sound could not be decoded, resampled or encoded
// After any error no M4A is left at the destination (nor a partial one
// beside it), and the source is never touched.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "base/Error.h"

namespace mr {

inline constexpr const char* kMRAudioExtractorErrorDomain = "mirelune.extract";

enum class MRAudioExtractorError : int64_t {
  NotMedia = 1,
  NoSoundTrack = 2,
  Truncated = 3,
  DiskFull = 4,
  WriteFailed = 5,
  Stopped = 6,
  Busy = 7,
  Codec = 8,
};

inline Error audioExtractorError(MRAudioExtractorError code, std::string description,
                                 std::string failureReason = {}) {
  return Error(kMRAudioExtractorErrorDomain, static_cast<int64_t>(code), std::move(description),
               std::move(failureReason));
}

inline bool isAudioExtractorError(const Error& error, MRAudioExtractorError code) {
  return error.domain() == kMRAudioExtractorErrorDomain &&
         error.code() == static_cast<int64_t>(code);
}

inline constexpr int kMRAudioExtractorSampleRate = 44100;
// The written file is readable by all, as other caches are.
inline constexpr unsigned kMRAudioExtractorFileMode = 0644;

// Called as the extraction advances with the fraction done (0 to 1); setting
// `stop` ends the extraction with the error Stopped.
using MRAudioExtractorProgress = std::function<void(double fraction, bool& stop)>;

class MRAudioExtractor {
 public:
  virtual ~MRAudioExtractor() = default;

  // Writes the sound track of `source` to `destination` as AAC in M4A at
  // 44,100 Hz, replacing a file there. `progress` may be empty; `stopFlag`
  // (may be null) is watched too, so another thread can stop the work.
  virtual Status convert(const std::string& source, const std::string& destination,
                         const MRAudioExtractorProgress& progress,
                         const std::atomic<bool>* stopFlag) = 0;
};

}  // namespace mr
