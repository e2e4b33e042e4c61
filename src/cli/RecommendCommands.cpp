// recommend, genres, mix recommend, artists --add and ban: recommendation
// from the command line.
#include <iostream>
#include <optional>

#include "app/MRDefaultAppServices.h"
#include "base/Json.h"
#include "base/Random.h"
#include "cli/Commands.h"
#include "cli/Support.h"
#include "recommend/MRBuildRecommendationQueueFromArtistName.h"
#include "recommend/MRRecommendMixBuildOperation.h"
#include "recommend/MRRecommendMixGenreSelector.h"
#include "store/CDTrackRecommendationQueueItem.h"

namespace mr::cli {
namespace {

int recommend(std::optional<int64_t> until, bool boost, bool wait) {
  // Two builds at once would expand the same seeds twice.
  auto lock = lockJob(Env::defaultEnv(), "recommend-build.lock", "recommendation build", wait);
  if (auto* exitCode = std::get_if<int>(&lock)) return *exitCode;
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  const int64_t before = session.recommendCount();
  if (until && before >= *until) {
    std::printf("%lld recommendations stored already\n", static_cast<long long>(before));
    return 0;
  }
  const int64_t queued =
      CDTrackRecommendationQueueEntityController(session.store.database().get()).countAllItems();
  session.services->registerRecommendMixBuild(session.store.database());
  auto build = std::dynamic_pointer_cast<MRRecommendMixBuildOperation>(
      session.serviceQueue().addOperationOfKind(kMRRecommendMixBuildOperationKind));
  if (!build) return fail("a recommendation build is already running");
  build->setBoostMode(boost);
  build->setGiveUpWhenLastfmIsDown(true);  // nobody would wait out a back-off here
  std::printf("%lld seeds waiting, %lld recommendations stored\n", static_cast<long long>(queued),
              static_cast<long long>(before));

  ProgressLine progress;
  bool stopping = false;
  const MRServiceOperationStatus status = runToCompletion(session.env, *build, [&](float fraction) {
    const int64_t stored = before + build->recommendationsStored();
    const std::string now = build->processingTrackArtist() + " - " + build->processingTrackTitle();
    progress.show(fraction,
                  "seed " + std::to_string(build->seedsStarted()) + ", " + std::to_string(stored) +
                      " stored: " + now,
                  "seeds " + std::to_string(build->seedsStarted()) + ", recommendations " +
                      std::to_string(stored));
    if (until && stored >= *until && !stopping) {
      stopping = true;  // what the seeds at work have stored stays
      build->cancel();
    }
  });
  progress.end();
  const int64_t after = session.recommendCount();
  std::printf("%lld new recommendations, %lld in all, from %d seeds with %lld Last.fm requests\n",
              static_cast<long long>(after - before), static_cast<long long>(after),
              build->seedsStarted(), static_cast<long long>(session.parts.lastfm->requestCount()));
  if (status == kMRServiceOperationStatusFailed) {
    const auto error = build->lastError();
    const int64_t kept =
        CDTrackRecommendationQueueEntityController(session.store.database().get()).countAllItems();
    std::string message = error ? error->description() : std::string("the build failed");
    if (error && !error->failureReason().empty()) message += " (" + error->failureReason() + ")";
    return fail(message + "; " + std::to_string(kept) + " seeds kept for later");
  }
  if (build->seedsStarted() == 0 && after < 30) {
    std::cerr << "mirelune: nothing to recommend from: run \"mirelune analyse\" or \"mirelune "
                 "artists --add\"\n";
  }
  return 0;
}

int genres(size_t count, bool json) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  auto selector = std::make_shared<MRRecommendMixGenreSelector>(session.parts);
  selector->setTopGenres(selector->getTopTagsOfNum(count));
  Value list = Value::array();
  for (size_t i = 0; i < selector->genreTags().size(); ++i) {
    const MRGenreTag tag = *selector->genreTagAtIndex(i);
    const auto artist = selector->artistInfoAtIndex(i);
    const auto track = selector->trackAtIndex(i);
    const std::string artistName = artist ? artist->name().value_or("") : "";
    const std::string title = track ? track->title().value_or("") : "";
    if (json) {
      list.append(Value(Dictionary{{"tag", Value(tag.name)},
                                   {"weight", Value(static_cast<double>(tag.weight))},
                                   {"artist", Value(artistName)},
                                   {"title", Value(title)}}));
    } else {
      std::printf("%-24s %4.2f  %s - %s\n", tag.name.c_str(), static_cast<double>(tag.weight),
                  artistName.c_str(), title.c_str());
    }
  }
  if (json) std::cout << toJson(list) << "\n";
  if (selector->genreTags().empty() && !json)
    std::cerr << "mirelune: no recommendations yet: run \"mirelune recommend\"\n";
  return 0;
}

const char* sourceName(MRPreviewSourceID id) {
  switch (id) {
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

int mixRecommend(const std::optional<std::string>& genre, bool json) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  auto made = makeRecommendMix(session, genre);
  if (!made.ok()) return fail(made.error().description());
  std::shared_ptr<MRRecommendMix> mix = *made;
  mix->loadTracks(session.serviceQueue());
  ProgressLine progress;
  runToCompletion(session.env, *mix, [&](float fraction) {
    progress.show(fraction,
                  std::to_string(mix->numberOfTracks()) + " playable, checking " +
                      mix->locatingTrackArtist() + " - " + mix->locatingTrackTitle(),
                  std::to_string(mix->numberOfTracks()) + " playable tracks so far");
  });
  progress.end();

  Value list = Value::array();
  size_t number = 0;
  for (const auto& track : mix->tracks()) {
    const auto* recommended = dynamic_cast<const MRRecommendMixTrackItem*>(track.get());
    const MRPreviewDataSource* source = track->playablePreviewDataSource();
    if (source == nullptr) continue;
    const std::string genreName = recommended ? recommended->genreName : "";
    if (json) {
      list.append(Value(Dictionary{{"artist", Value(track->artist)},
                                   {"title", Value(track->title)},
                                   {"genre", Value(genreName)},
                                   {"source", Value(sourceName(source->sourceID))},
                                   {"previewUrl", Value(source->previewUrl.value_or(""))}}));
    } else {
      std::printf("%3zu. %s - %s [%s] %s\n", ++number, track->artist.c_str(), track->title.c_str(),
                  sourceName(source->sourceID), source->previewUrl.value_or("").c_str());
    }
  }
  if (json) std::cout << toJson(list) << "\n";
  return mix->numberOfTracks() > 0 ? 0 : fail("no recommendation could be played");
}

int addArtists(const std::vector<std::string>& names) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  auto build = std::make_shared<MRBuildRecommendationQueueFromArtistName>(session.parts, names);
  session.serviceQueue().addOperation(build);
  const auto status = runToCompletion(session.env, *build);
  std::printf("queued %d tracks of %zu artists\n", build->queuedCount(), names.size());
  if (status == kMRServiceOperationStatusFailed) {
    const auto error = build->lastError();
    std::cerr << "mirelune: not every artist was found"
              << (error ? ": " + error->description() : "") << "\n";
    return build->queuedCount() > 0 ? 0 : 1;
  }
  return 0;
}

int ban(const std::string& artist) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  Database* store = session.store.database().get();
  const int64_t before = session.recommendCount();
  if (Status removed = CDRecommendTrackEntityController(store).deleteWithArtistName(artist);
      !removed.ok())
    return fail(removed.error().toString());
  CDArtistBlackListEntityController blacklist(store);
  if (!blacklist.checkIfBlacklistedWithArtistName(artist)) {
    if (auto entry = blacklist.registerNewArtist(artist); !entry.ok())
      return fail(entry.error().toString());
  }
  std::printf("%s will not be recommended; %lld recommendations removed\n", artist.c_str(),
              static_cast<long long>(before - session.recommendCount()));
  return 0;
}

}  // namespace

void addRecommendCommands(CLI::App& app, Action& action) {
  auto until = std::make_shared<int64_t>(0);
  auto boost = std::make_shared<bool>(false);
  auto* recommendCommand =
      app.add_subcommand("recommend", "Find new music from the seeds waiting in the queue");
  recommendCommand->add_option("--until", *until, "Stop once this many recommendations are stored")
      ->check(CLI::PositiveNumber);
  recommendCommand->add_flag("--boost", *boost, "Expand five seeds at once");
  auto wait = std::make_shared<bool>(false);
  recommendCommand->add_flag("--wait", *wait,
                             "When another process is building, wait for it instead of stopping");
  recommendCommand->callback([&action, until, boost, wait] {
    action = [until, boost, wait] {
      return recommend(*until > 0 ? std::optional<int64_t>(*until) : std::nullopt, *boost, *wait);
    };
  });

  auto count = std::make_shared<size_t>(MRRecommendMixGenreSelector::kTopGenres);
  auto json = std::make_shared<bool>(false);
  auto* genresCommand =
      app.add_subcommand("genres", "The top genres of the recommendations, each with an artist");
  genresCommand->add_option("--count", *count, "How many genres")->check(CLI::PositiveNumber);
  genresCommand->add_flag("--json", *json, "Print JSON");
  genresCommand->callback(
      [&action, count, json] { action = [count, json] { return genres(*count, *json); }; });

  auto genre = std::make_shared<std::string>();
  auto* mix = app.add_subcommand("mix", "Build a mix and list its playable tracks");
  mix->require_subcommand(1);
  auto* mixRecommendCommand = mix->add_subcommand("recommend", "A mix of stored recommendations");
  mixRecommendCommand->add_option("--genre", *genre,
                                  "Only recommendations of artists with this tag");
  mixRecommendCommand->add_flag("--json", *json, "Print JSON");
  mixRecommendCommand->callback([&action, genre, json] {
    action = [genre, json] {
      return mixRecommend(genre->empty() ? std::nullopt : std::optional<std::string>(*genre),
                          *json);
    };
  });

  auto names = std::make_shared<std::vector<std::string>>();
  auto* artists = app.add_subcommand("artists", "Seed recommendations from artists you like");
  artists->add_option("--add", *names, "Artist names; their top tracks become seeds")
      ->required()
      ->expected(1, -1);
  artists->callback([&action, names] { action = [names] { return addArtists(*names); }; });

  auto artist = std::make_shared<std::string>();
  auto* banCommand =
      app.add_subcommand("ban", "Never recommend an artist again, and forget its recommendations");
  banCommand->add_option("ARTIST", *artist, "The artist's name, exactly as shown")->required();
  banCommand->callback([&action, artist] { action = [artist] { return ban(*artist); }; });
}

}  // namespace mr::cli
