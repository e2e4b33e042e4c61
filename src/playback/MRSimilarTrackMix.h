// The tracks Last.fm finds similar to one track, each listed once one of
// its previews plays. The recommend mix build, which asks Last.fm too,
// stands aside while the mix is built and is asked for again afterwards.
#pragma once

#include <string>

#include "playback/MRLastfmTrackMix.h"

namespace mr {

class MRSimilarTrackMix final : public MRLastfmTrackMix {
 public:
  // How many similar tracks Last.fm is asked for.
  static constexpr int kSimilarTrackLimit = 50;
  // How long the mix lets a build it cancelled wind down before it asks
  // for a new one.
  static constexpr double kBuildWindDownSeconds = 60;

  MRSimilarTrackMix(MRMixParts parts, std::string artistName, std::string trackTitle);

  void main() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const std::string& artistName() const { return artistName_; }
  const std::string& trackTitle() const { return trackTitle_; }

 private:
  const std::string artistName_;
  const std::string trackTitle_;
};

}  // namespace mr
