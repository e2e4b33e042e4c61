// What the commands share: the store, running a job on the main loop as
// the window would, and a progress line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "app/MRDefaultAppServices.h"
#include "app/MRSQLiteStore.h"
#include "playback/MRMixParts.h"
#include "recommend/MRRecommendMix.h"
#include "base/Env.h"
#include "base/MRServiceOperation.h"
#include "base/ProfileLock.h"

namespace mr::cli {

// Opens the store in the data folder, upgrading an older one.
Status openStore(const Env& env, MRSQLiteStore& store);

// The store and the services and recommendation parts over it, as the app
// has them.
struct Session {
  const Env& env = Env::defaultEnv();
  MRSQLiteStore store;
  std::optional<MRDefaultAppServices> services;
  MRRecommendParts parts;

  Status open();
  MRServiceOperationQueue& serviceQueue() { return *services->parts().serviceQueue; }
  // What the mixes work with, over this session's store and services.
  MRMixParts mixParts() const;
  int64_t recommendCount() const;
};

// The exit code of a job that another process is running for this profile.
inline constexpr int kExitAlreadyRunning = 3;

// One process at a time runs a job for a profile: the lock "<fileName>" in
// the data folder. `job` names it in messages ("song check"). Without
// `wait`, a job running elsewhere ends the command with kExitAlreadyRunning;
// with it, the command waits for its turn. The lock, or the exit code after
// saying why there is none.
std::variant<ProfileLock, int> lockJob(const Env& env, const std::string& fileName,
                                       const std::string& job, bool wait);

// A recommend mix, not yet started: of one genre tag (its first track by a
// random artist of the tag), or around one random recommendation.
Result<std::shared_ptr<MRRecommendMix>> makeRecommendMix(Session& session,
                                                         const std::optional<std::string>& genre);

// Calls `progress` on the main thread with each report; returns the final
// status (2, 11 or 12).
MRServiceOperationStatus runToCompletion(const Env& env, MRServiceOperation& operation,
                                         const std::function<void(float)>& progress = nullptr);

// A bar on a terminal; a plain line each tenth of the way otherwise.
class ProgressLine {
 public:
  ProgressLine();
  void show(float fraction, const std::string& terminalText, const std::string& plainText);
  void end();

 private:
  bool terminal_;
  int lastTenth_ = -1;
};

}  // namespace mr::cli
