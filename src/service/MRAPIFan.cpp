#include "service/MRAPIFan.h"

namespace mr {

std::shared_ptr<HttpOperation> MRAPIFan::addWithWaid(const std::string& waid,
                                                     FanCompletion completion,
                                                     MRAPIErrorBlock error) const {
  return post("fan/add", Dictionary{{"waid", Value(waid)}},
              answer(std::move(completion),
                     [](const FanCompletion& done, const ovloRequestResponse& response) {
                       const auto envelope = envelopeOf(response);
                       done(envelope && envelope->successful(),
                            documentOfResult<MRFanDocument>(envelope));
                     }),
              std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIFan::getWithFields(const std::optional<Value>& fields,
                                                       FansCompletion completion,
                                                       MRAPIErrorBlock error) const {
  return post("fan/get", Dictionary{{"fields", Value(fieldsParameter(fields))}},
              answer(std::move(completion), reportDocumentList<MRFanDocument>), std::move(error));
}

std::shared_ptr<HttpOperation> MRAPIFan::getWithWaid(const std::string& waid, int32_t from,
                                                     int32_t count,
                                                     const std::optional<Value>& fields,
                                                     FansCompletion completion,
                                                     MRAPIErrorBlock error) const {
  return post("fan/get_with_waid",
              Dictionary{{"fields", Value(fieldsParameter(fields))},
                         {"waid", Value(waid)},
                         {"from", Value(from)},
                         {"count", Value(count)}},
              answer(std::move(completion), reportDocumentList<MRFanDocument>), std::move(error));
}

}  // namespace mr
