// play: the terminal player over the mixes.
#include <unistd.h>

#include <iostream>
#include <optional>

#include "cli/Commands.h"
#include "cli/Support.h"
#include "cli/TerminalPlayer.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "playback/MRHistoryMix.h"
#include "playback/MRNewReleaseMix.h"
#include "playback/MRPlaybackHistoryObserver.h"
#include "playback/MRSimilarTrackMix.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDNewRelease.h"

namespace mr::cli {
namespace {

struct PlayOptions {
  bool noKeys = false;
  int tracks = 0;  // 0: the whole mix
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
  if (options.tracks > 0) terminal.tracks = options.tracks;
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

// Opens the session, makes the mix over it and plays it.
template <class MakeMix>
int playOpened(const PlayOptions& options, MakeMix make) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  std::shared_ptr<MRPlaylistBuildOperation> mix = make(session);
  if (!mix) return 1;  // make said why
  return playMix(session, mix, std::dynamic_pointer_cast<MRPlaylist>(mix), options);
}

// The release the new-release check stored, or one known only by its id:
// the iTunes Store's lookup names it either way.
MRNewReleaseMix::Release releaseWithCollectionId(Session& session, uint64_t collectionId) {
  CDNewReleaseEntityController releases(session.store.database().get());
  for (const auto& stored : releases.findAll()) {
    if (stored->collectionId() != static_cast<int64_t>(collectionId)) continue;
    const auto artist = stored->artist();
    return {collectionId, artist ? artist->name().value_or("") : "", stored->title().value_or("")};
  }
  return {collectionId, "", ""};
}

}  // namespace

void addPlayCommands(CLI::App& app, Action& action) {
  auto* play = app.add_subcommand("play", "Play a mix in the terminal while it is built");
  play->require_subcommand(1);
  play->fallthrough();  // --no-keys after the mix's name too
  auto options = std::make_shared<PlayOptions>();
  play->add_flag("--no-keys", options->noKeys,
                 "play to the end, one line per event, without reading keys");
  play->add_option("--tracks", options->tracks,
                   "stop once this many tracks have started and the one before has faded out")
      ->check(CLI::PositiveNumber);

  auto genre = std::make_shared<std::string>();
  auto* recommend = play->add_subcommand("recommend", "Recommendations of one genre, or any");
  recommend->add_option("--genre", *genre, "a genre tag of the recommendations");
  recommend->callback([&action, genre, options] {
    action = [genre, options] {
      return playRecommend(genre->empty() ? std::nullopt : std::optional<std::string>(*genre),
                           *options);
    };
  });

  auto artistName = std::make_shared<std::string>();
  auto* artist = play->add_subcommand("artist", "An artist's top tracks");
  artist->add_option("NAME", *artistName, "the artist")->required();
  artist->callback([&action, artistName, options] {
    action = [artistName, options] {
      return playOpened(*options, [&](Session& session) {
        return std::make_shared<MRArtistTopTrackMix>(session.mixParts(), *artistName);
      });
    };
  });

  auto similarArtist = std::make_shared<std::string>();
  auto similarTitle = std::make_shared<std::string>();
  auto* similar = play->add_subcommand("similar", "Tracks similar to one track");
  similar->add_option("ARTIST", *similarArtist, "the track's artist")->required();
  similar->add_option("TITLE", *similarTitle, "the track's title")->required();
  similar->callback([&action, similarArtist, similarTitle, options] {
    action = [similarArtist, similarTitle, options] {
      return playOpened(*options, [&](Session& session) {
        return std::make_shared<MRSimilarTrackMix>(session.mixParts(), *similarArtist,
                                                   *similarTitle);
      });
    };
  });

  auto favoriteArtist = std::make_shared<std::string>();
  auto shuffle = std::make_shared<bool>(false);
  auto* favorites = play->add_subcommand("favorites", "Your favorites, newest first");
  favorites->add_option("--artist", *favoriteArtist, "only this artist's favorites");
  favorites->add_flag("--shuffle", *shuffle, "in a random order");
  favorites->callback([&action, favoriteArtist, shuffle, options] {
    action = [favoriteArtist, shuffle, options] {
      return playOpened(*options, [&](Session& session) -> std::shared_ptr<MRFavoriteTrackMix> {
        CDFavoriteTrackEntityController stored(session.store.database().get());
        if (favoriteArtist->empty() ? stored.countAllItems() == 0
                                    : stored.findWithArtist(*favoriteArtist).empty()) {
          fail(favoriteArtist->empty() ? "no favorites yet"
                                       : "no favorites by \"" + *favoriteArtist + "\"");
          return nullptr;
        }
        auto mix = std::make_shared<MRFavoriteTrackMix>(
            session.mixParts(), favoriteArtist->empty()
                                    ? std::nullopt
                                    : std::optional<std::string>(*favoriteArtist));
        mix->setShuffled(*shuffle);
        return mix;
      });
    };
  });

  auto* history = play->add_subcommand("history", "What you played lately, newest first");
  history->callback([&action, options] {
    action = [options] {
      return playOpened(*options, [](Session& session) -> std::shared_ptr<MRHistoryMix> {
        if (CDPlayHistoryTrackEntityController(session.store.database().get()).countAllItems() ==
            0) {
          fail("nothing played yet");
          return nullptr;
        }
        return std::make_shared<MRHistoryMix>(session.mixParts());
      });
    };
  });

  auto collectionId = std::make_shared<uint64_t>(0);
  auto* release = play->add_subcommand("release", "The songs of a release");
  release->add_option("COLLECTION_ID", *collectionId, "the release's iTunes Store id")
      ->required()
      ->check(CLI::PositiveNumber);
  release->callback([&action, collectionId, options] {
    action = [collectionId, options] {
      return playOpened(*options, [&](Session& session) {
        return std::make_shared<MRNewReleaseMix>(
            session.mixParts(), releaseWithCollectionId(session, *collectionId));
      });
    };
  });
}

}  // namespace mr::cli
