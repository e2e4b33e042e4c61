// One window per profile. The first program claims the profile (a lock in
// its data folder) and listens on a unix socket there; a later start hands
// its request to it as one line ("raise", or "url <URL>") and ends.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Error.h"
#include "base/ProfileLock.h"

namespace mr {

class MRSingleInstance {
 public:
  // Domain "mirelune": another process holds the profile's claim.
  static constexpr int64_t kErrorRunningElsewhere = 9000301;
  // Longest request line taken; longer ones are dropped.
  static constexpr size_t kMaxRequestSize = 64 * 1024;

  using Handler = std::function<void(const std::string& request)>;

  // Claims the profile whose data folder is `folder`: the lock
  // "<folder>/ui.lock" and the socket "<folder>/ui.sock" (mode 0600; a
  // socket left by a process that ended is replaced). Each request line
  // (without its newline) reaches `handler` on GLib's default main context;
  // the sender is answered once the handler returns. Fails with
  // kErrorRunningElsewhere when another process holds the claim.
  static Result<std::unique_ptr<MRSingleInstance>> claim(const std::string& folder,
                                                         Handler handler);

  // Hands `request` to the process holding the claim on `folder` and waits
  // (a few seconds at most) for its answer. Blocks: not for the main loop
  // of the claiming process itself.
  static Status sendToRunning(const std::string& folder, const std::string& request);

  static std::string socketPath(const std::string& folder) { return folder + "/ui.sock"; }
  static std::string lockPath(const std::string& folder) { return folder + "/ui.lock"; }

  // Stops listening and removes the socket.
  ~MRSingleInstance();
  MRSingleInstance(const MRSingleInstance&) = delete;
  MRSingleInstance& operator=(const MRSingleInstance&) = delete;

 private:
  struct Listener;
  MRSingleInstance(ProfileLock lock, std::string socketPath);

  std::optional<ProfileLock> lock_;
  std::string socketPath_;
  std::unique_ptr<Listener> listener_;
};

}  // namespace mr
