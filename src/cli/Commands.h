// The subcommands of the mirelune command. Each group adds its commands to
// the parser; the one the user chose sets `action`, which main() runs.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace mr::cli {

using Action = std::function<int()>;

void addConfigCommands(CLI::App& app, Action& action);
void addAccountCommands(CLI::App& app, Action& action);
void addSandboxCommands(CLI::App& app, Action& action);
void addLibraryCommands(CLI::App& app, Action& action);
void addExternalCommands(CLI::App& app, Action& action);
void addRecommendCommands(CLI::App& app, Action& action);
void addPlayCommands(CLI::App& app, Action& action);
void addFavoriteCommands(CLI::App& app, Action& action);
void addSocialCommands(CLI::App& app, Action& action);
void addDemoCommands(CLI::App& app, Action& action);
// The window and its pages; also what `mirelune` without a command does.
void addUiCommands(CLI::App& app, Action& action);
// The desktop entry and the URL scheme.
void addDesktopCommands(CLI::App& app, Action& action);

// A password from the terminal without echo, or the first line of standard
// input when that is not a terminal.
std::string readPassword(const std::string& prompt);
// Prints "mirelune: <message>" on standard error and returns 1.
int fail(const std::string& message);

}  // namespace mr::cli
