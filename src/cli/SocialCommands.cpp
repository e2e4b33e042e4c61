// releases, comment, today: new releases of the library's artists, comments
// on tracks, and the artists of the day.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "base/Date.h"
#include "base/Json.h"
#include "base/MRUserDefaults.h"
#include "cli/Commands.h"
#include "cli/Support.h"
#include "service/ovloConnectionList.h"
#include "social/MRNewReleaseCheckOperation.h"
#include "social/MRSubmitCommentForTrackOperation.h"
#include "social/MRTodaysArtistsController.h"
#include "store/CDNewRelease.h"

namespace mr::cli {
namespace {

int checkReleases(Session& session) {
  if (!session.env.reachability().isReachable())
    return fail("offline: the iTunes Store cannot be asked for new releases");
  auto lock = lockJob(session.env, "new-release-check.lock", "new-release check", false);
  if (auto* exitCode = std::get_if<int>(&lock)) return *exitCode;
  auto check = std::make_shared<MRNewReleaseCheckOperation>(session.parts);
  session.serviceQueue().addOperation(check);
  ProgressLine line;
  runToCompletion(session.env, *check, [&line, &check](float fraction) {
    const std::string artist = check->processingArtistName();
    line.show(fraction, artist, "checked " + std::to_string(static_cast<int>(fraction * 100)) + "%");
  });
  line.end();
  if (const auto error = check->lastError()) return fail(error->toString());
  std::fprintf(stderr, "looked up %zu artists\n", check->artistsLookedUp());
  return 0;
}

int releases(bool check, bool json) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  if (check) {
    if (const int code = checkReleases(session); code != 0) return code;
  }
  CDNewReleaseEntityController stored(session.store.database().get());
  auto found = stored.findAll();
  // Newest first; undated ones last.
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a->releaseDate().value_or(Date{-1e18}) > b->releaseDate().value_or(Date{-1e18});
  });
  Value list = Value::array();
  for (const auto& release : found) {
    const auto artist = release->artist();
    const std::string artistName = artist ? artist->name().value_or("") : "";
    const auto date = release->releaseDate();
    const std::string day = date ? formatDateWithFormat(*date, "yyyy-MM-dd") : "";
    if (json) {
      list.append(Value(Dictionary{
          {"title", Value(release->title().value_or(""))},
          {"artist", Value(artistName)},
          {"collectionId", Value(release->collectionId().value_or(0))},
          {"trackCount", Value(release->trackCount().value_or(0))},
          {"releaseDate", date ? Value(formatISO8601(*date)) : Value()},
          {"imageUrl", Value(release->imageUrl().value_or(""))}}));
    } else {
      std::printf("%-10s %-12lld %s - %s\n", day.c_str(),
                  static_cast<long long>(release->collectionId().value_or(0)), artistName.c_str(),
                  release->title().value_or("").c_str());
    }
  }
  if (json) std::cout << toJson(list) << "\n";
  if (found.empty() && !json)
    std::cerr << "mirelune: no new releases stored: run \"mirelune releases --check\"\n";
  return 0;
}

struct CommentRequest {
  std::string artist, title, text, share;
};

int comment(const CommentRequest& request) {
  bool facebook = false, twitter = false;
  std::stringstream services(request.share);
  for (std::string service; std::getline(services, service, ',');) {
    if (service == "facebook") {
      facebook = true;
    } else if (service == "twitter") {
      twitter = true;
    } else if (!service.empty()) {
      return fail("cannot share on \"" + service + "\": only facebook and twitter");
    }
  }
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  if (!session.services->isAuthorized())
    return fail("not signed in: run \"mirelune login\" or \"mirelune signup\" first");
  ovloConnectionList connections(session.env.settings());
  const std::initializer_list<std::pair<const char*, bool>> ticked = {{"facebook", facebook},
                                                                      {"twitter", twitter}};
  for (const auto& [service, wanted] : ticked) {
    if (wanted && connections.itemsOfService(service).empty())
      return fail(std::string("no ") + service + " account is linked to this account");
  }
  const std::string text = commentFormText(request.text);
  MRPlaylistTrackItem item;
  item.artist = request.artist;
  item.title = request.title;
  auto operation = std::make_shared<MRSubmitCommentForTrackOperation>(
      session.parts, session.services->parts().mirelune, item, text,
      commentFormShareList(connections, facebook, twitter));
  // The form keeps the boxes as they were ticked.
  MRUserDefaults defaults(session.env.settings(), session.env.paths().home);
  if (Status kept = defaults.setShareOnFacebook(facebook); !kept.ok())
    std::cerr << "mirelune: " << kept.error().toString() << "\n";
  if (Status kept = defaults.setShareOnTwitter(twitter); !kept.ok())
    std::cerr << "mirelune: " << kept.error().toString() << "\n";
  operation->submit(session.serviceQueue());
  const auto status = runToCompletion(session.env, *operation);
  if (status != kMRServiceOperationStatusCompleted) {
    const auto error = operation->lastError();
    return fail(error ? error->description()
                      : "\"" + request.artist + "\" is not known to Last.fm; nothing was sent");
  }
  std::printf("%s %s - %s\n", text.empty() ? "registered" : "commented on", request.artist.c_str(),
              request.title.c_str());
  if (facebook || twitter) {
    std::printf("shared on %s\n",
                facebook && twitter ? "facebook, twitter" : (facebook ? "facebook" : "twitter"));
  }
  if (const auto url = operation->trackViewUrl(); url && !url->empty())
    std::printf("store page: %s\n", url->c_str());
  return 0;
}

int today(bool force, bool json) {
  Session session;
  if (Status opened = session.open(); !opened.ok()) return fail(opened.error().toString());
  MRTodaysArtistsController controller(session.env, session.store.database().get());
  const bool chosen = controller.selectTodaysArtistsWithForce(force);
  Value list = Value::array();
  for (const auto& recommended : controller.recommendArtists()) {
    const auto artist = recommended->artist();
    const std::string name = artist ? artist->name().value_or("") : "";
    if (json) {
      list.append(Value(Dictionary{{"name", Value(name)},
                                   {"itemHash", Value(recommended->itemHash().value_or(""))}}));
    } else {
      std::printf("%s\n", name.c_str());
    }
  }
  if (json) {
    std::cout << toJson(Value(Dictionary{{"chosenNow", Value(chosen)}, {"artists", list}}))
              << "\n";
  }
  if (controller.recommendArtists().empty())
    return fail("no recommended artists yet: run \"mirelune recommend\"");
  return 0;
}

}  // namespace

void addSocialCommands(CLI::App& app, Action& action) {
  auto check = std::make_shared<bool>(false);
  auto releasesJson = std::make_shared<bool>(false);
  auto* releasesCommand =
      app.add_subcommand("releases", "New releases of your library's artists, newest first");
  releasesCommand->add_flag("--check", *check,
                            "look up the artists not checked in the last day first");
  releasesCommand->add_flag("--json", *releasesJson, "print one JSON array");
  releasesCommand->callback([&action, check, releasesJson] {
    action = [check, releasesJson] { return releases(*check, *releasesJson); };
  });

  auto request = std::make_shared<CommentRequest>();
  auto* commentCommand = app.add_subcommand(
      "comment", "Comment on a track (an empty text only registers it and names its store page)");
  commentCommand->add_option("ARTIST", request->artist, "the track's artist")->required();
  commentCommand->add_option("TITLE", request->title, "the track's title")->required();
  commentCommand->add_option("TEXT", request->text, "the comment")->required();
  commentCommand->add_option("--share", request->share,
                             "share it on linked accounts: facebook, twitter or both");
  commentCommand->callback(
      [&action, request] { action = [request] { return comment(*request); }; });

  auto force = std::make_shared<bool>(false);
  auto todayJson = std::make_shared<bool>(false);
  auto* todayCommand = app.add_subcommand("today", "Today's three recommended artists");
  todayCommand->add_flag("--force", *force, "choose anew, even if today's were chosen");
  todayCommand->add_flag("--json", *todayJson, "print one JSON object");
  todayCommand->callback([&action, force, todayJson] {
    action = [force, todayJson] { return today(*force, *todayJson); };
  });
}

}  // namespace mr::cli
