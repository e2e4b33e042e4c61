// A running sandbox and a client signed in to it: the test's Env, a real
// HTTP engine on loopback, and the shared engines pointed at the sandbox.
#pragma once

#include <memory>
#include <string>

#include "base/HttpEngine.h"
#include "sandbox/SandboxServer.h"
#include "service/ovloRequest.h"
#include "support/TestEnv.h"

namespace mr::test {

class SandboxSession {
 public:
  // Starts the sandbox in `dir`, signs up `user` there and stores the
  // account in the Env's settings.
  explicit SandboxSession(TestEnv& testEnv, const std::string& user = "listener");
  ~SandboxSession();

  sandbox::SandboxServer& server() { return *server_; }
  int64_t accountId() const { return accountId_; }
  std::shared_ptr<HttpEngine> engine() const { return engine_; }
  std::shared_ptr<MRAPIBase> mirelune() const { return mirelune_; }

 private:
  std::unique_ptr<sandbox::SandboxServer> server_;
  std::shared_ptr<HttpEngine> engine_;
  std::shared_ptr<MRAPIBase> mirelune_;
  int64_t accountId_ = 0;
};

}  // namespace mr::test
