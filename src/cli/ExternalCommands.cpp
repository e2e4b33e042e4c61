// lastfm, itunes and video: what the outside services answer, as the
// recommendation would see it. An answer that lists nothing says so and
// exits 0; a service that could not be asked (a malformed answer among the
// reasons) exits 1 with the reason on standard error.
#include <cstdio>
#include <iostream>

#include "base/Env.h"
#include "cli/Commands.h"
#include "external/LBYouTubeVideoExtractor.h"
#include "external/LastfmAPI.h"
#include "external/YouTubeMusicVideoResolver.h"
#include "external/iTunesSearchAPI.h"
#include "service/ovloAccount.h"

namespace mr::cli {
namespace {

// Runs the main loop until `start` calls the function it is given; returns
// the exit code passed to it.
int runUntilDone(const std::function<void(std::function<void(int)>)>& start) {
  Dispatcher& main = Env::defaultEnv().main();
  int code = 0;
  main.post([&] {
    start([&](int result) {
      code = result;
      main.quit();
    });
  });
  main.run();
  return code;
}

std::function<void(const Error&)> reportError(const std::function<void(int)>& done) {
  return [done](const Error& error) {
    std::cerr << "mirelune: " << error.toString() << "\n";
    Env::defaultEnv().main().post([done] { done(1); });
  };
}

int lastfmSimilar(const std::string& artist, const std::string& title) {
  return runUntilDone([&](std::function<void(int)> done) {
    LastfmAPI::sharedInstance()->requestTrack_GetSimilar(
        title, artist, true, 20,
        [done](std::vector<LastfmTrack> tracks) {
          for (const auto& track : tracks) {
            std::printf("%.3f  %s - %s\n", track.match, track.artistName.c_str(),
                        track.name.c_str());
          }
          if (tracks.empty()) std::printf("no similar tracks\n");
          done(0);
        },
        reportError(done));
  });
}

int lastfmArtist(const std::string& name) {
  const std::string language = MRCurrentLanguage().value_or("en");
  return runUntilDone([&](std::function<void(int)> done) {
    LastfmAPI::sharedInstance()->requestArtist_GetInfoByName(
        name, language, true,
        [done](const LastfmArtist& artist) {
          std::printf("%s\n%s\n", artist.name.c_str(), artist.url.c_str());
          std::string tags;
          for (const auto& tag : artist.tag)
            tags += (tags.empty() ? "" : ", ") + tag;
          std::printf("tags: %s\nimage: %s\n", tags.c_str(), artist.imageUrl.largest().c_str());
          std::string similar;
          for (const auto& other : artist.similar)
            similar += (similar.empty() ? "" : ", ") + other.name;
          std::printf("similar: %s\n\n%s\n", similar.c_str(), artist.bioSummary.c_str());
          done(0);
        },
        reportError(done));
  });
}

int itunesSearch(const std::string& artist, const std::string& title) {
  return runUntilDone([&](std::function<void(int)> done) {
    iTunesSearchAPI::sharedInstance()->searchWithArtist(
        artist, title, std::nullopt,
        [done](const std::vector<iTunesEntry>& entries) {
          if (entries.empty()) std::printf("nothing found\n");
          for (const auto& entry : entries) {
            std::printf("%s - %s (%s, %s)\n  preview: %s\n  artwork: %s\n",
                        entry.artistName.c_str(), entry.trackName.c_str(),
                        entry.collectionName.c_str(), entry.primaryGenreName.c_str(),
                        entry.previewUrl.c_str(), entry.artworkUrl().c_str());
          }
          done(0);
        },
        reportError(done));
  });
}

int videoFind(const std::string& artist, const std::string& title) {
  auto api = YouTubeVideoAPI::sharedInstance();
  std::shared_ptr<LBYouTubeVideoExtractor> extractor;
  return runUntilDone([&](std::function<void(int)> done) {
    YouTubeMusicVideoResolver::retrieveWithTitle(
        *api, title, artist,
        [&, done](std::optional<YouTubeVideoEntry> entry) {
          if (!entry) {
            std::printf("no music video found\n");
            done(0);
            return;
          }
          std::printf("%s (%s)\n  watch: %s%s\n", entry->title.c_str(),
                      entry->videoID.value_or("").c_str(), entry->link.c_str(),
                      entry->isRestricted ? "  (restricted)" : "");
          extractor = LBYouTubeVideoExtractor::start(
              *api, entry->link, LBYouTubeVideoExtractor::kLarge,
              [done](const std::string& stream) {
                std::printf("  stream: %s\n", stream.c_str());
                done(0);
              },
              reportError(done));
        },
        reportError(done));
  });
}

}  // namespace

void addExternalCommands(CLI::App& app, Action& action) {
  auto first = std::make_shared<std::string>();
  auto second = std::make_shared<std::string>();

  auto* lastfm = app.add_subcommand("lastfm", "Ask Last.fm about an artist or a track");
  lastfm->require_subcommand(1);
  auto* similar = lastfm->add_subcommand("similar", "Tracks similar to a track");
  similar->add_option("ARTIST", *first)->required();
  similar->add_option("TITLE", *second)->required();
  similar->callback([&action, first, second] {
    action = [first, second] { return lastfmSimilar(*first, *second); };
  });
  auto* artist =
      lastfm->add_subcommand("artist", "An artist's tags, image, similar artists and biography");
  artist->add_option("NAME", *first)->required();
  artist->callback([&action, first] { action = [first] { return lastfmArtist(*first); }; });

  auto* itunes = app.add_subcommand("itunes", "Ask the iTunes Store for a song's preview");
  itunes->require_subcommand(1);
  auto* search = itunes->add_subcommand("search", "Songs by artist and title");
  search->add_option("ARTIST", *first)->required();
  search->add_option("TITLE", *second)->required();
  search->callback([&action, first, second] {
    action = [first, second] { return itunesSearch(*first, *second); };
  });

  auto* video = app.add_subcommand("video", "Find a track's music video and its stream");
  video->require_subcommand(1);
  auto* find = video->add_subcommand("find", "The music video of a track, and its stream address");
  find->add_option("ARTIST", *first)->required();
  find->add_option("TITLE", *second)->required();
  find->callback([&action, first, second] {
    action = [first, second] { return videoFind(*first, *second); };
  });
}

}  // namespace mr::cli
