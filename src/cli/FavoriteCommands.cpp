// mirelune favorite: keeping favorites, and caching them for offline play.
#include <cstdio>
#include <iostream>
#include <memory>

#include "base/Json.h"
#include "base/MRServiceOperationDelegateBridge.h"
#include "base/PendingAnswer.h"
#include "cli/Commands.h"
#include "cli/Support.h"
#include "external/MRLocatePreviewDataSourceOperation.h"
#include "model/CDUtility.h"
#include "service/MRAPIFavoriteTrack.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "social/MRFavoriteTrackOperation.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"

namespace mr::cli {
namespace {

std::string named(const std::string& artist, const std::string& title) {
  return artist + " - " + title;
}

// Runs the operation on a thread of its own while the main loop turns, as
// the external clients answer there.
void runWhileMainLoopTurns(const Env& env, const std::shared_ptr<Operation>& operation,
                           const std::function<void()>& add) {
  Dispatcher& main = env.main();
  operation->setCompletionBlock([&main] { main.post([&main] { main.quit(); }); });
  add();
  main.run();
  operation->waitUntilFinished();
}

void runAlone(const Env& env, const std::shared_ptr<Operation>& operation) {
  OperationQueue queue("favorite", 1);
  runWhileMainLoopTurns(env, operation, [&] { queue.addOperation(operation); });
}

std::string itemHashOf(const std::string& artist, const std::string& title) {
  return CDUtility::itemHashWithTitle(title, artist);
}

int addFavorite(const std::string& artist, const std::string& title) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  const Env& env = session.env;
  {
    CDFavoriteTrackEntityController favorites(session.store.database().get());
    if (favorites.findOneWithArtist(artist, title)) {
      std::printf("already a favorite: %s\n", named(artist, title).c_str());
      return 0;
    }
  }
  auto locate =
      std::make_shared<MRLocatePreviewDataSourceOperation>(env, session.parts.sites, title, artist);
  runAlone(env, locate);
  const auto sources = locate->previewDataSourceSet();
  if (sources.empty()) {
    if (auto error = locate->lastError())
      return fail("could not look for a preview of \"" + named(artist, title) +
                  "\": " + error->description());
    return fail("no preview of \"" + named(artist, title) + "\" was found");
  }
  MRPlaylistTrackItem item;
  item.artist = artist;
  item.title = title;
  item.previewDataSourceSet = sources;
  for (const auto& source : sources) {
    if (const auto* iTunes =
            dynamic_cast<const MRiTunesAdditionalInfo*>(source.additionalInfo.get());
        iTunes != nullptr && item.imageUrl.empty()) {
      item.imageUrl = iTunes->artworkUrl();
    }
  }
  auto report = std::make_shared<MRFavoriteTrackMixTrackItem>();
  {
    CDFavoriteTrackEntityController favorites(session.store.database().get());
    auto added = favorites.addWithPlaylistTrack(item, env.clock().currentDate());
    if (!added.ok()) return fail("the favorite was not stored: " + added.error().toString());
    (*added)->assignToPlaylistTrackItem(
        *report,
        session.services->favoriteCacheParts(session.store.database()).cacheDirectoryPath());
  }
  {
    // A favorite seeds recommendations, once.
    CDTrackUsedForRecommendationEntityController used(session.store.database().get());
    CDTrackRecommendationQueueEntityController queue(used.context());
    if (!used.isAlreadyRecommendedWithTitle(title, "", artist) &&
        !queue.findWithItemHash(itemHashOf(artist, title))) {
      (void)queue.enqueueTrackForRecommendationWithTitle(title, "", artist, 1, false);
      if (Status saved = queue.save(); !saved.ok())
        std::fprintf(stderr, "mirelune: not queued for recommendation: %s\n",
                     saved.error().toString().c_str());
    }
  }
  std::printf("added: %s\n", named(artist, title).c_str());
  std::fflush(stdout);
  auto tell = std::make_shared<MRFavoriteTrackOperation>(
      session.parts, session.services->parts().mirelune, report);
  // Offline, the network queue starts nothing: the report is given up.
  const auto giveUp = env.main().postAfter(seconds(MRFavoriteTrackOperation::kStepDeadlineSeconds),
                                           [tell] { tell->cancel(); });
  runWhileMainLoopTurns(env, tell, [&] { tell->submit(); });
  env.main().cancel(giveUp);
  if (!tell->added())
    std::fprintf(stderr, "mirelune: the service was not told; it stays a favorite here\n");
  return 0;
}

int removeFavorite(const std::string& artist, const std::string& title) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  const Env& env = session.env;
  CDFavoriteTrackEntityController favorites(session.store.database().get());
  auto favorite = favorites.findOneWithArtist(artist, title);
  if (!favorite) return fail("\"" + named(artist, title) + "\" is not a favorite");
  const std::string folder =
      session.services->favoriteCacheParts(session.store.database()).cacheDirectoryPath();
  MRPlaylistTrackItem item;
  item.artist = favorite->artist().value_or(artist);
  item.title = favorite->title().value_or(title);
  item.imageUrl = favorite->imageUrl().value_or("");
  favoritecache::uncache(*favorite, folder);
  favorites.deleteObject(*favorite);
  if (Status saved = favorites.save(); !saved.ok()) return fail(saved.error().toString());
  std::printf("removed: %s\n", named(artist, title).c_str());

  // The service's copy goes too; a failure leaves it there.
  Dispatcher& main = env.main();
  bool success = false;
  auto request = MRAPIFavoriteTrack(session.services->parts().mirelune)
                     .removeWithPlaylistTrackItem(
                         item,
                         [&main, &success](bool ok) {
                           main.post([&main, &success, ok] {
                             success = ok;
                             main.quit();
                           });
                         },
                         [&main](const Error&) { main.post([&main] { main.quit(); }); });
  if (request) main.run();
  if (!success) std::fprintf(stderr, "mirelune: the service was not told\n");
  return 0;
}

int listFavorites(bool json) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  CDFavoriteTrackEntityController favorites(session.store.database().get());
  const auto all = favorites.findNewerTracksWithCount(-1);
  Value list = Value::array();
  for (const auto& favorite : all) {
    const std::string artist = favorite->artist().value_or("");
    const std::string title = favorite->title().value_or("");
    const bool cached = favorite->localCachePreviewDataSource() != nullptr;
    if (json) {
      list.append(Value(Dictionary{
          {"artist", Value(artist)},
          {"title", Value(title)},
          {"itemHash", Value(favorite->itemHash().value_or(""))},
          {"favoritedAt", Value(favorite->favoritedAt().value_or(Date{}).secondsSince1970)},
          {"cached", Value(cached)}}));
    } else {
      std::printf("%s%s\n", named(artist, title).c_str(), cached ? "  (cached)" : "");
    }
  }
  if (json) std::cout << toJson(list) << "\n";
  if (all.empty() && !json) std::cerr << "mirelune: no favorites yet\n";
  return 0;
}

const char* stepText(MRServiceOperationStatus status) {
  switch (status) {
    case kMRCacheFavoriteTrackOperationStatusWaiting:
      return "waiting";
    case kMRCacheFavoriteTrackOperationStatusLocating:
      return "locating";
    case kMRCacheFavoriteTrackOperationStatusDownloading:
      return "downloading";
    case kMRCacheFavoriteTrackOperationStatusExtracting:
      return "extracting";
    case kMRCacheFavoriteTrackOperationStatusSaving:
      return "saving";
    default:
      return "caching";
  }
}

int cacheFavorite(const std::string& artist, const std::string& title) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  const Env& env = session.env;
  const std::string hash = itemHashOf(artist, title);
  {
    CDFavoriteTrackEntityController favorites(session.store.database().get());
    auto favorite = favorites.findOneWithItemHash(hash);
    if (!favorite) return fail("\"" + named(artist, title) + "\" is not a favorite");
    if (favorite->localCachePreviewDataSource()) {
      std::printf("already cached: %s\n", named(artist, title).c_str());
      return 0;
    }
  }
  auto job = std::make_shared<MRCacheFavoriteTrackOperation>(
      session.services->favoriteCacheParts(session.store.database()), hash);
  ProgressLine line;
  Dispatcher& main = env.main();
  auto bridge = std::make_shared<MRServiceOperationDelegateBridge>();
  bridge->progressBlock = [&line, &artist, &title](MRServiceOperation&,
                                                   MRServiceOperationStatus status,
                                                   float fraction) {
    const std::string text = std::string(stepText(status)) + " " + named(artist, title);
    line.show(fraction, text, text);
  };
  bridge->completionBlock = [&main](MRServiceOperation&, MRServiceOperationStatus status) {
    if (status == kMRServiceOperationStatusCompleted) main.quit();
  };
  job->setDelegate(bridge);
  session.serviceQueue().addOperation(job);
  main.run();
  job->setDelegate({});
  job->waitUntilFinished();
  line.end();

  CDFavoriteTrackEntityController favorites(session.store.database().get());
  auto favorite = favorites.findOneWithItemHash(hash);
  if (favorite && favorite->localCachePreviewDataSource()) {
    std::printf("cached: %s\n", named(artist, title).c_str());
    return 0;
  }
  if (auto error = job->lastError()) return fail("nothing was cached: " + error->description());
  return fail("nothing was cached: no preview of \"" + named(artist, title) + "\" to download");
}

int uncacheFavorite(const std::string& artist, const std::string& title) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  CDFavoriteTrackEntityController favorites(session.store.database().get());
  auto favorite = favorites.findOneWithArtist(artist, title);
  if (!favorite) return fail("\"" + named(artist, title) + "\" is not a favorite");
  favoritecache::uncache(
      *favorite,
      session.services->favoriteCacheParts(session.store.database()).cacheDirectoryPath());
  if (Status saved = favorites.save(); !saved.ok()) return fail(saved.error().toString());
  std::printf("uncached: %s\n", named(artist, title).c_str());
  return 0;
}

}  // namespace

void addFavoriteCommands(CLI::App& app, Action& action) {
  auto* favorite = app.add_subcommand("favorite", "Keep favorites and cache them for offline play");
  favorite->require_subcommand(1);
  const auto track = [&action, favorite](const std::string& name, const std::string& help,
                                         int (*run)(const std::string&, const std::string&)) {
    auto artist = std::make_shared<std::string>();
    auto title = std::make_shared<std::string>();
    auto* command = favorite->add_subcommand(name, help);
    command->add_option("ARTIST", *artist, "the artist")->required();
    command->add_option("TITLE", *title, "the track's title")->required();
    command->callback([&action, artist, title, run] {
      action = [artist, title, run] { return run(*artist, *title); };
    });
  };
  track("add", "Make a track a favorite and tell the service", addFavorite);
  track("remove", "Remove a favorite, with its cached files", removeFavorite);
  track("cache", "Download a favorite's preview and artwork for offline play", cacheFavorite);
  track("uncache", "Remove a favorite's cached files", uncacheFavorite);

  auto json = std::make_shared<bool>(false);
  auto* list = favorite->add_subcommand("list", "Your favorites, newest first");
  list->add_flag("--json", *json, "as JSON");
  list->callback([&action, json] { action = [json] { return listFavorites(*json); }; });
}

}  // namespace mr::cli
