// What the screens work with: the store, the mixes' and caching parts, the
// engines, the shared player and the page transport. Built by whoever opens
// the window (the program over its services, tests over the sandbox).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Env.h"
#include "base/NotificationCenter.h"
#include "external/YouTubeVideoAPI.h"
#include "external/iTunesSearchAPI.h"
#include "playback/MRMixParts.h"
#include "playback/MRPlaylistPlayer.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "service/ovloAuth.h"
#include "service/ovloConnectionAPI.h"
#include "store/Database.h"
#include "ui/BridgeHub.h"

namespace mr {

struct MRUiContext {
  const Env* env = nullptr;
  std::shared_ptr<Database> store;
  // Recommendation (Last.fm, preview sites, network queue), the service
  // queue and the Mirelune client.
  MRMixParts mix;
  MRFavoriteCacheParts favoriteCache;
  std::shared_ptr<MRPlaylistPlayer> player;
  BridgeHub* hub = nullptr;

  // The session's commands the application menu reaches; unset ones do
  // nothing.
  std::function<void()> logout;
  std::function<void(const std::string& service)> disconnectService;
  // Opens an address in the desktop's browser.
  std::function<void(const std::string& url)> openInBrowser;
  // The centre the shared player posts its notices on.
  std::shared_ptr<NotificationCenter> notifications;
  // The account pages and the connection pages the menu opens; unset: the
  // commands that need them do nothing.
  std::shared_ptr<ovloAuth> auth;
  std::shared_ptr<ovloConnectionAPI> connections;
  // Starts the signed-in listener's background work (the session's
  // readyToServe, which acts once); the first analysis calls it when enough
  // recommendations exist. Unset: nothing happens.
  std::function<void()> readyToServe;

  const Env& environment() const { return *env; }
  const AppConfig& config() const { return env->config(); }
  std::shared_ptr<LastfmAPI> lastfm() const { return mix.recommend.lastfm; }
  std::shared_ptr<iTunesSearchAPI> iTunes() const { return mix.recommend.sites.iTunes; }
  std::shared_ptr<YouTubeVideoAPI> video() const { return mix.recommend.sites.video; }
};

}  // namespace mr
