// config and url: the configuration in effect, and URLs from the desktop.
#include <iostream>

#include "app/MRAppSession.h"
#include "app/MRURLHandler.h"
#include "base/Env.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "cli/Commands.h"

namespace mr::cli {

void addConfigCommands(CLI::App& app, Action& action) {
  app.add_subcommand("config", "Print the configuration in effect and where state lives")
      ->callback([&action] {
        action = [] {
          const Env& env = Env::defaultEnv();
          const std::string path = AppConfig::filePath(env.paths());
          auto config = AppConfig::load(path);
          if (!config.ok()) return fail(config.error().description());
          std::cout << "# " << path << (fileExists(path) ? "" : " (not present: defaults)") << "\n";
          std::cout << toJson(config->toValue(), JsonOptions{true, false}) << "\n";
          std::cout << "# settings: " << env.paths().settingsFile() << "\n"
                    << "# store:    " << env.paths().dataDir << "\n"
                    << "# caches:   " << env.paths().cacheDir << "\n";
          return 0;
        };
      });

  auto url = std::make_shared<std::string>();
  auto* command = app.add_subcommand("url", "Handle a mirelune: URL, as the desktop hands it over");
  command->add_option("URL", *url, "the URL")->required();
  command->callback([&action, url] {
    action = [url] {
      auto session = MRAppSession::sharedSession();
      MRURLHandler handler(*url, *session);
      if (!handler.handleURL()) return fail("no handler for " + *url);
      std::cout << "handled: " << handler.subject() << "\n";
      return 0;
    };
  });
}

}  // namespace mr::cli
