#include "model/MRCommunityMixDocument.h"

namespace mr {

std::optional<MRCommunityMixDocument> MRCommunityMixTrackDocument::mix() const {
  return document_.documentForKey<MRCommunityMixDocument>("mix");
}

}  // namespace mr
