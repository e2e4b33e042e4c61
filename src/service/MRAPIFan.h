// The listener as a fan of artists, and the fans of an artist.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/MRFanDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIFan : public MRAPIEndpoint {
 public:
  // (success, the document of the result as it came back). Without an
  // envelope: (false, a document without a dictionary).
  using FanCompletion = std::function<void(bool success, const MRFanDocument& fan)>;
  // (success, one fan per element of an array result, else empty).
  using FansCompletion = std::function<void(bool success, const std::vector<MRFanDocument>& fans)>;

  explicit MRAPIFan(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "fan/add": the listener becomes a fan of the artist.
  std::shared_ptr<HttpOperation> addWithWaid(const std::string& waid, FanCompletion completion,
                                             MRAPIErrorBlock error) const;
  // "fan/get": the listener's fan relations.
  std::shared_ptr<HttpOperation> getWithFields(const std::optional<Value>& fields,
                                               FansCompletion completion,
                                               MRAPIErrorBlock error) const;
  // "fan/get_with_waid": a page of the artist's fans.
  std::shared_ptr<HttpOperation> getWithWaid(const std::string& waid, int32_t from, int32_t count,
                                             const std::optional<Value>& fields,
                                             FansCompletion completion,
                                             MRAPIErrorBlock error) const;
};

}  // namespace mr
