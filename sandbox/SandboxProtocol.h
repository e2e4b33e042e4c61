// One remote service the sandbox plays. Each half keeps its own tables in
// the sandbox's store and registers its own routes; SandboxServer owns the
// halves and installs their routes on its servers.
#pragma once

#include "base/Error.h"
#include "store/Connection.h"

namespace mr::sandbox {

class SandboxRouter;

class SandboxProtocol {
 public:
  virtual ~SandboxProtocol() = default;

  // Creates the half's tables when missing.
  virtual Status createSchema(Connection& db) = 0;
  virtual void registerRoutes(SandboxRouter& router) = 0;
};

}  // namespace mr::sandbox
