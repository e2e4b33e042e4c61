// signup, login, logout, whoami: the ovlo account on this machine.
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "base/Env.h"
#include "base/Localization.h"
#include "cli/Commands.h"
#include "service/ovloAuth.h"

namespace mr::cli {

std::string readPassword(const std::string& prompt) {
  std::string password;
  if (::isatty(STDIN_FILENO) == 0) {
    std::getline(std::cin, password);
    return password;
  }
  std::cerr << prompt << std::flush;
  termios saved{};
  ::tcgetattr(STDIN_FILENO, &saved);
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  std::getline(std::cin, password);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  std::cerr << "\n";
  return password;
}

int fail(const std::string& message) {
  std::cerr << "mirelune: " << message << "\n";
  return 1;
}

namespace {

// Runs one authentication and waits for its answer.
int authenticate(const std::string& what,
                 const std::function<std::shared_ptr<HttpOperation>(ovloAuthCompletion,
                                                                    ovloAuthFailure)>& start) {
  std::mutex mutex;
  std::condition_variable cv;
  std::optional<int> result;
  const auto finish = [&](int code) {
    std::lock_guard guard(mutex);
    result = code;
    cv.notify_all();
  };
  auto operation = start(
      [&](bool success, int32_t code, const std::string& message) {
        if (success) {
          finish(0);
          return;
        }
        const std::string text = localizedString("OVLO_AUTH_RET_" + std::to_string(code), message);
        std::cerr << "mirelune: " << what << " failed: error " << code << ": "
                  << (text.empty() ? message : text) << "\n";
        finish(1);
      },
      [&](const Error& error) {
        std::cerr << "mirelune: " << what << " failed: " << error.toString() << "\n";
        finish(1);
      });
  if (!operation)
    return fail(what + ": nothing was sent (a name, password or consumer ID is missing)");
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return result.has_value(); });
  return *result;
}

}  // namespace

void addAccountCommands(CLI::App& app, Action& action) {
  struct Options {
    std::string user;
    std::optional<std::string> country;
    int64_t birthYear = 0;
    int64_t sex = 0;
  };
  auto options = std::make_shared<Options>();

  auto* signup = app.add_subcommand("signup", "Create an ovlo account and sign in with it");
  signup->add_option("USER", options->user, "the account name")->required();
  signup->add_option("--country", options->country,
                     "two-letter country code (default: your locale's)");
  signup->add_option("--birth-year", options->birthYear, "year of birth");
  signup->add_option("--sex", options->sex, "sex code");
  signup->callback([&action, options] {
    action = [options] {
      const Env& env = Env::defaultEnv();
      const std::string password = readPassword("Password for " + options->user + ": ");
      auto auth = ovloAuth::sharedInstance();
      const int rc = authenticate("sign-up", [&](ovloAuthCompletion done, ovloAuthFailure failed) {
        return auth->signupWithUser(options->user, password, env.config().consumerId,
                                    options->country, options->birthYear, options->sex, done,
                                    failed);
      });
      if (rc == 0) std::cout << "signed up and signed in as " << options->user << "\n";
      return rc;
    };
  });

  auto* login = app.add_subcommand("login", "Sign in with an ovlo account");
  login->add_option("USER", options->user, "the account name")->required();
  login->callback([&action, options] {
    action = [options] {
      const Env& env = Env::defaultEnv();
      const std::string password = readPassword("Password for " + options->user + ": ");
      auto auth = ovloAuth::sharedInstance();
      const int rc = authenticate("log-in", [&](ovloAuthCompletion done, ovloAuthFailure failed) {
        return auth->loginWithUser(options->user, password, env.config().consumerId, done, failed);
      });
      if (rc == 0) std::cout << "signed in as " << options->user << "\n";
      return rc;
    };
  });

  app.add_subcommand("logout", "Sign out on this machine")->callback([&action] {
    action = [] {
      if (Status out = ovloAccount(Env::defaultEnv().settings()).logout(); !out.ok())
        return fail("still signed in: " + out.error().toString());
      std::cout << "signed out\n";
      return 0;
    };
  });

  app.add_subcommand("whoami", "Print the account signed in on this machine")->callback([&action] {
    action = [] {
      Settings& settings = Env::defaultEnv().settings();
      if (Status read = settings.synchronize(); !read.ok())
        return fail("cannot tell: " + read.error().toString());
      const ovloAccount account(settings);
      if (!account.isAuthorized()) return fail("not signed in");
      std::cout << account.accountID() << " " << account.accountName().value_or("") << "\n";
      return 0;
    };
  });
}

}  // namespace mr::cli
