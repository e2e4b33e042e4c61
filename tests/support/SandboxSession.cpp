#include "support/SandboxSession.h"

#include <gtest/gtest.h>

#include "service/ovloAccount.h"

namespace mr::test {

SandboxSession::SandboxSession(TestEnv& testEnv, const std::string& user) {
  sandbox::SandboxServer::Options options;
  options.dataFolder = testEnv.dir().file("sandbox");
  server_ = std::make_unique<sandbox::SandboxServer>(options);
  const Status started = server_->start();
  EXPECT_TRUE(started.ok()) << (started.ok() ? "" : started.error().toString());
  auto account = server_->addAccount(user, "password");
  EXPECT_TRUE(account.ok()) << (account.ok() ? "" : account.error().toString());
  if (account.ok()) {
    const Status stored = ovloAccount(testEnv.settings()).setWithDictionary(*account);
    EXPECT_TRUE(stored.ok()) << (stored.ok() ? "" : stored.error().toString());
    accountId_ = account->intForKey("aid", 0);
  }
  engine_ =
      std::make_shared<HttpEngine>(Clock::real(), testEnv.reachability(), HttpEngine::Options{});
  mirelune_ = std::make_shared<MRAPIBase>(testEnv.env(), engine_, server_->baseUrl());
}

SandboxSession::~SandboxSession() {
  mirelune_.reset();
  engine_.reset();
  server_->stop();
}

}  // namespace mr::test
