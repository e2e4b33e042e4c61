// Badges artists offer to their fans.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MRBadgeDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIBadge : public MRAPIEndpoint {
 public:
  // (success, one badge per element of an array result, else empty).
  using BadgesCompletion =
      std::function<void(bool success, const std::vector<MRBadgeDocument>& badges)>;
  // (true, the badge) when successful with a result, else (false, none).
  using BadgeCompletion =
      std::function<void(bool success, const std::optional<MRBadgeDocument>& badge)>;

  explicit MRAPIBadge(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "badge/get_with_waid": the badges of an artist.
  std::shared_ptr<HttpOperation> getWithWaid(const std::string& waid,
                                             const std::optional<Value>& fields,
                                             BadgesCompletion completion,
                                             MRAPIErrorBlock error) const;
  // "badge/get_with_badge_id".
  std::shared_ptr<HttpOperation> getWithBadgeId(int32_t badgeId, const std::optional<Value>& fields,
                                                BadgeCompletion completion,
                                                MRAPIErrorBlock error) const;
};

}  // namespace mr
