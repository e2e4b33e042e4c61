// The mirelune command: the program's jobs from a terminal.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <cstdlib>
#include <iostream>

#include "app/MRBackgroundWork.h"
#include "cli/Commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Mirelune: music discovery from your own library"};
  app.set_version_flag("--version", std::string("mirelune ") + MIRELUNE_VERSION);
  app.require_subcommand(0, 1);

  mr::cli::Action action;
  mr::cli::addConfigCommands(app, action);
  mr::cli::addAccountCommands(app, action);
  mr::cli::addLibraryCommands(app, action);
  mr::cli::addExternalCommands(app, action);
  mr::cli::addRecommendCommands(app, action);
  mr::cli::addPlayCommands(app, action);
  mr::cli::addFavoriteCommands(app, action);
  mr::cli::addSocialCommands(app, action);
  mr::cli::addSandboxCommands(app, action);
  mr::cli::addDemoCommands(app, action);
  mr::cli::addUiCommands(app, action);
  mr::cli::addDesktopCommands(app, action);

  // The desktop entry hands over a URL alone: "mirelune mirelune://…".
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0].rfind("mirelune:", 0) == 0) args.insert(args.begin(), "url");
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& problem) {
    return app.exit(problem);
  }
  if (!action) {
    std::cout << app.help();
    return 0;
  }
  const int code = action();
  // Jobs still running would outlive main() into the statics' destruction.
  if (!mr::finishBackgroundWork(mr::Env::defaultEnv())) {
    std::fflush(nullptr);
    std::_Exit(code);
  }
  return code;
}
