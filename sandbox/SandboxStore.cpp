#include "sandbox/SandboxStore.h"

namespace mr::sandbox {

Result<std::unique_ptr<SandboxStore>> SandboxStore::open(const std::string& path) {
  auto connection = Connection::open(path);
  if (!connection.ok()) return connection.error();
  return std::unique_ptr<SandboxStore>(new SandboxStore(std::move(connection.value())));
}

}  // namespace mr::sandbox
