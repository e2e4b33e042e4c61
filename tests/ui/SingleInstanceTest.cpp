#include "ui/MRSingleInstance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "support/TempDir.h"
#include "ui/LoopPump.h"

namespace mr {
namespace {

// Sends from another thread while this one runs the loop the first program
// answers on.
Status sendWhilePumping(const std::string& folder, const std::string& request) {
  std::atomic<bool> finished = false;
  Status result;
  std::thread sender([&] {
    result = MRSingleInstance::sendToRunning(folder, request);
    finished = true;
    g_main_context_wakeup(nullptr);
  });
  test::pumpUntil([&] { return finished.load(); });
  sender.join();
  return result;
}

TEST(SingleInstanceTest, TheFirstTakesTheRequestsOfLaterStarts) {
  test::TempDir dir;
  std::vector<std::string> requests;
  auto first = MRSingleInstance::claim(dir.path(), [&](const std::string& request) {
    requests.push_back(request);
  });
  ASSERT_TRUE(first.ok()) << first.error().toString();

  struct stat info {};
  ASSERT_EQ(::stat(MRSingleInstance::socketPath(dir.path()).c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  auto second = MRSingleInstance::claim(dir.path(), nullptr);
  ASSERT_FALSE(second.ok());
  EXPECT_EQ(second.error().code(), MRSingleInstance::kErrorRunningElsewhere);

  ASSERT_TRUE(sendWhilePumping(dir.path(), "raise").ok());
  ASSERT_TRUE(sendWhilePumping(dir.path(), "url mirelune://oauth-complete").ok());
  EXPECT_EQ(requests, (std::vector<std::string>{"raise", "url mirelune://oauth-complete"}));
  EXPECT_FALSE(MRSingleInstance::sendToRunning(dir.path(), "two\nlines").ok());

  first->reset();
  EXPECT_NE(::access(MRSingleInstance::socketPath(dir.path()).c_str(), F_OK), 0);
  auto again = MRSingleInstance::claim(dir.path(), nullptr);
  EXPECT_TRUE(again.ok());
}

TEST(SingleInstanceTest, ASocketLeftByAnEndedProgramIsReplaced) {
  test::TempDir dir;
  const std::string path = MRSingleInstance::socketPath(dir.path());
  {
    // Bound and closed: the file stays, nobody listens.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  }
  int handled = 0;
  auto first = MRSingleInstance::claim(dir.path(), [&](const std::string&) { ++handled; });
  ASSERT_TRUE(first.ok()) << first.error().toString();
  ASSERT_TRUE(sendWhilePumping(dir.path(), "raise").ok());
  EXPECT_EQ(handled, 1);
}

TEST(SingleInstanceTest, AnOverlongRequestIsDroppedAndTheListenerGoesOn) {
  test::TempDir dir;
  int handled = 0;
  auto first = MRSingleInstance::claim(dir.path(), [&](const std::string&) { ++handled; });
  ASSERT_TRUE(first.ok());
  std::atomic<bool> finished = false;
  std::thread flood([&] {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, MRSingleInstance::socketPath(dir.path()).c_str(),
                 sizeof(address.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string junk(MRSingleInstance::kMaxRequestSize * 2, 'x');
      (void)!::send(fd, junk.data(), junk.size(), MSG_NOSIGNAL);
      char answer[8];
      (void)!::recv(fd, answer, sizeof answer, 0);  // ends when the listener hangs up
    }
    ::close(fd);
    finished = true;
    g_main_context_wakeup(nullptr);
  });
  test::pumpUntil([&] { return finished.load(); });
  flood.join();
  EXPECT_EQ(handled, 0);
  ASSERT_TRUE(sendWhilePumping(dir.path(), "raise").ok());
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace mr
