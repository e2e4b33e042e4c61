// A loopback TCP server that answers every connection with fixed bytes, or
// with nothing at all: for the faults a real HTTP server will not make
// (a body cut short, a server that never answers).
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace mr::test {

class RawServer {
 public:
  // Sends `reply` then closes; with `silent`, reads and never answers.
  explicit RawServer(std::string reply, bool silent = false);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  int connections() const { return connections_; }

 private:
  void serve();

  std::string reply_;
  bool silent_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  int port_ = 0;
  std::atomic<int> connections_{0};
  std::vector<int> open_;
  std::thread thread_;
};

}  // namespace mr::test
