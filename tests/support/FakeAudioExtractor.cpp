#include "support/FakeAudioExtractor.h"

#include <algorithm>

#include "base/FileUtil.h"

namespace mr::test {

void FakeAudioExtractor::setContents(std::string contents) {
  setup_.with([&](Setup& setup) { setup.contents = std::move(contents); });
}

void FakeAudioExtractor::setSteps(int steps) {
  setup_.with([&](Setup& setup) { setup.steps = std::max(1, steps); });
}

void FakeAudioExtractor::setFailure(std::optional<Error> failure) {
  setup_.with([&](Setup& setup) { setup.failure = std::move(failure); });
}

std::vector<FakeAudioExtractor::Call> FakeAudioExtractor::calls() const {
  return setup_.with([](const Setup& setup) { return setup.calls; });
}

Status FakeAudioExtractor::convert(const std::string& source, const std::string& destination,
                                   const MRAudioExtractorProgress& progress,
                                   const std::atomic<bool>* stopFlag) {
  Setup setup = setup_.with([&](Setup& current) {
    current.calls.push_back({source, destination});
    return current;
  });
  if (setup.failure) return *setup.failure;
  if (!fileExists(source)) {
    return audioExtractorError(MRAudioExtractorError::NotMedia, source + " does not exist.");
  }
  bool stop = false;
  for (int step = 1; step <= setup.steps; ++step) {
    if (progress) progress(static_cast<double>(step) / setup.steps, stop);
    if (stop || (stopFlag != nullptr && stopFlag->load())) {
      return audioExtractorError(MRAudioExtractorError::Stopped,
                                 "The extraction of " + source + " was stopped.");
    }
  }
  if (Status written = writeFileAtomically(destination, setup.contents, kMRAudioExtractorFileMode);
      !written.ok()) {
    return audioExtractorError(MRAudioExtractorError::WriteFailed,
                               "Cannot write " + destination + ".", written.error().description());
  }
  return {};
}

}  // namespace mr::test
