#include "service/MRAPIMessage.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIMessage::getWithWaid(const std::string& waid, int32_t older,
                                                         int32_t count,
                                                         const std::optional<Value>& fields,
                                                         MessagesCompletion completion,
                                                         MRAPIErrorBlock error) const {
  return post("message/get_with_waid",
              Dictionary{{"waid", Value(waid)},
                         {"older", Value(older)},
                         {"count", Value(count)},
                         {"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion),
                     [](const MessagesCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       if (!envelope || !envelope->successful() || !envelope->result ||
                           !envelope->result->isArray()) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(true, documentsOfEveryElement<MRMessageDocument>(envelope->result));
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIMessage::sendToWaid(const std::string& waid,
                                                        const std::string& text,
                                                        MessageCompletion completion,
                                                        MRAPIErrorBlock error) const {
  return post("message/send_to_waid", Dictionary{{"waid", Value(waid)}, {"text", Value(text)}},
              answer(std::move(completion),
                     [](const MessageCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       const Value* result = envelope ? presentResult(*envelope) : nullptr;
                       if (!envelope || !envelope->successful() || result == nullptr) {
                         done(false, std::nullopt);
                         return;
                       }
                       done(true, MRMessageDocument(*result));
                     }),
              std::move(error));
}

}  // namespace mr
