#include "recommend/MRRecommendParts.h"

#include "service/ovloAccount.h"

namespace mr {

MRRecommendParts MRRecommendParts::forListener(
    const Env& env, std::shared_ptr<Database> store,
    std::shared_ptr<MRNetworkOperationQueue> networkQueue, std::shared_ptr<LastfmAPI> lastfm,
    std::shared_ptr<iTunesSearchAPI> iTunes, std::shared_ptr<YouTubeVideoAPI> video) {
  MRRecommendParts parts;
  parts.env = &env;
  parts.store = std::move(store);
  parts.networkQueue = std::move(networkQueue);
  parts.lastfm = std::move(lastfm);
  Settings& settings = env.settings();
  parts.sites = MRPreviewSites{std::move(iTunes), std::move(video),
                               [&settings] { return ovloAccountProfile(settings).countryCode(); }};
  parts.language = [] { return MRCurrentLanguage().value_or("en"); };
  return parts;
}

}  // namespace mr
