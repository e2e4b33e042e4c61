// What recommendation works with: the surroundings, the store, the queue of
// small network steps, Last.fm and the preview sites. The app fills it once;
// tests fill it with loopback services and a temporary store.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Env.h"
#include "base/MRNetworkOperationQueue.h"
#include "external/LastfmAPI.h"
#include "external/MRLocatePreviewDataSourceOperation.h"
#include "store/Database.h"

namespace mr {

struct MRRecommendParts {
  const Env* env = nullptr;
  std::shared_ptr<Database> store;
  std::shared_ptr<MRNetworkOperationQueue> networkQueue;
  std::shared_ptr<LastfmAPI> lastfm;
  MRPreviewSites sites;
  // The listener's first preferred language, as Last.fm is asked in it.
  std::function<std::string()> language;

  std::string currentLanguage() const { return language ? language() : std::string("en"); }

  // Over the listener's settings: the account profile's store country and
  // the preferred language.
  static MRRecommendParts forListener(const Env& env, std::shared_ptr<Database> store,
                                      std::shared_ptr<MRNetworkOperationQueue> networkQueue,
                                      std::shared_ptr<LastfmAPI> lastfm,
                                      std::shared_ptr<iTunesSearchAPI> iTunes,
                                      std::shared_ptr<YouTubeVideoAPI> video);
};

}  // namespace mr
