// sandbox: the loopback stand-in for the remote services, for tests and the
// offline demo.
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "base/AppConfig.h"
#include "base/Paths.h"
#include "cli/Commands.h"
#include "sandbox/SandboxFaults.h"
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
    std::string libraryFile;
    int libraryTracks = 500;
    std::string lastfmApiKey = AppConfig().lastfmApiKey;
    uint64_t catalogueSeed = sandbox::MusicCatalogue::kDefaultSeed;
    std::vector<std::string> latencies;
    std::string requestLog;
    std::vector<std::string> failRates;
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
  command->add_option("--write-library", options->libraryFile,
                      "write an iTunes Music Library file of tracks the services know");
  command
      ->add_option("--library-tracks", options->libraryTracks,
                   "how many tracks --write-library writes")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  command
      ->add_option("--lastfm-api-key", options->lastfmApiKey,
                   "the only API key the Last.fm stand-in accepts")
      ->capture_default_str();
  command
      ->add_option("--catalogue-seed", options->catalogueSeed,
                   "makes up a different catalogue of artists, tracks and videos")
      ->capture_default_str();
  command->add_option("--request-log", options->requestLog,
                      "append one JSON line per answered request (with its status) to this file");
  command->add_option("--latency-ms", options->latencies,
                      "PATH-PREFIX=MS: delay the answers under the prefix (repeatable)");
  command->add_option("--fail-rate", options->failRates,
                      "PATH-PREFIX=SHARE: answer that share of requests under the prefix with "
                      "503, spread evenly (repeatable)");
  command->callback([&action, options] {
    action = [options] {
      sandbox::SandboxServer::Options serverOptions;
      serverOptions.port = options->port;
      serverOptions.tlsPort = options->tlsPort;
      serverOptions.dataFolder = options->dataFolder.empty()
                                     ? Paths::fromEnvironment().cacheDir + "/sandbox"
                                     : options->dataFolder;
      serverOptions.lastfmApiKey = options->lastfmApiKey;
      serverOptions.catalogueSeed = options->catalogueSeed;
      serverOptions.requestLog = options->requestLog;
      for (const std::string& rule : options->latencies) {
        auto parsed = sandbox::SandboxFaults::parseRule(rule);
        if (!parsed.ok()) return fail("--latency-ms: " + parsed.error().description());
        serverOptions.latencyMs[parsed->first] = static_cast<int>(parsed->second);
      }
      for (const std::string& rule : options->failRates) {
        auto parsed = sandbox::SandboxFaults::parseRule(rule);
        if (!parsed.ok() || parsed->second > 1) {
          return fail("--fail-rate: \"" + rule +
                      "\" is not PATH-PREFIX=SHARE, a share from 0 to 1");
        }
        serverOptions.failRate[parsed->first] = parsed->second;
      }
      sandbox::SandboxServer server(serverOptions);
      if (Status started = server.start(); !started.ok()) return fail(started.error().toString());
      if (!options->configFile.empty()) {
        if (Status written = sandbox::writeClientConfig(server, options->configFile);
            !written.ok()) {
          return fail(written.error().toString());
        }
      }
      if (!options->libraryFile.empty()) {
        if (Status written = server.writeLibrary(options->libraryFile, options->libraryTracks);
            !written.ok()) {
          return fail(written.error().toString());
        }
      }
      // Ready when the address is out: the files it names are written.
      std::cout << server.baseUrl() << std::endl;
      if (!server.tlsBaseUrl().empty()) std::cout << server.tlsBaseUrl() << std::endl;
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
