#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/Reachability.h"
#include "support/TempDir.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// A /sys and /proc of our own: interfaces with their kind and state, and
// the routing tables.
class FakeKernel {
 public:
  FakeKernel() {
    std::filesystem::create_directories(dir_.file("proc/net"));
    routes("");
    ipv6Routes("");
  }
  void interface(const std::string& name, const std::string& state, const std::string& kind) {
    const std::string base = dir_.file("sys/class/net/" + name);
    std::filesystem::create_directories(base);
    test::writeFile(base + "/operstate", state + "\n");
    test::writeFile(base + "/uevent", kind == "wwan" ? "DEVTYPE=wwan\nINTERFACE=" + name + "\n"
                                                     : "INTERFACE=" + name + "\n");
    if (kind == "wifi") std::filesystem::create_directories(base + "/wireless");
  }
  void routes(const std::string& lines) {
    test::writeFile(
        dir_.file("proc/net/route"),
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n" +
            lines);
  }
  void ipv6Routes(const std::string& lines) {
    test::writeFile(dir_.file("proc/net/ipv6_route"), lines);
  }
  static std::string defaultRoute(const std::string& name) {
    return name + "\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
  }
  static std::string subnetRoute(const std::string& name) {
    return name + "\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
  }
  NetworkStatus status() const {
    return KernelReachability::readStatus(dir_.file("sys"), dir_.file("proc"));
  }

 private:
  test::TempDir dir_;
};

TEST(KernelReachabilityTest, StatusFromRoutesAndInterfaces) {
  FakeKernel kernel;
  EXPECT_EQ(kernel.status(), NetworkStatus::NotReachable);

  kernel.interface("eth0", "up", "wired");
  kernel.routes(FakeKernel::subnetRoute("eth0"));
  EXPECT_EQ(kernel.status(), NetworkStatus::NotReachable);  // no default route

  kernel.routes(FakeKernel::defaultRoute("eth0"));
  EXPECT_EQ(kernel.status(), NetworkStatus::ReachableViaWired);

  kernel.interface("eth0", "down", "wired");
  EXPECT_EQ(kernel.status(), NetworkStatus::NotReachable);

  kernel.interface("wlan0", "up", "wifi");
  kernel.routes(FakeKernel::defaultRoute("eth0") + FakeKernel::defaultRoute("wlan0"));
  EXPECT_EQ(kernel.status(), NetworkStatus::ReachableViaWiFi);

  kernel.interface("wwan0", "up", "wwan");
  kernel.routes(FakeKernel::defaultRoute("wwan0"));
  EXPECT_EQ(kernel.status(), NetworkStatus::ReachableViaWWAN);

  // A local link wins over the modem.
  kernel.interface("eth0", "up", "wired");
  kernel.routes(FakeKernel::defaultRoute("wwan0") + FakeKernel::defaultRoute("eth0"));
  EXPECT_EQ(kernel.status(), NetworkStatus::ReachableViaWired);

  // An IPv6-only default route counts too.
  kernel.routes("");
  kernel.ipv6Routes(
      "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
      "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     wlan0\n");
  EXPECT_EQ(kernel.status(), NetworkStatus::ReachableViaWiFi);
}

TEST(KernelReachabilityTest, TheRealMonitorStartsAndStops) {
  test::TestEnv testEnv;
  KernelReachability monitor(testEnv.dispatcher());
  const NetworkStatus status = monitor.currentStatus();
  EXPECT_GE(static_cast<int>(status), 0);
  monitor.refresh();
}

TEST(FakeReachabilityTest, ObserversHearOfChangesOnTheMainLoop) {
  test::TestEnv testEnv;
  std::vector<NetworkStatus> heard;
  const auto token =
      testEnv.reachability().addObserver([&](NetworkStatus status) { heard.push_back(status); });
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  testEnv.reachability().setStatus(NetworkStatus::NotReachable);  // no change, no notice
  EXPECT_TRUE(heard.empty());
  testEnv.dispatcher().pump();
  EXPECT_EQ(heard, (std::vector<NetworkStatus>{NetworkStatus::NotReachable}));
  testEnv.reachability().removeObserver(token);
  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWWAN);
  testEnv.dispatcher().pump();
  EXPECT_EQ(heard.size(), 1u);
  EXPECT_TRUE(testEnv.reachability().isReachable());
}

}  // namespace
}  // namespace mr
