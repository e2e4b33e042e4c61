// Reports one played track to the Mirelune service: the artist's Last.fm
// information first, then the track registered with it, then the playback
// with the name of the mix it came from. Nothing is shown: a step that
// fails ends the operation quietly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/MutexProtected.h"
#include "base/Operation.h"
#include "model/LastfmArtist.h"
#include "model/MRPlaylistTrackItem.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloRequest.h"

namespace mr {

class MRRecordPlaybackHistoryOperation final : public Operation {
 public:
  // How long one step may take: the request layer gives up on a request
  // after 60 seconds, and the artist step may first wait for a place on
  // the network queue.
  static constexpr double kStepDeadlineSeconds = 180;

  MRRecordPlaybackHistoryOperation(MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune,
                                   std::shared_ptr<MRPlaylistTrackItem> subjectTrackItem,
                                   std::string subjectPlaylistName);

  // Adds it to the network queue with priority 4.
  void submit();
  void main() override;
  // Also cancels the step in flight.
  void cancel() override;

  const std::shared_ptr<MRPlaylistTrackItem>& subjectTrackItem() const { return item_; }
  const std::string& subjectPlaylistName() const { return playlistName_; }

  // What the steps brought; read after the operation.
  std::optional<LastfmArtist> artistInfo() const { return artistInfo_.get(); }
  std::optional<std::string> waid() const { return ids_.get().waid; }
  std::optional<std::string> wtid() const { return ids_.get().wtid; }
  std::optional<std::string> trackViewUrl() const { return ids_.get().trackViewUrl; }
  // The service took the playback.
  bool recorded() const { return recorded_.get(); }

 private:
  struct ServiceIds {
    std::optional<std::string> waid;
    std::optional<std::string> wtid;
    std::optional<std::string> trackViewUrl;
  };
  std::optional<LastfmArtist> retrieveArtistInfo();
  bool updateTrack(const LastfmArtist& artist);
  bool addPlayback();
  void setCurrentOp(const std::function<void()>& cancelIt);

  const MRRecommendParts parts_;
  const std::shared_ptr<MRAPIBase> mirelune_;
  const std::shared_ptr<MRPlaylistTrackItem> item_;
  const std::string playlistName_;

  MutexProtected<std::optional<LastfmArtist>> artistInfo_;
  MutexProtected<ServiceIds> ids_;
  MutexProtected<bool> recorded_;
  // Cancels what the operation waits for (the artist lookup or a request).
  MutexProtected<std::function<void()>> currentOp_;
};

}  // namespace mr
