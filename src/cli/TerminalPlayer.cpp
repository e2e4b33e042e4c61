#include "cli/TerminalPlayer.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "base/MRServiceOperationQueue.h"

namespace mr::cli {

namespace {

std::atomic<bool> gInterrupted{false};

extern "C" void onInterrupt(int) {
  gInterrupted = true;
}

// Raw keys from the terminal, restored however the program ends.
struct RawTerminal {
  termios saved{};
  bool active = false;

  void enter() {
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  void leave() {
    if (active) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    active = false;
  }
};

RawTerminal& rawTerminal() {
  static RawTerminal terminal;
  return terminal;
}

const char* statusName(MRTrackPlayerStatus status) {
  switch (status) {
    case MRTrackPlayerStatusIdle:
      return "idle";
    case MRTrackPlayerStatusLoading:
      return "loading";
    case MRTrackPlayerStatusPlaying:
      return "playing";
    case MRTrackPlayerStatusPaused:
      return "paused";
    case MRTrackPlayerStatusFinished:
      return "finished";
  }
  return "?";
}

}  // namespace

TerminalPlayer::TerminalPlayer(const Env& env, std::shared_ptr<MRPlaylistPlayer> player,
                               std::shared_ptr<NotificationCenter> notifications, Options options)
    : env_(env),
      player_(std::move(player)),
      notifications_(std::move(notifications)),
      options_(options) {}

TerminalPlayer::~TerminalPlayer() {
  stopKeyReader();
  rawTerminal().leave();
}

std::string TerminalPlayer::describe(const MRPlaylistTrackItem& item) {
  return item.artist + " - " + item.title;
}

const char* TerminalPlayer::sourceName(int sourceID) {
  switch (sourceID) {
    case MRPreviewSourceIDITunes:
      return "itunes";
    case MRPreviewSourceIDYouTube:
      return "video";
    case MRPreviewSourceIDSoundCloud:
      return "soundcloud";
    case MRPreviewSourceIDLocalCache:
      return "cache";
    default:
      return "other";
  }
}

std::string TerminalPlayer::clockTime(double seconds) {
  const int whole = seconds > 0 ? static_cast<int>(seconds + 0.5) : 0;
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
  return text;
}

void TerminalPlayer::event(const std::string& line) {
  if (statusLineShown_) std::fprintf(options_.out, "\r\033[K");
  std::fprintf(options_.out, "%s\n", line.c_str());
  statusLineShown_ = false;
  if (options_.keys) showStatusLine();
  std::fflush(options_.out);
}

void TerminalPlayer::showStatusLine() {
  const auto& current = player_->currentTrackPlayer();
  if (!current || !current->trackItem()) return;
  std::string line = "> " + describe(*current->trackItem());
  if (const auto& source = current->previewDataSource())
    line += " [" + std::string(sourceName(source->sourceID)) + "]";
  line += "  " + clockTime(current->currentTime()) + " / " + clockTime(current->duration());
  line += "  " + std::string(statusName(current->status()));
  if (current->bufferingProgress() < 0.999f)
    line += "  buffered " + std::to_string(static_cast<int>(current->bufferingProgress() * 100)) + "%";
  line += "   (space pause, n next, p back, r rewind, q quit)";
  std::fprintf(options_.out, "\r\033[K%s", line.c_str());
  std::fflush(options_.out);
  statusLineShown_ = true;
}

int TerminalPlayer::run(const std::shared_ptr<MRPlaylistBuildOperation>& build,
                        const std::shared_ptr<MRPlaylist>& mix, MRServiceOperationQueue& queue) {
  build_ = build;
  mix_ = mix;
  Dispatcher& main = env_.main();
  std::weak_ptr<TerminalPlayer> weak = weak_from_this();

  player_->setPlaylist(mix);
  player_->setDelegate(weak);
  mix->setViewDelegate(weak);

  tokens_.push_back(notifications_->addObserver(
      MRTrackPlayerDidChangeStatusNotification, [weak](const Notification& notification) {
        if (auto self = weak.lock()) self->statusChanged(notification);
      }));
  tokens_.push_back(notifications_->addObserver(
      MRTrackPlayerDidChangeBufferingProgressNotification,
      [weak](const Notification& notification) {
        if (auto self = weak.lock()) self->bufferingChanged(notification);
      }));
  // The build reports on its own thread; the terminal belongs to the main one.
  const uint64_t observer =
      build->addObserver([weak, &main](MRServiceOperation& operation, std::string_view key) {
        if (key == "locatingTrackTitle") {
          main.post([weak] {
            if (auto self = weak.lock()) self->locatingChanged();
          });
        } else if (key == "status" && operation.status() >= kMRServiceOperationStatusCompleted) {
          main.post([weak] {
            if (auto self = weak.lock()) self->buildEnded();
          });
        }
      });

  gInterrupted = false;
  auto previous = std::signal(SIGINT, onInterrupt);
  ticker_ = main.repeat(seconds(0.1), [weak] {
    auto self = weak.lock();
    if (!self) return;
    if (gInterrupted.exchange(false)) {
      self->event("interrupted");
      self->quit(self->tracksStarted_ > 0 ? 0 : 130);
      return;
    }
    if (self->options_.keys && self->isPlaying()) self->showStatusLine();
  });
  if (options_.keys) startKeyReader();

  build->loadTracks(queue);
  if (build->status() >= kMRServiceOperationStatusCompleted) buildEnded();
  main.run();

  // Cleanly: silence, no more work on the mix, and the notices already
  // posted (the history's among them) handled before leaving.
  main.cancel(*ticker_);
  stopKeyReader();
  rawTerminal().leave();
  std::signal(SIGINT, previous);
  build->removeObserver(observer);
  build->cancel();
  player_->stop();
  main.post([&main] { main.quit(); });
  main.run();
  env_.background().waitIdle();
  for (auto token : tokens_)
    notifications_->removeObserver(token);
  tokens_.clear();
  player_->setDelegate({});
  player_->setPlaylist(nullptr);
  if (statusLineShown_) std::fprintf(options_.out, "\n");
  std::fflush(options_.out);
  return exitCode_;
}

void TerminalPlayer::playlistHasNewTrack(MRPlaylist&, const std::shared_ptr<MRPlaylistTrackItem>& item,
                                         size_t index) {
  const MRPreviewDataSource* source = item->playablePreviewDataSource();
  event("added " + std::to_string(index + 1) + ": " + describe(*item) + " (" +
        sourceName(source != nullptr ? source->sourceID : 0) + ")");
  // The first track, or the next one when everything so far has played.
  if (quitting_ || isPlaying()) return;
  if (!startedOnce_ ? player_->play() : player_->forward()) startedOnce_ = true;
}

void TerminalPlayer::playlistPlayerDidStartPlayingTrack(
    MRPlaylistPlayer&, const std::shared_ptr<MRPlaylistTrackItem>& item,
    const std::shared_ptr<MRTrackPlayer>& trackPlayer) {
  ++tracksStarted_;
  const auto& source = trackPlayer->previewDataSource();
  event("playing: " + describe(*item) + " (" + sourceName(source ? source->sourceID : 0) + ")");
}

void TerminalPlayer::playlistPlayerDidFailToInitializeTrackPlayer(
    MRPlaylistPlayer&, const std::shared_ptr<MRTrackPlayer>& trackPlayer, const Error& error) {
  const auto& item = trackPlayer->trackItem();
  event("failed: " + (item ? describe(*item) : std::string("?")) + ": " + error.description());
  env_.main().post([weak = weak_from_this()] {
    if (auto self = weak.lock()) self->checkEnd();
  });
}

void TerminalPlayer::statusChanged(const Notification& notification) {
  if (checkTrackLimit()) return;
  auto trackPlayer = notification.objectAs<MRTrackPlayer>();
  if (!trackPlayer || trackPlayer != player_->currentTrackPlayer()) return;
  if (!options_.keys) event(std::string("status: ") + statusName(trackPlayer->status()));
  if (trackPlayer->status() == MRTrackPlayerStatusFinished) checkEnd();
}

void TerminalPlayer::bufferingChanged(const Notification& notification) {
  auto trackPlayer = notification.objectAs<MRTrackPlayer>();
  if (!trackPlayer || trackPlayer != player_->currentTrackPlayer() || options_.keys) return;
  const int quarter = static_cast<int>(trackPlayer->bufferingProgress() * 4);
  if (quarter == lastBufferingQuarter_) return;
  lastBufferingQuarter_ = quarter;
  event("buffered: " + std::to_string(quarter * 25) + "%");
}

void TerminalPlayer::locatingChanged() {
  const std::string artist = build_->locatingTrackArtist();
  const std::string title = build_->locatingTrackTitle();
  const std::string now = artist + " - " + title;
  if (title.empty() || now == lastLocating_) return;
  lastLocating_ = now;
  event("locating " + now);
}

void TerminalPlayer::buildEnded() {
  if (buildDone_) return;
  buildDone_ = true;
  event("mix ready: " + std::to_string(mix_->numberOfTracks()) + " tracks");
  checkEnd();
}

bool TerminalPlayer::isPlaying() const {
  const auto playing = [](const std::shared_ptr<MRTrackPlayer>& trackPlayer) {
    return trackPlayer && !trackPlayer->isUnloading() &&
           trackPlayer->status() != MRTrackPlayerStatusFinished;
  };
  return playing(player_->currentTrackPlayer()) || playing(player_->previousTrackPlayer());
}

void TerminalPlayer::checkEnd() {
  if (quitting_ || !buildDone_ || isPlaying()) return;
  // Nothing plays and the mix is whole: one last go at what is left.
  if (player_->determineNextTrackToPlay() && player_->forward()) return;
  if (tracksStarted_ == 0) {
    std::string why =
        mix_->numberOfTracks() == 0 ? "nothing to play" : "none of the tracks could be played";
    if (const auto error = build_->lastError()) why += ": " + error->description();
    event(why);
    quit(1);
    return;
  }
  event("done: " + std::to_string(tracksStarted_) + " tracks played");
  quit(0);
}

bool TerminalPlayer::checkTrackLimit() {
  if (quitting_ || !options_.tracks || tracksStarted_ < *options_.tracks) return false;
  const auto& current = player_->currentTrackPlayer();
  if (!current || current->status() != MRTrackPlayerStatusPlaying) return false;
  const auto& previous = player_->previousTrackPlayer();
  if (previous && !previous->isUnloading() && previous->status() != MRTrackPlayerStatusFinished) {
    return false;  // still fading out
  }
  event("done: " + std::to_string(tracksStarted_) + " tracks played");
  player_->stop();
  quit(0);
  return true;
}

void TerminalPlayer::quit(int code) {
  if (quitting_) return;
  quitting_ = true;
  exitCode_ = code;
  env_.main().quit();
}

void TerminalPlayer::key(char pressed) {
  switch (pressed) {
    case ' ': {
      const auto& current = player_->currentTrackPlayer();
      if (!current) {
        player_->play();
      } else if (current->status() == MRTrackPlayerStatusPaused) {
        player_->resume();
      } else {
        player_->pause();
      }
      break;
    }
    case 'n':
      if (!player_->forward()) event("no next track");
      break;
    case 'p':
      if (!player_->backward()) event("no previous track");
      break;
    case 'r':
      player_->rewind();
      break;
    case 'q':
      quit(0);
      break;
    default:
      break;
  }
  showStatusLine();
}

void TerminalPlayer::startKeyReader() {
  rawTerminal().enter();
  readingKeys_ = true;
  std::weak_ptr<TerminalPlayer> weak = weak_from_this();
  Dispatcher& main = env_.main();
  keyReader_ = std::thread([this, weak, &main] {
    while (readingKeys_) {
      pollfd input{STDIN_FILENO, POLLIN, 0};
      if (::poll(&input, 1, 100) <= 0) continue;
      char pressed = 0;
      if (::read(STDIN_FILENO, &pressed, 1) != 1) break;  // end of input
      main.post([weak, pressed] {
        if (auto self = weak.lock()) self->key(pressed);
      });
    }
  });
}

void TerminalPlayer::stopKeyReader() {
  readingKeys_ = false;
  if (keyReader_.joinable()) keyReader_.join();
}

}  // namespace mr::cli
