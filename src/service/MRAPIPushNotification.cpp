#include "service/MRAPIPushNotification.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIPushNotification::getWithOlder(
    int32_t older, int32_t count, NotificationsCompletion completion, MRAPIErrorBlock error) const {
  return post("notification/get", Dictionary{{"from", Value(older)}, {"count", Value(count)}},
              answer(std::move(completion),
                     [](const NotificationsCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       if (!envelope || !envelope->successful() || !envelope->result ||
                           !envelope->result->isArray()) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(true,
                            documentsOfEveryElement<MRPushNotificationDocument>(envelope->result));
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIPushNotification::flagRead(int32_t notifId,
                                                               MRAPISuccessBlock completion,
                                                               MRAPIErrorBlock error) const {
  return post("notification/read", Dictionary{{"notifId", Value(notifId)}},
              answer(std::move(completion), reportSuccess), std::move(error));
}

}  // namespace mr
