// An audio extractor for tests of its users: it writes a small file in place
// of the M4A, reports a few progress steps, honours the stop flag and can be
// told to fail. It records every call.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/MutexProtected.h"
#include "social/MRAudioExtractor.h"

namespace mr::test {

class FakeAudioExtractor final : public MRAudioExtractor {
 public:
  struct Call {
    std::string source;
    std::string destination;
  };

  // What the written "M4A" holds.
  void setContents(std::string contents);
  // How many progress steps a conversion reports (the last one is 1.0).
  void setSteps(int steps);
  // Every conversion from now on fails with this error (none: succeeds).
  void setFailure(std::optional<Error> failure);

  std::vector<Call> calls() const;

  // A missing source is the error NotMedia; a stop from the callback or the
  // flag is Stopped. Neither leaves a file at the destination.
  Status convert(const std::string& source, const std::string& destination,
                 const MRAudioExtractorProgress& progress,
                 const std::atomic<bool>* stopFlag) override;

 private:
  struct Setup {
    std::string contents = "fake m4a";
    int steps = 4;
    std::optional<Error> failure;
    std::vector<Call> calls;
  };
  MutexProtected<Setup> setup_;
};

}  // namespace mr::test
