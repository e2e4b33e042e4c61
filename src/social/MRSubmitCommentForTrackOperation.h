// A comment on a track, sent to the Mirelune service and optionally shared
// on the listener's Facebook and Twitter connections. Without a comment it
// only registers the track, which gives its store page (the shop page).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/MRRetryableNetworkOperation.h"
#include "base/MRServiceOperationQueue.h"
#include "base/MutexProtected.h"
#include "model/LastfmArtist.h"
#include "model/MRPlaylistTrackItem.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloConnectionList.h"
#include "service/ovloRequest.h"

namespace mr {

class MRSubmitCommentForTrackOperation final : public MRRetryableNetworkOperation {
 public:
  MRSubmitCommentForTrackOperation(MRRecommendParts parts, std::shared_ptr<MRAPIBase> mirelune,
                                   MRPlaylistTrackItem trackItem,
                                   std::optional<std::string> comment,
                                   std::optional<std::vector<int64_t>> shareOn);

  // Adds it to the queue and shows it in the status list.
  void submit(MRServiceOperationQueue& queue);

  // Ends with 2 when every step succeeded, 11 when cancelled, else 12.
  void main() override;
  // Also cancels the step in flight.
  void cancel() override;
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override;

  // The steps; each returns whether it succeeded.
  bool retrieveArtistInfo();
  bool updateTrackAndArtistInfo();
  bool submitComment();

  const MRPlaylistTrackItem& subjectTrackItem() const { return trackItem_; }
  const std::optional<std::string>& subjectComment() const { return comment_; }
  const std::optional<std::vector<int64_t>>& subjectShareOn() const { return shareOn_; }
  std::optional<LastfmArtist> artistInfo() const { return artistInfo_.get(); }
  std::optional<std::string> wtid() const { return ids_.get().wtid; }
  std::optional<std::string> waid() const { return ids_.get().waid; }
  std::optional<std::string> trackViewUrl() const { return ids_.get().trackViewUrl; }

 private:
  struct Ids {
    std::optional<std::string> wtid, waid, trackViewUrl;
  };
  void setCurrentOp(const std::function<void()>& cancelIt);
  // Waits for a service call's answer; true when it succeeded.
  template <class Call>
  bool callService(Call&& call);

  MRRecommendParts parts_;
  std::shared_ptr<MRAPIBase> mirelune_;
  const MRPlaylistTrackItem trackItem_;
  const std::optional<std::string> comment_;
  const std::optional<std::vector<int64_t>> shareOn_;
  MutexProtected<std::optional<LastfmArtist>> artistInfo_;
  MutexProtected<Ids> ids_;
  MutexProtected<std::function<void()>> currentOp_;
};

// What the comment form sends: the text trimmed of white space and line
// breaks at both ends, and the ids of the ticked connections, Facebook's
// first, then Twitter's (a service without a connection adds nothing).
std::string commentFormText(const std::string& input);
std::vector<int64_t> commentFormShareList(const ovloConnectionList& connections,
                                          bool shareOnFacebook, bool shareOnTwitter);

}  // namespace mr
