#include "model/MRFanStatus.h"

namespace mr {

std::vector<std::string> MRFanStatusItem::keys() const {
  const Dictionary* dictionary = document_.asDictionary();
  return dictionary == nullptr ? std::vector<std::string>{} : dictionary->keys();
}

}  // namespace mr
