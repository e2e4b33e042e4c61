#include "service/MRAPIBadge.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIBadge::getWithWaid(const std::string& waid,
                                                       const std::optional<Value>& fields,
                                                       BadgesCompletion completion,
                                                       MRAPIErrorBlock error) const {
  return post("badge/get_with_waid",
              Dictionary{{"waid", Value(waid)}, {"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion), reportDocumentList<MRBadgeDocument>), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIBadge::getWithBadgeId(int32_t badgeId,
                                                          const std::optional<Value>& fields,
                                                          BadgeCompletion completion,
                                                          MRAPIErrorBlock error) const {
  return post("badge/get_with_badge_id",
              Dictionary{{"badgeId", Value(badgeId)}, {"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion),
                     [](const BadgeCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       const Value* result = envelope ? presentResult(*envelope) : nullptr;
                       if (!envelope || !envelope->successful() || result == nullptr) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(true, MRBadgeDocument(*result));
                     }),
              std::move(error));
}

}  // namespace mr
