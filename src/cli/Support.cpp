#include "cli/Support.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "base/MRServiceOperationDelegateBridge.h"
#include "base/Random.h"
#include "recommend/MRRecommendMixGenreSelector.h"
#include "store/CDRecommendTrack.h"

namespace mr::cli {
namespace {
bool isFinal(MRServiceOperationStatus status) {
  return status == kMRServiceOperationStatusCompleted ||
         status == kMRServiceOperationStatusCanceled || status == kMRServiceOperationStatusFailed;
}
}  // namespace

Status openStore(const Env& env, MRSQLiteStore& store) {
  Status opened = store.open(env.paths().dataDir);
  if (!opened.ok()) opened = store.openMigrating(env.paths().dataDir);
  return opened;
}

std::variant<ProfileLock, int> lockJob(const Env& env, const std::string& fileName,
                                       const std::string& job, bool wait) {
  const std::string path = env.paths().dataDir + "/" + fileName;
  auto lock = ProfileLock::tryAcquire(path);
  const auto heldElsewhere = [&lock] {
    return !lock.ok() && lock.error().domain() == kMireluneErrorDomain &&
           lock.error().code() == ProfileLock::kErrorHeldElsewhere;
  };
  if (heldElsewhere()) {
    if (!wait) {
      std::string sentence = "The " + job + " is already running in another Mirelune process.";
      std::fprintf(stderr, "mirelune: %s Run it again with --wait to wait for it.\n",
                   sentence.c_str());
      return kExitAlreadyRunning;
    }
    std::fprintf(stderr, "mirelune: waiting for the %s in another Mirelune process to end\n",
                 job.c_str());
    lock = ProfileLock::acquire(path, env.clock());
  }
  if (!lock.ok()) {
    std::fprintf(stderr, "mirelune: %s\n", lock.error().toString().c_str());
    return 1;
  }
  return std::move(*lock);
}

Status Session::open() {
  if (Status opened = openStore(env, store); !opened.ok()) return opened;
  services.emplace(env, MRDefaultAppServices::sharedParts());
  parts = services->recommendParts(store.database());
  return Status();
}

MRMixParts Session::mixParts() const {
  return services->mixParts(store.database());
}

int64_t Session::recommendCount() const {
  return CDRecommendTrackEntityController(store.database().get()).countAllItems();
}

Result<std::shared_ptr<MRRecommendMix>> makeRecommendMix(Session& session,
                                                         const std::optional<std::string>& genre) {
  // The records read their artist through the controller's context: it
  // lives until the item is filled.
  CDRecommendTrackEntityController recommendations(session.store.database().get());
  MRRecommendMixGenreSelector selector(session.parts);
  std::shared_ptr<CDRecommendTrack> first;
  if (genre) {
    const auto artist =
        selector.selectArtistRandomelyForGenreTag(MRGenreTag::genreTagWithName(*genre, 1));
    const auto tracks =
        artist ? artist->recommendTrack() : std::vector<std::shared_ptr<CDRecommendTrack>>{};
    if (tracks.empty())
      return Error(kMireluneErrorDomain, 1, "no recommendations tagged \"" + *genre + "\"");
    first = tracks[randomIndex(tracks.size())];
  } else {
    const auto found = recommendations.findRandomlyForCount(1);
    if (found.empty())
      return Error(kMireluneErrorDomain, 1, "no recommendations yet: run \"mirelune recommend\"");
    first = found.front();
  }
  auto item = std::make_shared<MRRecommendMixTrackItem>();
  first->assignToRecommendMixTrackItem(*item);
  return std::make_shared<MRRecommendMix>(session.parts, item, genre);
}

MRServiceOperationStatus runToCompletion(const Env& env, MRServiceOperation& operation,
                                         const std::function<void(float)>& progress) {
  Dispatcher& main = env.main();
  auto bridge = std::make_shared<MRServiceOperationDelegateBridge>();
  bridge->progressBlock = [&progress](MRServiceOperation&, MRServiceOperationStatus status,
                                      float fraction) {
    if (progress && status == kMRServiceOperationStatusProcessing) progress(fraction);
  };
  bridge->completionBlock = [&main](MRServiceOperation&, MRServiceOperationStatus status) {
    if (isFinal(status)) main.quit();
  };
  operation.setDelegate(bridge);
  // It may have ended before it had a delegate to tell.
  if (isFinal(operation.status())) main.post([&main] { main.quit(); });
  main.run();
  operation.setDelegate({});
  return operation.status();
}

// On standard error, so that what a command prints (JSON too) stays clean.
ProgressLine::ProgressLine() : terminal_(::isatty(STDERR_FILENO) != 0) {}

void ProgressLine::show(float fraction, const std::string& terminalText,
                        const std::string& plainText) {
  const int percent = static_cast<int>(fraction * 100);
  if (terminal_) {
    const int filled = percent / 4;
    std::fprintf(stderr, "\r[%-25s] %3d%% %-60.60s",
                 std::string(static_cast<size_t>(filled), '#').c_str(), percent,
                 terminalText.c_str());
    std::fflush(stderr);
  } else if (percent / 10 != lastTenth_) {
    lastTenth_ = percent / 10;
    std::fprintf(stderr, "%s\n", plainText.c_str());
  }
}

void ProgressLine::end() {
  if (terminal_) std::fprintf(stderr, "\n");
}

}  // namespace mr::cli
