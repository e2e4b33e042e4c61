#include "cli/Support.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "base/MRServiceOperationDelegateBridge.h"

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
