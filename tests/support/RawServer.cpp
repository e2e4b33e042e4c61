#include "support/RawServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mr::test {

RawServer::RawServer(std::string reply, bool silent) : reply_(std::move(reply)), silent_(silent) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(listener_, 16);
  socklen_t length = sizeof address;
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  (void)!::pipe(wake_);
  thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer() {
  (void)!::write(wake_[1], "x", 1);
  thread_.join();
  for (int fd : open_)
    ::close(fd);
  for (int fd : {listener_, wake_[0], wake_[1]})
    ::close(fd);
}

std::string RawServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RawServer::serve() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    ++connections_;
    char buffer[4096];
    (void)!::read(client, buffer, sizeof buffer);  // the request's head
    if (silent_) {
      open_.push_back(client);  // held open, never answered
      continue;
    }
    // A client may hang up before it has read everything: no SIGPIPE then.
    (void)!::send(client, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    ::close(client);
  }
}

}  // namespace mr::test
