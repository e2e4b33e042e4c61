// Whether the Internet can be reached, and over what kind of link. The real
// monitor reads the kernel's routes and interfaces and listens for changes
// on a netlink socket; tests use FakeReachability.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/Dispatcher.h"

namespace mr {

enum class NetworkStatus : int {
  NotReachable = 0,
  ReachableViaWWAN = 1,  // a cellular (wide-area) link
  ReachableViaWiFi = 2,
  ReachableViaWired = 3,  // Ethernet, tunnels and other local links
};

const char* toString(NetworkStatus status);

class Reachability {
 public:
  using Observer = std::function<void(NetworkStatus)>;
  using Token = uint64_t;

  virtual ~Reachability() = default;

  virtual NetworkStatus currentStatus() const = 0;
  bool isReachable() const { return currentStatus() != NetworkStatus::NotReachable; }

  // Observers are told of each change of status on the main dispatcher.
  Token addObserver(Observer observer);
  void removeObserver(Token token);

 protected:
  explicit Reachability(Dispatcher& dispatcher) : dispatcher_(dispatcher) {}
  // Posts the new status to the observers.
  void statusChanged(NetworkStatus status);

 private:
  Dispatcher& dispatcher_;
  mutable std::mutex mutex_;
  std::map<Token, std::shared_ptr<Observer>> observers_;
  Token nextToken_ = 1;
};

// A status set by hand: for tests, and for a configuration that fixes it.
class FakeReachability final : public Reachability {
 public:
  explicit FakeReachability(Dispatcher& dispatcher,
                            NetworkStatus status = NetworkStatus::ReachableViaWiFi)
      : Reachability(dispatcher), status_(status) {}

  NetworkStatus currentStatus() const override;
  void setStatus(NetworkStatus status);

 private:
  mutable std::mutex mutex_;
  NetworkStatus status_;
};

// Reads the status from the kernel: a link that carries a default route and
// is up makes the network reachable; /sys/class/net/X/wireless marks Wi-Fi,
// DEVTYPE=wwan in its uevent a cellular modem.
class KernelReachability final : public Reachability {
 public:
  // `sysRoot` and `procRoot` are "/sys" and "/proc" except in tests.
  explicit KernelReachability(Dispatcher& dispatcher, std::string sysRoot = "/sys",
                              std::string procRoot = "/proc");
  ~KernelReachability() override;

  NetworkStatus currentStatus() const override;
  // Reads the kernel's state again and reports a change.
  void refresh();

  // The status that routes and interfaces under the given roots give.
  static NetworkStatus readStatus(const std::string& sysRoot, const std::string& procRoot);

 private:
  void listen();

  const std::string sysRoot_;
  const std::string procRoot_;
  mutable std::mutex mutex_;
  NetworkStatus status_;
  int netlink_ = -1;
  int wakePipe_[2] = {-1, -1};
  std::thread listener_;
};

}  // namespace mr
