// The services the session drives, over the real account, the service
// engines and the job queues: what the app and the command line run with.
#pragma once

#include <memory>

#include "app/MRAppServices.h"
#include "base/MRNetworkOperationQueue.h"
#include "base/MRServiceOperationQueue.h"
#include "external/LastfmAPI.h"
#include "external/YouTubeVideoAPI.h"
#include "external/iTunesSearchAPI.h"
#include "playback/MRMixParts.h"
#include "recommend/MRRecommendParts.h"
#include "service/ovloConnectionAPI.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "social/MRConversionThreadState.h"
#include "store/Database.h"

namespace mr {

class MRDefaultAppServices : public MRAppServices {
 public:
  struct Parts {
    std::shared_ptr<MRAPIBase> mirelune;
    std::shared_ptr<ovloConnectionAPI> connections;
    std::shared_ptr<MRServiceOperationQueue> serviceQueue;
    std::shared_ptr<MRNetworkOperationQueue> networkQueue;
    std::shared_ptr<LastfmAPI> lastfm;
    std::shared_ptr<iTunesSearchAPI> iTunes;
    std::shared_ptr<YouTubeVideoAPI> video;
  };

  MRDefaultAppServices(const Env& env, Parts parts);
  // Over the shared engines and queues of the default surroundings.
  static Parts sharedParts();
  // The process's services over the default surroundings, made on first
  // use; tests may replace them.
  static std::shared_ptr<MRDefaultAppServices> shared();
  static void setShared(std::shared_ptr<MRDefaultAppServices> services);

  // Teaches the service queue to make the launch jobs over this store, which
  // the playback history then records into.
  void registerLaunchJobs(std::shared_ptr<Database> store);
  // The two that the command line also runs alone.
  void registerUserSongCheck(std::shared_ptr<Database> store);
  void registerRecommendMixBuild(std::shared_ptr<Database> store);
  void registerFavoriteSync(std::shared_ptr<Database> store);
  // What caching favorites works with, over this store: the engine given
  // here (the shared one when none was) and the audio extractor (FFmpeg's
  // unless one was given; none: a cached video stays a video).
  MRFavoriteCacheParts favoriteCacheParts(std::shared_ptr<Database> store) const;
  void setFavoriteDownloads(std::shared_ptr<HttpEngine> engine,
                            std::shared_ptr<MRAudioExtractor> extractor);
  void registerNewReleaseCheck(std::shared_ptr<Database> store);
  // What recommendation works with, over this store.
  MRRecommendParts recommendParts(std::shared_ptr<Database> store) const;
  // What the mixes work with, over this store.
  MRMixParts mixParts(std::shared_ptr<Database> store) const;

  bool isAuthorized() const override;
  void signOut() override;
  void createPlaybackHistoryObserver() override;
  std::vector<MRServiceOperationKind> launchJobKinds() const override;
  void stopPlaylistPlayer() override;
  void logLaunch() override;
  void updateConnections(const std::function<void()>& done,
                         const std::function<void(const Error&)>& failed) override;
  void addDeviceToken(const Bytes& token) override;
  void disconnectService(const std::string& service, const std::function<void()>& done,
                         const std::function<void(const Error&)>& failed) override;

  const Parts& parts() const { return parts_; }

 private:
  const Env& env_;
  Parts parts_;
  std::shared_ptr<Database> store_;  // of the launch jobs
  std::shared_ptr<HttpEngine> downloads_;
  // One extraction at a time in this process.
  std::unique_ptr<MRConversionThreadState> conversionState_;
  std::shared_ptr<MRAudioExtractor> extractor_;
};

}  // namespace mr
