// A listener's fan relation to one artist: membership, unlocked badges and
// the activity counted towards further badges.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRArtistSummaryDocument.h"
#include "model/MRDocument.h"
#include "model/MRFanStatus.h"

namespace mr {

class MRFanUnlockedBadge : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t badgeId() const { return document_.intForKey("badgeId", 0); }
  std::optional<std::string> name() const { return document_.stringForKey("name"); }
};

class MRFanDocument : public MRDocument {
 public:
  using MRDocument::MRDocument;

  int32_t aid() const { return document_.intForKey("aid", 0); }
  std::optional<std::string> aname() const { return document_.stringForKey("aname"); }
  std::optional<std::string> screenName() const { return document_.stringForKey("screenName"); }
  std::optional<std::string> profileImageIconUrl() const {
    return document_.stringForKey("profileImageIconUrl");
  }
  // A relation is active unless the service says otherwise.
  bool active() const { return document_.boolForKey("active", true); }
  int32_t membership() const { return document_.intForKey("membership", 0); }
  int32_t membershipContractId() const { return document_.intForKey("membershipContractId", 0); }
  std::optional<MRArtistSummaryDocument> artist() const {
    return document_.documentForKey<MRArtistSummaryDocument>("artist");
  }
  // nullopt when the answer has no badge list.
  std::optional<std::vector<MRFanUnlockedBadge>> badges() const {
    return documentsForKey<MRFanUnlockedBadge>("badges");
  }
  std::optional<MRFanStatus> status() const {
    return document_.documentForKey<MRFanStatus>("status");
  }
};

}  // namespace mr
