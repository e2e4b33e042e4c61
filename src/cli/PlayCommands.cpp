// play: the terminal player over the mixes.
#include <unistd.h>

#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "cli/Support.h"
#include "cli/TerminalPlayer.h"
#include "playback/MRPlaybackHistoryObserver.h"

namespace mr::cli {
namespace {

struct PlayOptions {
  bool noKeys = false;
};

// Plays a mix made over an open session, recording what plays as the app
// does.
int playMix(Session& session, const std::shared_ptr<MRPlaylistBuildOperation>& build,
            const std::shared_ptr<MRPlaylist>& mix, const PlayOptions& options) {
  MRPlayerParts parts = MRPlayerParts::defaults();
  if (!parts.mediaPlayers) return fail("this build of Mirelune cannot play sound");
  session.services->registerLaunchJobs(session.store.database());
  session.services->createPlaybackHistoryObserver();
  auto player = MRPlaylistPlayer::sharedPlaylistPlayer();
  TerminalPlayer::Options terminal;
  terminal.keys = !options.noKeys && ::isatty(STDIN_FILENO) != 0 && ::isatty(STDOUT_FILENO) != 0;
  auto screen =
      std::make_shared<TerminalPlayer>(session.env, player, parts.notifications, terminal);
  return screen->run(build, mix, session.serviceQueue());
}

int playRecommend(const std::optional<std::string>& genre, const PlayOptions& options) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  auto mix = makeRecommendMix(session, genre);
  if (!mix.ok()) return fail(mix.error().description());
  return playMix(session, *mix, *mix, options);
}

}  // namespace

void addPlayCommands(CLI::App& app, Action& action) {
  auto* play = app.add_subcommand("play", "Play a mix in the terminal while it is built");
  play->require_subcommand(1);
  play->fallthrough();  // --no-keys after the mix's name too
  auto options = std::make_shared<PlayOptions>();
  play->add_flag("--no-keys", options->noKeys,
                 "play to the end, one line per event, without reading keys");

  auto genre = std::make_shared<std::string>();
  auto* recommend = play->add_subcommand("recommend", "Recommendations of one genre, or any");
  recommend->add_option("--genre", *genre, "a genre tag of the recommendations");
  recommend->callback([&action, genre, options] {
    action = [genre, options] {
      return playRecommend(genre->empty() ? std::nullopt : std::optional<std::string>(*genre),
                           *options);
    };
  });
}

}  // namespace mr::cli
