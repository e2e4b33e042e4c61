// Time from play of a sandbox preview to its first buffer at the sink (the
// moment the pipeline has prerolled), for our GStreamer media player and for
// gst-launch-1.0 playbin on the same address and the same sink. Each try
// runs in a new process after GStreamer has started, as gst-launch does, so
// both load their plug-ins on the way. Prints the medians and their ratio
// (goal: 1.2 or less).
//   playback_bench [ROUNDS]
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "playback/GstMediaPlayer.h"
#include "sandbox/SandboxServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Real time, so the sink passes buffers at the pace a listener hears them.
constexpr const char* kSink = "fakesink sync=true";

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "playback_bench: %s\n", why.c_str());
  std::exit(1);
}

// One try in this process: says when it starts and when the sink has its
// first buffer (the player is ready: it has prerolled).
int playOnce(const std::string& url) {
  if (mr::Status started = mr::GstMediaPlayerFactory::initialize(); !started.ok()) {
    fail(started.error().toString());
  }
  mr::GstMediaPlayerFactory factory([](const std::string& name) -> std::optional<std::string> {
    if (name == "MIRELUNE_AUDIO_SINK") return kSink;
    return std::nullopt;
  });
  std::printf("starting\n");
  std::fflush(stdout);
  auto player = factory.playerForUrl(url);
  bool ready = false;
  player->setObserver([&](mr::MRMediaPlayer::Property property) {
    if (property == mr::MRMediaPlayer::Property::Readiness) ready = true;
  });
  player->play();
  while (!ready)
    g_main_context_iteration(nullptr, TRUE);
  if (player->readiness() != mr::MediaPlayerReadiness::ReadyToPlay) {
    fail("our player failed: " + player->itemError().value_or(mr::Error()).toString());
  }
  std::printf("first buffer\n");
  std::fflush(stdout);
  return 0;
}

// Runs `command` and times it from its first line that holds `from` to its
// first line that holds one of `to`.
double timeLines(const std::vector<std::string>& command, const std::string& from,
                 const std::vector<std::string>& to) {
  int out[2];
  if (pipe(out) != 0) fail("no pipe");
  const pid_t child = fork();
  if (child < 0) fail("no fork");
  if (child == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> arguments;
    for (const std::string& argument : command)
      arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    execvp(arguments[0], arguments.data());
    _exit(127);
  }
  close(out[1]);
  FILE* lines = fdopen(out[0], "r");
  std::optional<Clock::time_point> started;
  std::optional<double> took;
  char line[4096];
  while (!took && std::fgets(line, sizeof line, lines) != nullptr) {
    const std::string text(line);
    if (std::getenv("PLAYBACK_BENCH_VERBOSE")) std::fputs(line, stderr);
    if (!started && text.find(from) != std::string::npos) started = Clock::now();
    for (const std::string& end : to) {
      if (started && !took && text.find(end) != std::string::npos) {
        took = std::chrono::duration<double, std::milli>(Clock::now() - *started).count();
      }
    }
  }
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  std::fclose(lines);
  if (!took) fail(command[0] + " never reached its first buffer");
  return *took;
}

std::string readSelf() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) fail("cannot find this program");
  return self.string();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--once") return playOnce(argv[2]);
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const auto folder = std::filesystem::temp_directory_path() /
                      ("mirelune-playback-bench-" + std::to_string(getpid()));
  mr::sandbox::SandboxServer::Options options;
  options.dataFolder = folder.string();
  mr::sandbox::SandboxServer sandbox(options);
  if (mr::Status started = sandbox.start(); !started.ok()) fail(started.error().toString());
  const auto& tracks = sandbox.catalogue().tracks();
  auto listed = std::find_if(tracks.begin(), tracks.end(),
                             [](const auto& track) { return track.storeTrackId != 0; });
  if (listed == tracks.end()) fail("no store track in the catalogue");
  const std::string url =
      sandbox.baseUrl() + "/itunes/preview/" + std::to_string(listed->storeTrackId) + ".m4a";

  const std::vector<std::string> launch = {"gst-launch-1.0",
                                           "-v",
                                           "-X",
                                           "caps",
                                           "playbin",
                                           "uri=" + url,
                                           std::string("audio-sink=") + kSink + " silent=false"};
  // Our player's flags: the sound only, downloading.
  const char* ourFlags = "flags=audio+soft-volume+download";
  std::vector<std::string> launchAlike = launch;
  launchAlike.push_back(ourFlags);
  // gst-launch's sink tells of its first buffer in its last-message.
  const std::vector<std::string> firstBuffer = {"last-message = preroll", "last-message = chain"};
  auto timeOurs = [&] {
    return timeLines({readSelf(), "--once", url}, "starting", {"first buffer"});
  };
  auto timeLaunch = [&](const std::vector<std::string>& command) {
    return timeLines(command, "Setting pipeline to PAUSED", firstBuffer);
  };
  // The first request makes the preview; neither side should pay for it.
  (void)timeOurs();
  (void)timeLaunch(launch);
  std::vector<double> mine;
  std::vector<double> theirs;
  std::vector<double> theirsAlike;
  for (int round = 0; round < rounds; ++round) {
    mine.push_back(timeOurs());
    theirs.push_back(timeLaunch(launch));
    theirsAlike.push_back(timeLaunch(launchAlike));
  }
  sandbox.stop();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);

  const double a = median(mine);
  const double b = median(theirs);
  const double c = median(theirsAlike);
  std::printf("play to first buffer at the sink (%s), median of %d, %s\n", kSink, rounds,
              url.c_str());
  std::printf("  GstMediaPlayer                      %8.2f ms\n", a);
  std::printf("  gst-launch-1.0 playbin              %8.2f ms  ratio %.2f (goal <= 1.2)\n", b,
              a / b);
  std::printf("  gst-launch-1.0 playbin %s  %8.2f ms  ratio %.2f\n", ourFlags, c, a / c);
  return 0;
}
