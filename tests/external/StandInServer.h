// A loopback stand-in for an outside service: answers GETs through a
// handler and records each request's path, query and headers.
#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mr::test {

struct RecordedRequest {
  std::string path;
  std::map<std::string, std::string> query;
  std::map<std::string, std::string> headers;
};

class StandInServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  explicit StandInServer(Handler handler) : handler_(std::move(handler)) {
    server_.set_keep_alive_max_count(1);
    server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      RecordedRequest recorded{request.path,
                               {request.params.begin(), request.params.end()},
                               {request.headers.begin(), request.headers.end()}};
      {
        std::lock_guard guard(mutex_);
        requests_.push_back(std::move(recorded));
      }
      handler_(request, response);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
      std::this_thread::yield();
  }
  ~StandInServer() {
    server_.stop();
    thread_.join();
  }

  std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<RecordedRequest> requests() const {
    std::lock_guard guard(mutex_);
    return requests_;
  }
  RecordedRequest last() const {
    std::lock_guard guard(mutex_);
    return requests_.empty() ? RecordedRequest{} : requests_.back();
  }

 private:
  Handler handler_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace mr::test
