// The mirelune command: the program's jobs from a terminal.
#include <CLI/CLI.hpp>

#include <iostream>

#include "app/MRAppSession.h"
#include "app/MRURLHandler.h"
#include "base/Env.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "cli/ConsolePresenter.h"

namespace {

int runConfig() {
  const mr::Env& env = mr::Env::defaultEnv();
  const std::string path = mr::AppConfig::filePath(env.paths());
  auto config = mr::AppConfig::load(path);
  if (!config.ok()) {
    std::cerr << "mirelune: " << config.error().description() << "\n";
    return 1;
  }
  std::cout << "# " << path << (mr::fileExists(path) ? "" : " (not present: defaults)") << "\n";
  std::cout << mr::toJson(config->toValue(), mr::JsonOptions{true, false}) << "\n";
  std::cout << "# settings: " << env.paths().settingsFile() << "\n"
            << "# store:    " << env.paths().dataDir << "\n"
            << "# caches:   " << env.paths().cacheDir << "\n";
  return 0;
}

int runUrl(const std::string& url) {
  auto session = mr::MRAppSession::sharedSession();
  mr::MRURLHandler handler(url, *session);
  if (handler.handleURL()) {
    std::cout << "handled: " << handler.subject() << "\n";
    return 0;
  }
  std::cerr << "mirelune: no handler for " << url << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Mirelune: music discovery from your own library"};
  app.set_version_flag("--version", std::string("mirelune ") + MIRELUNE_VERSION);
  app.require_subcommand(0, 1);

  auto* config =
      app.add_subcommand("config", "Print the configuration in effect and where state lives");
  std::string url;
  auto* urlCommand =
      app.add_subcommand("url", "Handle a mirelune: URL, as the desktop hands it over");
  urlCommand->add_option("URL", url, "the URL")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& problem) {
    return app.exit(problem);
  }
  if (config->parsed()) return runConfig();
  if (urlCommand->parsed()) return runUrl(url);
  std::cout << app.help();
  return 0;
}
