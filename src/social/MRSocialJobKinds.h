// The launch jobs of favorites and new releases, one at a time each on the
// service queue. Their makers are registered where the jobs are built.
#pragma once

#include "base/MRServiceOperationKind.h"

namespace mr {

inline constexpr MRServiceOperationKind kMRNewReleaseCheckOperationKind{
    "MRNewReleaseCheckOperation"};
inline constexpr MRServiceOperationKind kMRSyncFavoriteTracksOperationKind{
    "MRSyncFavoriteTracksOperation"};

}  // namespace mr
