// A loopback HTTP server for media files: whole or in byte ranges, 404 for
// anything else. It can hold a file back after some of its bytes until the
// test lets it go, so a player runs out of data when the test says.
#pragma once

#include <httplib.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace mr::test {

class MediaServer {
 public:
  MediaServer() {
    server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      serve(request, response);
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running())
      std::this_thread::yield();
  }
  ~MediaServer() {
    release();
    {
      std::lock_guard guard(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    server_.stop();
    thread_.join();
  }
  MediaServer(const MediaServer&) = delete;
  MediaServer& operator=(const MediaServer&) = delete;

  void add(const std::string& path, std::string bytes, std::string type = "audio/mp4") {
    std::lock_guard guard(mutex_);
    files_[path] = File{std::move(bytes), std::move(type)};
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

  // Sends no byte at or past `offset` of any file until release().
  void holdFrom(size_t offset) {
    std::lock_guard guard(mutex_);
    holdFrom_ = offset;
  }
  void release() {
    {
      std::lock_guard guard(mutex_);
      holdFrom_ = std::string::npos;
    }
    changed_.notify_all();
  }
  // Whether a request waits at the hold.
  bool holding() const {
    std::lock_guard guard(mutex_);
    return waiting_ > 0;
  }

 private:
  struct File {
    std::string bytes;
    std::string type;
  };

  void serve(const httplib::Request& request, httplib::Response& response) {
    File file;
    {
      std::lock_guard guard(mutex_);
      auto found = files_.find(request.path);
      if (found == files_.end()) {
        response.status = 404;
        response.set_content("Not Found", "text/plain");
        return;
      }
      file = found->second;
    }
    auto bytes = std::make_shared<std::string>(std::move(file.bytes));
    // httplib answers ranges itself, asking the provider for their bytes.
    response.set_content_provider(
        bytes->size(), file.type,
        [this, bytes](size_t offset, size_t length, httplib::DataSink& sink) {
          const size_t allowed = waitToSend(offset);
          if (allowed == 0) return false;
          return sink.write(bytes->data() + offset, std::min({length, allowed, size_t{16384}}));
        });
  }

  // How many bytes from `offset` may go now; 0 when the server stops.
  size_t waitToSend(size_t offset) {
    std::unique_lock lock(mutex_);
    if (offset >= holdFrom_ && !stopping_) {
      ++waiting_;
      changed_.wait(lock, [&] { return offset < holdFrom_ || stopping_; });
      --waiting_;
    }
    if (stopping_) return 0;
    return holdFrom_ == std::string::npos ? std::string::npos : holdFrom_ - offset;
  }

  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, File> files_;
  size_t holdFrom_ = std::string::npos;
  int waiting_ = 0;
  bool stopping_ = false;
};

}  // namespace mr::test
