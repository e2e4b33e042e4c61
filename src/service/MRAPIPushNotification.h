// The notifications the service pushed to the listener.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/MRPushNotificationDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIPushNotification : public MRAPIEndpoint {
 public:
  // (true, one notification per element) when the call succeeded with an
  // array result, else (false, none).
  using NotificationsCompletion = std::function<void(
      bool success, const std::optional<std::vector<MRPushNotificationDocument>>& notifications)>;

  explicit MRAPIPushNotification(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "notification/get": `count` notifications older than notification
  // `older` (sent as "from").
  std::shared_ptr<HttpOperation> getWithOlder(int32_t older, int32_t count,
                                              NotificationsCompletion completion,
                                              MRAPIErrorBlock error) const;
  // "notification/read": marks the notification read.
  std::shared_ptr<HttpOperation> flagRead(int32_t notifId, MRAPISuccessBlock completion,
                                          MRAPIErrorBlock error) const;
};

}  // namespace mr
