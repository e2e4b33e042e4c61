// The most played tracks of one artist, as Last.fm lists them, each listed
// once one of its previews plays; the finished mix is shared with the
// Mirelune service.
#pragma once

#include <memory>
#include <string>

#include "playback/MRLastfmTrackMix.h"

namespace mr {

class MRSendArtistTopTrackMixOperation;

class MRArtistTopTrackMix final : public MRLastfmTrackMix {
 public:
  // How many top tracks Last.fm is asked for.
  static constexpr int kTopTrackLimit = 80;

  MRArtistTopTrackMix(MRMixParts parts, std::string artistName);

  void main() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  const std::string& artistName() const { return artistName_; }

  // Sends the mix to the service from the network queue; the operation,
  // or nullptr when there is no queue to send it from.
  std::shared_ptr<MRSendArtistTopTrackMixOperation> sendMixToServer();

 private:
  const std::string artistName_;
};

}  // namespace mr
