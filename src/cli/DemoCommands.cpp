// mirelune demo: the whole program offline in one command. It starts the
// sandbox on loopback, points a fresh profile at it and runs the program's
// own commands against it, one step after another, each in a process of its
// own as a listener would run them, with a line of report per step.
#include <gio/gio.h>
#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Json.h"
#include "cli/Commands.h"

namespace mr::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "mirelune-demo";
constexpr const char* kListener = "demo";

struct DemoOptions {
  bool headless = false;
  bool keepOpen = false;
  std::string profile;
};

// What a step's process did.
struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  bool timedOut = false;

  bool ok() const { return !timedOut && status == 0; }
  // The reason to show: its last line on standard error, else standard out.
  std::string why() const {
    if (timedOut) return "it did not end in time";
    for (const std::string* text : {&err, &out}) {
      std::string trimmed = *text;
      while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) {
        trimmed.pop_back();
      }
      if (trimmed.empty()) continue;
      const size_t line = trimmed.rfind('\n');
      return line == std::string::npos ? trimmed : trimmed.substr(line + 1);
    }
    return "it exited with status " + std::to_string(status);
  }
};

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// This program, run in the demo's profile.
class Runner {
 public:
  Runner(std::string self, const fs::path& profile) : self_(std::move(self)) {
    launcher_ = g_subprocess_launcher_new(static_cast<GSubprocessFlags>(
        G_SUBPROCESS_FLAGS_STDIN_PIPE | G_SUBPROCESS_FLAGS_STDOUT_PIPE |
        G_SUBPROCESS_FLAGS_STDERR_PIPE));
    // The listener's own settings and services stay out of the demo.
    for (char** name = g_listenv(); name != nullptr && *name != nullptr; ++name) {
      if (g_str_has_prefix(*name, "MIRELUNE_") && std::string(*name) != "MIRELUNE_AUDIO_SINK" &&
          std::string(*name) != "MIRELUNE_LOG") {
        g_subprocess_launcher_unsetenv(launcher_, *name);
      }
    }
    set("XDG_CONFIG_HOME", profile / "config");
    set("XDG_DATA_HOME", profile / "data");
    set("XDG_CACHE_HOME", profile / "cache");
    set("MIRELUNE_CONFIG", profile / "sandbox" / "config.json");
    if (!g_getenv("MIRELUNE_LOG")) g_subprocess_launcher_setenv(launcher_, "MIRELUNE_LOG", "error", TRUE);
  }
  ~Runner() { g_object_unref(launcher_); }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  // Runs `args` to its end, feeding `input`; gives up (and kills it) after
  // `limit`.
  Outcome run(const std::vector<std::string>& args, const std::string& input = {},
              std::chrono::seconds limit = std::chrono::seconds(300)) {
    Outcome outcome;
    GError* error = nullptr;
    GSubprocess* process = spawn(args, &error);
    if (!process) {
      outcome.err = error->message;
      g_error_free(error);
      return outcome;
    }
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    struct Wait {
      bool done = false;
      char* out = nullptr;
      char* err = nullptr;
      GError* error = nullptr;
    } wait;
    g_subprocess_communicate_utf8_async(
        process, input.empty() ? nullptr : input.c_str(), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          auto* w = static_cast<Wait*>(data);
          g_subprocess_communicate_utf8_finish(G_SUBPROCESS(source), result, &w->out, &w->err,
                                               &w->error);
          w->done = true;
        },
        &wait);
    struct Limit {
      GSubprocess* process;
      bool* timedOut;
    } guard{process, &outcome.timedOut};
    GSource* timer = g_timeout_source_new_seconds(static_cast<guint>(limit.count()));
    g_source_set_callback(
        timer,
        [](gpointer data) -> gboolean {
          auto* g = static_cast<Limit*>(data);
          *g->timedOut = true;
          g_subprocess_force_exit(g->process);
          return G_SOURCE_REMOVE;
        },
        &guard, nullptr);
    g_source_attach(timer, context);
    while (!wait.done) g_main_context_iteration(context, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
    if (wait.error) g_error_free(wait.error);
    g_subprocess_wait(process, nullptr, nullptr);
    outcome.status = g_subprocess_get_if_exited(process) ? g_subprocess_get_exit_status(process) : -1;
    outcome.out = wait.out ? wait.out : "";
    outcome.err = wait.err ? wait.err : "";
    g_free(wait.out);
    g_free(wait.err);
    g_object_unref(process);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return outcome;
  }

  // Starts `args` and leaves it running; its first line of output, or
  // nullopt (with `why`) when it ended or said nothing.
  GSubprocess* start(const std::vector<std::string>& args, std::string& firstLine,
                     std::string& why) {
    GError* error = nullptr;
    GSubprocess* process = spawn(args, &error);
    if (!process) {
      why = error->message;
      g_error_free(error);
      return nullptr;
    }
    GDataInputStream* reader = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process));
    char* line = g_data_input_stream_read_line_utf8(reader, nullptr, nullptr, &error);
    g_object_unref(reader);
    if (!line) {
      why = error ? error->message : "it ended without a word";
      if (error) g_error_free(error);
      stop(process);
      return nullptr;
    }
    firstLine = line;
    g_free(line);
    return process;
  }

  static void stop(GSubprocess* process) {
    if (!process) return;
    g_subprocess_send_signal(process, SIGTERM);
    g_subprocess_wait(process, nullptr, nullptr);
    g_object_unref(process);
  }

 private:
  void set(const char* name, const fs::path& value) {
    g_subprocess_launcher_setenv(launcher_, name, value.c_str(), TRUE);
  }
  GSubprocess* spawn(const std::vector<std::string>& args, GError** error) {
    std::vector<const char*> argv{self_.c_str()};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    return g_subprocess_launcher_spawnv(launcher_, argv.data(), error);
  }

  std::string self_;
  GSubprocessLauncher* launcher_;
};

// A line per step: number, name, time, result.
class Report {
 public:
  using Step = std::function<std::optional<std::string>(std::string& result)>;

  // Runs `step`; false (after saying which step failed and why) when it
  // failed.
  bool step(const std::string& name, const Step& run) {
    ++number_;
    const auto started = std::chrono::steady_clock::now();
    std::string result;
    const std::optional<std::string> failure = run(result);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (failure) {
      std::printf("%2d  %-16s %6.1f s  FAILED\n", number_, name.c_str(), seconds);
      std::fflush(stdout);
      std::fprintf(stderr, "mirelune: the demo stopped at step %d, \"%s\": %s\n", number_,
                   name.c_str(), failure->c_str());
      return false;
    }
    std::printf("%2d  %-16s %6.1f s  %s\n", number_, name.c_str(), seconds, result.c_str());
    std::fflush(stdout);
    return true;
  }

 private:
  int number_ = 0;
};

std::string selfPath(const char* fallback) {
  std::error_code ignored;
  const fs::path self = fs::read_symlink("/proc/self/exe", ignored);
  return self.empty() ? std::string(fallback) : self.string();
}

bool hasDisplay() {
  const char* x = g_getenv("DISPLAY");
  const char* wayland = g_getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

int runDemo(const DemoOptions& options) {
  const auto started = std::chrono::steady_clock::now();
  fs::path profile;
  bool temporary = options.profile.empty();
  if (temporary) {
    GError* error = nullptr;
    char* made = g_dir_make_tmp("mirelune-demo-XXXXXX", &error);
    if (!made) {
      const std::string why = error->message;
      g_error_free(error);
      return fail("no folder for the demo's profile: " + why);
    }
    profile = made;
    g_free(made);
  } else {
    profile = fs::absolute(options.profile);
    std::error_code made;
    fs::create_directories(profile, made);
    if (made) return fail("no folder for the demo's profile: " + made.message());
  }
  std::printf("Mirelune demo, profile %s%s\n", profile.c_str(),
              temporary ? " (removed at the end)" : "");
  std::fflush(stdout);

  Runner runner(selfPath("mirelune"), profile);
  GSubprocess* sandbox = nullptr;
  GSubprocess* window = nullptr;
  const fs::path library = profile / "library.xml";
  Report report;
  std::string firstPlayed;

  const bool done = [&] {
    if (!report.step("sandbox", [&](std::string& result) -> std::optional<std::string> {
          std::string address, why;
          sandbox = runner.start({"sandbox", "--port", "0", "--data", profile / "sandbox",
                                  "--write-config", profile / "sandbox" / "config.json",
                                  "--write-library", library, "--library-tracks", "40"},
                                 address, why);
          if (!sandbox) return "the sandbox did not start: " + why;
          result = "the five services on " + address;
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("sign up", [&](std::string& result) -> std::optional<std::string> {
          Outcome who = runner.run({"whoami"});
          if (who.ok()) {
            result = "already signed in: " + who.why();
            return std::nullopt;
          }
          Outcome signup = runner.run({"signup", kListener}, std::string(kPassword) + "\n");
          if (!signup.ok()) {
            // A kept profile whose sandbox knows the listener already.
            Outcome login = runner.run({"login", kListener}, std::string(kPassword) + "\n");
            if (!login.ok()) return signup.why();
          }
          result = std::string("signed in as \"") + kListener + "\"";
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("library", [&](std::string& result) -> std::optional<std::string> {
          if (Outcome use = runner.run({"library", "use", library}); !use.ok()) return use.why();
          Outcome scan = runner.run({"library", "scan", "--json"});
          if (!scan.ok()) return scan.why();
          auto parsed = parseJson(scan.out);
          if (!parsed.ok()) return "the library scan said: " + scan.out;
          result = std::to_string(parsed.value().integerForKey("tracks", 0)) + " tracks by " +
                   std::to_string(parsed.value().integerForKey("artists", 0)) +
                   " artists read from " + library.filename().string();
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("first analysis", [&](std::string& result) -> std::optional<std::string> {
          Outcome analyse = runner.run({"analyse", "--wait"});
          if (!analyse.ok()) return analyse.why();
          result = lines(analyse.out).empty() ? "done" : lines(analyse.out).back();
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("recommendations", [&](std::string& result) -> std::optional<std::string> {
          Outcome recommend = runner.run({"recommend", "--until", "30", "--wait"});
          if (!recommend.ok()) return recommend.why();
          result = lines(recommend.out).empty() ? "done" : lines(recommend.out).back();
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("window", [&](std::string& result) -> std::optional<std::string> {
          if (options.headless) {
            result = "skipped (--headless)";
            return std::nullopt;
          }
          // The window where there is a display; else only its server.
          const bool display = hasDisplay();
          std::string address, why;
          window = runner.start(display ? std::vector<std::string>{}
                                        : std::vector<std::string>{"ui", "--no-window"},
                                address, why);
          if (!window) return "the window did not open: " + why;
          result = display ? "the main window shows the home page (" + address + ")"
                           : "no display: the home page is served at " + address;
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("play", [&](std::string& result) -> std::optional<std::string> {
          Outcome play = runner.run({"play", "recommend", "--no-keys", "--tracks", "2"}, {},
                                    std::chrono::seconds(240));
          if (!play.ok()) return play.why();
          std::vector<std::string> played;
          for (const auto& line : lines(play.out)) {
            if (line.rfind("playing: ", 0) == 0) played.push_back(line.substr(9));
          }
          if (played.size() < 2) return "fewer than two tracks played: " + play.why();
          firstPlayed = played[0];
          result = played[0] + " cross-faded into " + played[1];
          return std::nullopt;
        })) {
      return false;
    }
    if (!report.step("favorite", [&](std::string& result) -> std::optional<std::string> {
          // "ARTIST - TITLE (source)": the artist never holds " - " in the
          // sandbox's catalogue.
          std::string track = firstPlayed.substr(0, firstPlayed.rfind(" ("));
          const size_t dash = track.find(" - ");
          if (dash == std::string::npos) return "cannot tell the first track's artist: " + track;
          const std::string artist = track.substr(0, dash);
          const std::string title = track.substr(dash + 3);
          if (Outcome add = runner.run({"favorite", "add", artist, title}); !add.ok()) {
            return add.why();
          }
          if (Outcome cache = runner.run({"favorite", "cache", artist, title}); !cache.ok()) {
            return cache.why();
          }
          std::string file;
          std::error_code ignored;
          for (const auto& entry :
               fs::directory_iterator(profile / "cache" / "mirelune" / "FavoriteTrack", ignored)) {
            if (entry.path().extension() == ".m4a") file = entry.path().filename().string();
          }
          if (file.empty()) return "no cached audio file was written";
          result = track + " favorited and cached as " + file;
          return std::nullopt;
        })) {
      return false;
    }
    return report.step("new releases", [&](std::string& result) -> std::optional<std::string> {
      Outcome check = runner.run({"releases", "--check", "--json"});
      if (!check.ok()) return check.why();
      auto parsed = parseJson(check.out);
      if (!parsed.ok() || !parsed.value().isArray()) return "the check said: " + check.out;
      result = std::to_string(parsed.value().size()) + " new releases of the library's artists";
      return std::nullopt;
    });
  }();

  if (done) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("done in %.1f s\n", seconds);
    std::fflush(stdout);
    if (options.keepOpen) {
      std::printf("The sandbox%s keeps running; Ctrl-C ends the demo.\n",
                  window ? " and the window" : "");
      std::fflush(stdout);
      GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
      const auto quit = [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
      };
      g_unix_signal_add(SIGINT, quit, loop);
      g_unix_signal_add(SIGTERM, quit, loop);
      g_main_loop_run(loop);
      g_main_loop_unref(loop);
    }
  }
  Runner::stop(window);
  Runner::stop(sandbox);
  if (temporary && !options.keepOpen) {
    std::error_code ignored;
    fs::remove_all(profile, ignored);
  }
  return done ? 0 : 1;
}

}  // namespace

void addDemoCommands(CLI::App& app, Action& action) {
  auto options = std::make_shared<DemoOptions>();
  auto* demo = app.add_subcommand(
      "demo", "The whole program offline: sandbox, sign-up, analysis, recommendations, play, "
              "favorite, new releases");
  demo->add_flag("--headless", options->headless, "every step without a window");
  demo->add_flag("--keep-open", options->keepOpen,
                 "leave the window and the sandbox running at the end, until Ctrl-C");
  demo->add_option("--profile", options->profile,
                   "keep the demo's profile in this folder (a temporary one otherwise)");
  demo->callback([&action, options] { action = [options] { return runDemo(*options); }; });
}

}  // namespace mr::cli
