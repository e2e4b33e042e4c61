// What the listener does, for the service's usage statistics. Fire and
// forget: nobody waits for these answers.
#pragma once

#include <optional>
#include <string>

#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIUsageLog : public MRAPIEndpoint {
 public:
  explicit MRAPIUsageLog(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "usage_log/launch".
  std::shared_ptr<HttpOperation> logLaunch() const;
  // "usage_log/search_keyword": "artistName" left out when there is none.
  std::shared_ptr<HttpOperation> logSearchKeywordWithArtistName(
      const std::optional<std::string>& artistName) const;
};

}  // namespace mr
