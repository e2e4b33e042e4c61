#include "model/MRBadgeDocument.h"

namespace mr {

std::optional<MRGrantAt> MRBadgeDocument::grantAt() const {
  const Value* member = document_.get("grantAt");
  if (member == nullptr || member->isNull()) return std::nullopt;
  return MRGrantAt(*member);
}

}  // namespace mr
