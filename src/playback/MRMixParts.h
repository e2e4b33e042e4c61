// What the mixes work with: recommendation's parts (surroundings, store,
// network queue, Last.fm, the preview sites), the service queue and the kind
// there of the recommend mix build (none: no build is paused or asked for),
// the Mirelune service the top-track mix is sent to, and the folder of the
// favorites' cached files.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/MRServiceOperationQueue.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloRequest.h"

namespace mr {

struct MRMixParts {
  MRRecommendParts recommend;
  std::shared_ptr<MRServiceOperationQueue> serviceQueue;
  std::optional<MRServiceOperationKind> recommendMixBuildKind;
  std::shared_ptr<MRAPIBase> mirelune;
  // Where the favorites' audio files are cached; "FavoriteTrack" in the
  // caches folder when empty.
  std::string favoriteCacheFolder;

  const Env& env() const { return *recommend.env; }
  std::string cacheFolder() const {
    return favoriteCacheFolder.empty() ? env().paths().cacheDir + "/FavoriteTrack"
                                       : favoriteCacheFolder;
  }
};

}  // namespace mr
