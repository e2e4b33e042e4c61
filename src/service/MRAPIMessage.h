// Direct messages between artists and their fans.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/MRMessageDocument.h"
#include "service/MRAPIEndpoint.h"

namespace mr {

class MRAPIMessage : public MRAPIEndpoint {
 public:
  // (true, one message per element) when the call succeeded with an array
  // result, else (false, none).
  using MessagesCompletion = std::function<void(
      bool success, const std::optional<std::vector<MRMessageDocument>>& messages)>;
  // (true, the message) when the call succeeded with a result, else (false,
  // none).
  using MessageCompletion =
      std::function<void(bool success, const std::optional<MRMessageDocument>& message)>;

  explicit MRAPIMessage(std::shared_ptr<MRAPIBase> engine = MRAPIBase::sharedEngine())
      : MRAPIEndpoint(std::move(engine)) {}

  // "message/get_with_waid": `count` messages of the artist's thread older
  // than message `older`.
  std::shared_ptr<HttpOperation> getWithWaid(const std::string& waid, int32_t older, int32_t count,
                                             const std::optional<Value>& fields,
                                             MessagesCompletion completion,
                                             MRAPIErrorBlock error) const;
  // "message/send_to_waid".
  std::shared_ptr<HttpOperation> sendToWaid(const std::string& waid, const std::string& text,
                                            MessageCompletion completion,
                                            MRAPIErrorBlock error) const;
};

}  // namespace mr
