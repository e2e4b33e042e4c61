// What the mixes work with: recommendation's parts (surroundings, store,
// network queue, Last.fm, the preview sites), the service queue where the
// recommend mix build runs, the Mirelune service the top-track mix is sent
// to, and the folder of the favorites' cached files.
#pragma once

#include <memory>
#include <string>

#include "base/MRServiceOperationQueue.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloRequest.h"

namespace mr {

struct MRMixParts {
  MRRecommendParts recommend;
  std::shared_ptr<MRServiceOperationQueue> serviceQueue;
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
