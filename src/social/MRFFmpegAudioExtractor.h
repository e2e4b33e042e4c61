// The audio extractor on FFmpeg's libraries. A sound track that already is
// AAC at 44,100 Hz is copied packet by packet into the M4A; any other is
// decoded, resampled and encoded with FFmpeg's native AAC encoder. The M4A
// is written under a temporary name beside the destination and renamed into
// place only when complete.
#pragma once

#include "social/MRAudioExtractor.h"
#include "social/MRConversionThreadState.h"

namespace mr {

class MRFFmpegAudioExtractor final : public MRAudioExtractor {
 public:
  // The state is shared by the extractors of a process: one converts at a
  // time, and the others are refused with Busy.
  explicit MRFFmpegAudioExtractor(MRConversionThreadState& threadState)
      : threadState_(threadState) {}

  Status convert(const std::string& source, const std::string& destination,
                 const MRAudioExtractorProgress& progress,
                 const std::atomic<bool>* stopFlag) override;

 private:
  MRConversionThreadState& threadState_;
};

}  // namespace mr
