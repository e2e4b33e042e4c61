#include "app/MRDefaultAppServices.h"

#include <atomic>

#include "base/Log.h"
#include "library/MRUserSongCheckOperation.h"
#include "playback/MRPlaybackHistoryObserver.h"
#include "playback/MRPlaylistPlayer.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "service/MRAPIListenerProfile.h"
#include "service/MRAPIUsageLog.h"
#include "social/MRFFmpegAudioExtractor.h"
#include "social/MRFavoriteTrackCaching.h"
#include "social/MRNewReleaseCheckOperation.h"
#include "social/MRSocialJobKinds.h"
#include "social/MRSyncFavoriteTracksOperation.h"

namespace mr {

MRDefaultAppServices::MRDefaultAppServices(const Env& env, Parts parts)
    : env_(env),
      parts_(std::move(parts)),
      conversionState_(std::make_unique<MRConversionThreadState>(env.clock())),
      extractor_(std::make_shared<MRFFmpegAudioExtractor>(*conversionState_)) {
  registerFavoriteTrackCachingTexts();
}

namespace {
SharedInstance<MRDefaultAppServices>& sharedServices() {
  static SharedInstance<MRDefaultAppServices> instance;
  return instance;
}
}  // namespace

std::shared_ptr<MRDefaultAppServices> MRDefaultAppServices::shared() {
  return sharedServices().get(
      [] { return std::make_shared<MRDefaultAppServices>(Env::defaultEnv(), sharedParts()); });
}

void MRDefaultAppServices::setShared(std::shared_ptr<MRDefaultAppServices> services) {
  sharedServices().replace(std::move(services));
}

MRDefaultAppServices::Parts MRDefaultAppServices::sharedParts() {
  return Parts{MRAPIBase::sharedEngine(),
               ovloConnectionAPI::sharedInstance(),
               MRServiceOperationQueue::sharedQueue(),
               MRNetworkOperationQueue::sharedQueue(),
               LastfmAPI::sharedInstance(),
               iTunesSearchAPI::sharedInstance(),
               YouTubeVideoAPI::sharedInstance()};
}

void MRDefaultAppServices::registerLaunchJobs(std::shared_ptr<Database> store) {
  store_ = store;
  registerUserSongCheck(store);
  registerRecommendMixBuild(store);
  registerFavoriteSync(store);
  registerNewReleaseCheck(store);
}

void MRDefaultAppServices::registerFavoriteSync(std::shared_ptr<Database> store) {
  const auto recommend = recommendParts(std::move(store));
  auto mirelune = parts_.mirelune;
  parts_.serviceQueue->registerKind<MRSyncFavoriteTracksOperation>(
      kMRSyncFavoriteTracksOperationKind, [recommend, mirelune] {
        return std::make_shared<MRSyncFavoriteTracksOperation>(recommend, mirelune);
      });
}

MRFavoriteCacheParts MRDefaultAppServices::favoriteCacheParts(
    std::shared_ptr<Database> store) const {
  MRFavoriteCacheParts cache;
  cache.recommend = recommendParts(std::move(store));
  cache.engine = downloads_ ? downloads_ : sharedHttpEngine();
  cache.extractor = extractor_;
  return cache;
}

void MRDefaultAppServices::setFavoriteDownloads(std::shared_ptr<HttpEngine> engine,
                                                std::shared_ptr<MRAudioExtractor> extractor) {
  downloads_ = std::move(engine);
  extractor_ = std::move(extractor);
}

void MRDefaultAppServices::registerUserSongCheck(std::shared_ptr<Database> store) {
  const Env& env = env_;
  auto network = parts_.networkQueue;
  auto mirelune = parts_.mirelune;
  parts_.serviceQueue->registerKind<MRUserSongCheckOperation>(
      kMRUserSongCheckOperationKind, [&env, store, network, mirelune] {
        return std::make_shared<MRUserSongCheckOperation>(env, store, network, mirelune,
                                                          kMRRecommendMixBuildOperationKind);
      });
}

MRRecommendParts MRDefaultAppServices::recommendParts(std::shared_ptr<Database> store) const {
  return MRRecommendParts::forListener(env_, std::move(store), parts_.networkQueue, parts_.lastfm,
                                       parts_.iTunes, parts_.video);
}

MRMixParts MRDefaultAppServices::mixParts(std::shared_ptr<Database> store) const {
  MRMixParts mix;
  mix.recommend = recommendParts(std::move(store));
  mix.serviceQueue = parts_.serviceQueue;
  mix.mirelune = parts_.mirelune;
  mix.recommendMixBuildKind = kMRRecommendMixBuildOperationKind;
  return mix;
}

void MRDefaultAppServices::registerRecommendMixBuild(std::shared_ptr<Database> store) {
  if (!parts_.lastfm) return;
  const auto recommend = recommendParts(std::move(store));
  parts_.serviceQueue->registerKind<MRRecommendMixBuildOperation>(
      kMRRecommendMixBuildOperationKind,
      [recommend] { return std::make_shared<MRRecommendMixBuildOperation>(recommend); });
}

void MRDefaultAppServices::registerNewReleaseCheck(std::shared_ptr<Database> store) {
  if (!parts_.iTunes) return;
  const auto recommend = recommendParts(std::move(store));
  parts_.serviceQueue->registerKind<MRNewReleaseCheckOperation>(
      kMRNewReleaseCheckOperationKind,
      [recommend] { return std::make_shared<MRNewReleaseCheckOperation>(recommend); });
}

bool MRDefaultAppServices::isAuthorized() const {
  return ovloAccount(env_.settings()).isAuthorized();
}

void MRDefaultAppServices::signOut() {
  // The window goes back to the welcome flow either way; a failed write is
  // logged by the settings.
  (void)ovloAccount(env_.settings()).logout();
}

void MRDefaultAppServices::createPlaybackHistoryObserver() {
  if (!store_) {
    log::warning("No store: played tracks are not recorded");
    return;
  }
  MRPlaybackHistoryObserver::Parts history;
  history.recommend = recommendParts(store_);
  history.mirelune = parts_.mirelune;
  history.serviceQueue = parts_.serviceQueue;
  history.recommendMixBuildKind = kMRRecommendMixBuildOperationKind;
  history.notifications = NotificationCenter::defaultCenter();
  (void)MRPlaybackHistoryObserver::sharedObserver(history);
}

std::vector<MRServiceOperationKind> MRDefaultAppServices::launchJobKinds() const {
  return {kMRUserSongCheckOperationKind, kMRRecommendMixBuildOperationKind,
          kMRSyncFavoriteTracksOperationKind, kMRNewReleaseCheckOperationKind};
}

void MRDefaultAppServices::stopPlaylistPlayer() {
  MRPlaylistPlayer::sharedPlaylistPlayer()->stop();
}

void MRDefaultAppServices::logLaunch() {
  MRAPIUsageLog(parts_.mirelune).logLaunch();
}

void MRDefaultAppServices::updateConnections(const std::function<void()>& done,
                                             const std::function<void(const Error&)>& failed) {
  Dispatcher& main = env_.main();
  auto request = parts_.connections->getConnectionsWithRetrievedBlock(
      [&main, done](ovloConnectionList& list) {
        list.save();
        if (done) main.post(done);
      },
      [&main, failed](const Error& error) {
        if (failed) main.post([failed, error] { failed(error); });
      });
  if (!request && failed) {
    main.post([failed] {
      failed(Error(kMireluneErrorDomain, 1, "not signed in: the connections cannot be asked for"));
    });
  }
}

void MRDefaultAppServices::addDeviceToken(const Bytes& token) {
  MRAPIListenerProfile(parts_.mirelune).addDeviceToken(token, nullptr, nullptr);
}

void MRDefaultAppServices::disconnectService(const std::string& service,
                                             const std::function<void()>& done,
                                             const std::function<void(const Error&)>& failed) {
  const auto items = parts_.connections->list().itemsOfService(service);
  // One counter for all the calls: the menu is refreshed when the last of
  // them has succeeded.
  auto completed = std::make_shared<std::atomic<size_t>>(0);
  const size_t total = items.size();
  Dispatcher& main = env_.main();
  for (const auto& item : items) {
    parts_.connections->invalidateConnectionWithCid(
        item.cid,
        [completed, total, &main, done](bool success) {
          const size_t count = ++*completed;
          if (success && count == total && done) main.post(done);
        },
        [&main, failed](const Error& error) {
          if (failed) main.post([failed, error] { failed(error); });
        });
  }
}

}  // namespace mr
