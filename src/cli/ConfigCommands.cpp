// config and url: the configuration in effect, and URLs from the desktop.
#include <iostream>

#include "app/MRAppSession.h"
#include "app/MRURLHandler.h"
#include "base/Env.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "cli/Commands.h"
#include "ui/MRSingleInstance.h"

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
      // The window running for this profile handles it, as the desktop's
      // URL event would reach it.
      if (MRSingleInstance::sendToRunning(Env::defaultEnv().paths().dataDir, "url " + *url).ok()) {
        std::cout << "handed to the running Mirelune\n";
        return 0;
      }
      auto session = MRAppSession::sharedSession();
      Dispatcher& main = Env::defaultEnv().main();
      int code = 0;
      bool waiting = false;
      // Waits for what the URL started, as the running program would see it.
      session->setConnectionsRefreshedHandler([&](std::optional<Error> error) {
        if (error) {
          std::cerr << "mirelune: the connections were not refreshed: " << error->toString()
                    << "\n";
          code = 1;
        } else {
          std::cout << "connections refreshed\n";
        }
        main.quit();
      });
      main.post([&] {
        MRURLHandler handler(*url, *session);
        if (!handler.handleURL()) {
          std::cerr << "mirelune: no handler for " << *url << "\n";
          code = 1;
          main.quit();
          return;
        }
        std::cout << "handled: " << handler.subject() << "\n";
        waiting = handler.subject() == "oauth-complete";
        if (!waiting) main.quit();
      });
      main.run();
      session->setConnectionsRefreshedHandler(nullptr);
      return code;
    };
  });
}

}  // namespace mr::cli
