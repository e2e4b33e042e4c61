#include "base/Reachability.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "base/Log.h"
#include "base/ThreadPool.h"

namespace mr {

const char* toString(NetworkStatus status) {
  switch (status) {
    case NetworkStatus::NotReachable:
      return "not reachable";
    case NetworkStatus::ReachableViaWWAN:
      return "reachable via cellular";
    case NetworkStatus::ReachableViaWiFi:
      return "reachable via Wi-Fi";
    case NetworkStatus::ReachableViaWired:
      return "reachable via wired network";
  }
  return "unknown";
}

Reachability::Token Reachability::addObserver(Observer observer) {
  std::lock_guard guard(mutex_);
  const Token token = nextToken_++;
  observers_[token] = std::make_shared<Observer>(std::move(observer));
  return token;
}

void Reachability::removeObserver(Token token) {
  std::lock_guard guard(mutex_);
  observers_.erase(token);
}

void Reachability::statusChanged(NetworkStatus status) {
  std::vector<std::shared_ptr<Observer>> observers;
  {
    std::lock_guard guard(mutex_);
    for (const auto& [token, observer] : observers_)
      observers.push_back(observer);
  }
  if (observers.empty()) return;
  dispatcher_.post([observers, status] {
    for (const auto& observer : observers)
      (*observer)(status);
  });
}

NetworkStatus FakeReachability::currentStatus() const {
  std::lock_guard guard(mutex_);
  return status_;
}

void FakeReachability::setStatus(NetworkStatus status) {
  {
    std::lock_guard guard(mutex_);
    if (status_ == status) return;
    status_ = status;
  }
  statusChanged(status);
}

namespace {

std::string readFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool fileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// Interfaces that carry an IPv4 or IPv6 default route.
std::set<std::string> defaultRouteInterfaces(const std::string& procRoot) {
  std::set<std::string> names;
  std::ifstream ipv4(procRoot + "/net/route");
  std::string line;
  std::getline(ipv4, line);  // header
  while (std::getline(ipv4, line)) {
    std::istringstream fields(line);
    std::string name, destination, gateway, flags, refCount, use, metric, mask;
    fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >> mask;
    if (destination == "00000000" && mask == "00000000") names.insert(name);
  }
  std::ifstream ipv6(procRoot + "/net/ipv6_route");
  while (std::getline(ipv6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use, flags,
        name;
    fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refCount >>
        use >> flags >> name;
    if (destination == std::string(32, '0') && prefix == "00" && name != "lo") names.insert(name);
  }
  return names;
}

}  // namespace

NetworkStatus KernelReachability::readStatus(const std::string& sysRoot,
                                             const std::string& procRoot) {
  NetworkStatus best = NetworkStatus::NotReachable;
  for (const auto& name : defaultRouteInterfaces(procRoot)) {
    if (name == "lo" || name.find('/') != std::string::npos) continue;
    const std::string base = sysRoot + "/class/net/" + name;
    const std::string state = readFirstLine(base + "/operstate");
    if (state != "up" && state != "unknown") continue;
    NetworkStatus status = NetworkStatus::ReachableViaWired;
    if (fileExists(base + "/wireless") || fileExists(base + "/phy80211")) {
      status = NetworkStatus::ReachableViaWiFi;
    } else {
      std::ifstream uevent(base + "/uevent");
      std::string line;
      while (std::getline(uevent, line)) {
        if (line == "DEVTYPE=wwan") status = NetworkStatus::ReachableViaWWAN;
      }
    }
    // A local link wins over a cellular one, as the system would route.
    if (best == NetworkStatus::NotReachable || best == NetworkStatus::ReachableViaWWAN ||
        status == NetworkStatus::ReachableViaWiFi) {
      best = status;
    }
  }
  return best;
}

KernelReachability::KernelReachability(Dispatcher& dispatcher, std::string sysRoot,
                                       std::string procRoot)
    : Reachability(dispatcher),
      sysRoot_(std::move(sysRoot)),
      procRoot_(std::move(procRoot)),
      status_(readStatus(sysRoot_, procRoot_)) {
  netlink_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
  if (netlink_ >= 0) {
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR |
                        RTMGRP_IPV6_IFADDR;
    if (::bind(netlink_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(netlink_);
      netlink_ = -1;
    }
  }
  if (netlink_ < 0) {
    log::warning("Reachability: no netlink socket; network changes will not be noticed");
    return;
  }
  if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
    ::close(netlink_);
    netlink_ = -1;
    return;
  }
  listener_ = std::thread([this] { listen(); });
}

KernelReachability::~KernelReachability() {
  if (listener_.joinable()) {
    const char byte = 0;
    (void)!::write(wakePipe_[1], &byte, 1);
    listener_.join();
  }
  for (int fd : {netlink_, wakePipe_[0], wakePipe_[1]}) {
    if (fd >= 0) ::close(fd);
  }
}

NetworkStatus KernelReachability::currentStatus() const {
  std::lock_guard guard(mutex_);
  return status_;
}

void KernelReachability::refresh() {
  const NetworkStatus status = readStatus(sysRoot_, procRoot_);
  {
    std::lock_guard guard(mutex_);
    if (status == status_) return;
    status_ = status;
  }
  log::info("Network is {}", toString(status));
  statusChanged(status);
}

void KernelReachability::listen() {
  setCurrentThreadName("Reachability");
  char buffer[8192];
  for (;;) {
    pollfd fds[2] = {{netlink_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    // Any route, address or link message may change the answer; read them
    // all, then look again once.
    while (::recv(netlink_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
    refresh();
  }
}

}  // namespace mr
