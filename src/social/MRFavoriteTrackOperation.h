// Reports a new favorite to the service: its artist's information, the
// track, the favorite itself, then sharing it on the listener's connected
// accounts when auto-sharing is on. The local favorite exists already and
// stays whatever the service says.
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
#include "service/ovloConnectionList.h"
#include "service/ovloRequest.h"

namespace mr {

class MRFavoriteTrackOperation final : public Operation {
 public:
  // The longest a step waits for its answer.
  static constexpr double kStepDeadlineSeconds = 180;

  MRFavoriteTrackOperation(
      MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune,
      std::shared_ptr<MRFavoriteTrackMixTrackItem> subjectTrackItem,
      std::shared_ptr<ovloConnectionList> connections = ovloConnectionList::sharedConnectionList());

  // Adds itself to the network queue, high priority.
  void submit();
  void main() override;
  // Also cancels the step in flight.
  void cancel() override;

  bool retrieveArtistInfo();
  bool updateTrackAndArtistInfo();
  bool addToFavorites();
  // False too when there is nothing to share on.
  bool share();

  std::optional<LastfmArtist> artistInfo() const { return artistInfo_.get(); }
  std::optional<std::string> wtid() const { return ids_.get().wtid; }
  std::optional<std::string> waid() const { return ids_.get().waid; }
  std::optional<std::string> trackViewUrl() const { return ids_.get().trackViewUrl; }
  // The last step that ran: "artist", "track", "add", "share".
  std::string lastStep() const { return lastStep_.get(); }
  // Whether the service has the favorite (the add step succeeded).
  bool added() const { return added_.get(); }

 private:
  struct ServiceIds {
    std::optional<std::string> wtid;
    std::optional<std::string> waid;
    std::optional<std::string> trackViewUrl;
  };
  void setCurrentOp(const std::function<void()>& cancelIt);
  bool waitForAnswer(const std::function<bool()>& arrived);

  MRRecommendParts parts_;
  std::shared_ptr<MRAPIBase> mirelune_;
  std::shared_ptr<MRFavoriteTrackMixTrackItem> item_;
  std::shared_ptr<ovloConnectionList> connections_;
  MutexProtected<std::optional<LastfmArtist>> artistInfo_;
  MutexProtected<ServiceIds> ids_;
  MutexProtected<std::string> lastStep_;
  MutexProtected<bool> added_{false};
  MutexProtected<std::function<void()>> currentOp_;
};

}  // namespace mr
