// A Mirelune service on loopback for the endpoint tests: it records every
// request's path, form fields and file parts, and answers what the test set
// for the path. The endpoints talk to it through a real HTTP engine and a
// signing engine over the test's surroundings.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "base/HttpEngine.h"
#include "service/ovloAccount.h"
#include "service/ovloRequest.h"
#include "support/TestEnv.h"

namespace mr::test {

// Long enough for a loaded machine under the sanitizers; only a broken
// endpoint ever waits this long.
inline constexpr std::chrono::seconds kCallbackGuard{20};

// Until the request's final callback ran, within the guard.
inline bool finished(HttpOperation& operation) {
  return operation.waitUntilFinished(Clock::real(), Clock::real().deadlineAfter(kCallbackGuard));
}

struct RecordedPart {
  std::string fileName;
  std::string contentType;
  std::string content;
};

struct RecordedRequest {
  std::string path;  // without the leading "/"
  std::string contentType;
  std::map<std::string, std::string> fields;  // form fields, urlencoded or multipart
  std::map<std::string, RecordedPart> parts;  // multipart parts with a file name

  bool has(const std::string& field) const { return fields.count(field) != 0; }
  std::string field(const std::string& name) const {
    auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
  }
  // The form fields other than the five signature ones.
  std::map<std::string, std::string> unsignedFields() const {
    std::map<std::string, std::string> plain;
    for (const auto& [key, value] : fields) {
      if (key.rfind("__", 0) != 0) plain.emplace(key, value);
    }
    return plain;
  }
};

struct Reply {
  int status = 200;
  std::string body = R"({"error":0,"result":null})";
  std::string contentType = "application/json";
};

// What a callback was called with, and a wait for it. The callbacks hold the
// state, so a late call after a failed test touches nothing freed.
template <class... T>
class Capture {
 public:
  auto completion() {
    return [state = state_](T... values) {
      std::lock_guard guard(state->mutex);
      state->values.emplace(std::move(values)...);
      ++state->calls;
      state->changed.notify_all();
    };
  }
  auto error() {
    return [state = state_](const Error& error) {
      std::lock_guard guard(state->mutex);
      state->error = error;
      ++state->calls;
      state->changed.notify_all();
    };
  }
  // Until either callback ran; false when none came in time.
  bool wait() {
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, kCallbackGuard, [&] { return state_->calls > 0; });
  }
  bool completed() const {
    std::lock_guard guard(state_->mutex);
    return state_->values.has_value();
  }
  std::tuple<T...> values() const {
    std::lock_guard guard(state_->mutex);
    return *state_->values;
  }
  template <size_t I>
  auto get() const {
    return std::get<I>(values());
  }
  std::optional<Error> failure() const {
    std::lock_guard guard(state_->mutex);
    return state_->error;
  }
  int calls() const {
    std::lock_guard guard(state_->mutex);
    return state_->calls;
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::tuple<T...>> values;
    std::optional<Error> error;
    int calls = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

class ServiceFixture : public ::testing::Test {
 protected:
  ServiceFixture() {
    server_.Post(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
      RecordedRequest recorded;
      recorded.path = request.path.substr(1);
      recorded.contentType = request.get_header_value("Content-Type");
      for (const auto& [key, value] : request.params)
        recorded.fields[key] = value;
      for (const auto& [key, file] : request.files) {
        if (file.filename.empty()) {
          recorded.fields[key] = file.content;
        } else {
          recorded.parts[key] = RecordedPart{file.filename, file.content_type, file.content};
        }
      }
      Reply reply;
      {
        std::lock_guard guard(mutex_);
        auto found = replies_.find(recorded.path);
        if (found != replies_.end()) reply = found->second;
        requests_.push_back(std::move(recorded));
      }
      response.status = reply.status;
      response.set_content(reply.body, reply.contentType.c_str());
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    serverThread_ = std::thread([this] { server_.listen_after_bind(); });
    http_ =
        std::make_shared<HttpEngine>(Clock::real(), testEnv_.reachability(), HttpEngine::Options{});
    engine_ = std::make_shared<MRAPIBase>(testEnv_.env(), http_,
                                          "http://127.0.0.1:" + std::to_string(port_));
  }

  ~ServiceFixture() override {
    engine_.reset();
    http_.reset();  // ends every request still open
    // stop() does nothing before the loop has started, which would then run
    // for ever; the thread is there within moments of the constructor.
    while (!server_.is_running())
      std::this_thread::yield();
    server_.stop();
    serverThread_.join();
    testEnv_.pool().waitIdle();
  }

  // A logged-in account, so requests are signed and sent.
  void signIn() {
    ovloAccount account(testEnv_.settings());
    ASSERT_TRUE(account.setAccountID(15).ok());
    ASSERT_TRUE(account.setAccessTokenPublic("public-token").ok());
    ASSERT_TRUE(account.setAccessTokenPrivate("private-token").ok());
  }

  void answer(const std::string& path, Reply reply) {
    std::lock_guard guard(mutex_);
    replies_[path] = std::move(reply);
  }
  void answerJson(const std::string& path, const std::string& body) {
    answer(path, Reply{200, body, "application/json"});
  }

  std::vector<RecordedRequest> requests() const {
    std::lock_guard guard(mutex_);
    return requests_;
  }
  // The one request the server saw (a failed expectation otherwise).
  RecordedRequest onlyRequest() const {
    auto all = requests();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? RecordedRequest{} : all.front();
  }

  const std::shared_ptr<MRAPIBase>& engine() const { return engine_; }
  TestEnv& testEnv() { return testEnv_; }

 private:
  TestEnv testEnv_;
  httplib::Server server_;
  int port_ = 0;
  std::thread serverThread_;
  std::shared_ptr<HttpEngine> http_;
  std::shared_ptr<MRAPIBase> engine_;
  mutable std::mutex mutex_;
  std::map<std::string, Reply> replies_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace mr::test
