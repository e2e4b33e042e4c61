// sandbox: the loopback stand-in for the remote services, for tests and the
// offline demo.
#include <unistd.h>

#include <csignal>
#include <iostream>

#include "base/Paths.h"
#include "cli/Commands.h"
#include "sandbox/SandboxServer.h"

namespace mr::cli {

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int) {
  stopRequested = 1;
}
}  // namespace

void addSandboxCommands(CLI::App& app, Action& action) {
  struct Options {
    int port = 0;
    std::optional<int> tlsPort;
    std::string configFile;
    std::string dataFolder;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "sandbox", "Serve the remote services on loopback (prints its address first)");
  command->add_option("--port", options->port, "HTTP port; 0 picks a free one")
      ->capture_default_str();
  command->add_option("--tls-port", options->tlsPort,
                      "also serve HTTPS here, with a certificate it makes");
  command->add_option("--write-config", options->configFile,
                      "write a config.json that points every service at it");
  command->add_option("--data", options->dataFolder,
                      "where it keeps its state (default: a folder under the caches)");
  command->callback([&action, options] {
    action = [options] {
      sandbox::SandboxServer::Options serverOptions;
      serverOptions.port = options->port;
      serverOptions.tlsPort = options->tlsPort;
      serverOptions.dataFolder = options->dataFolder.empty()
                                     ? Paths::fromEnvironment().cacheDir + "/sandbox"
                                     : options->dataFolder;
      sandbox::SandboxServer server(serverOptions);
      if (Status started = server.start(); !started.ok()) return fail(started.error().toString());
      std::cout << server.baseUrl() << std::endl;
      if (!server.tlsBaseUrl().empty()) std::cout << server.tlsBaseUrl() << std::endl;
      if (!options->configFile.empty()) {
        if (Status written = sandbox::writeClientConfig(server, options->configFile);
            !written.ok()) {
          return fail(written.error().toString());
        }
      }
      std::signal(SIGINT, requestStop);
      std::signal(SIGTERM, requestStop);
      while (stopRequested == 0)
        ::pause();
      server.stop();
      return 0;
    };
  });
}

}  // namespace mr::cli
