// What recommendation works with, over a running sandbox: its Last.fm,
// store and video site, the store country "us" and English. Header-only, for
// the tests that link the recommendation folder.
#pragma once

#include <memory>
#include <string>

#include "recommend/MRRecommendParts.h"
#include "support/SandboxSession.h"

namespace mr::test {

inline MRRecommendParts sandboxRecommendParts(TestEnv& testEnv, SandboxSession& sandbox,
                                              std::shared_ptr<Database> store,
                                              std::shared_ptr<MRNetworkOperationQueue> network) {
  const std::string base = sandbox.server().baseUrl();
  auto engine = sandbox.engine();
  MRRecommendParts parts;
  parts.env = &testEnv.env();
  parts.store = std::move(store);
  parts.networkQueue = std::move(network);
  parts.lastfm =
      std::make_shared<LastfmAPI>(testEnv.env(), engine, base, sandbox.server().lastfmApiKey());
  parts.sites = MRPreviewSites{std::make_shared<iTunesSearchAPI>(testEnv.env(), engine, base),
                               std::make_shared<YouTubeVideoAPI>(testEnv.env(), engine, base, base),
                               [] { return std::string("us"); }};
  parts.language = [] { return std::string("en"); };
  return parts;
}

}  // namespace mr::test
