// library scan|use|reset, and analyse: the listener's music library.
#include <chrono>
#include <cstdio>
#include <future>
#include <iostream>
#include <unordered_set>

#include "app/MRDefaultAppServices.h"
#include "app/MRSQLiteStore.h"
#include "base/Env.h"
#include "base/FileUtil.h"
#include "base/Json.h"
#include "cli/Commands.h"
#include "cli/Support.h"
#include "library/MRMusicLibrary.h"
#include "library/MRUploadUserTracksOperation.h"
#include "library/MRUserSongCheckOperation.h"
#include "model/CDUtility.h"

namespace mr::cli {
namespace {

MRUserDefaults userDefaults() {
  const Env& env = Env::defaultEnv();
  return MRUserDefaults(env.settings(), env.paths().home);
}

int scan(const std::string& file, bool json) {
  if (file.empty()) {
    if (Status read = Env::defaultEnv().settings().synchronize(); !read.ok())
      return fail("cannot tell which library is in effect: " + read.error().toString());
  }
  const std::string path = file.empty() ? userDefaults().iTunesMusicLibraryFilePath() : file;
  const auto start = std::chrono::steady_clock::now();
  auto library = MRMusicLibrary::iTunesMusicLibrary(path, MRITunesMusicLibrary::Fields::Identity);
  if (!library.ok())
    return fail(library.error().description() + " " + library.error().failureReason());
  const auto& tracks = (*library)->source().allTracks();
  // The hashes are independent: half of them on a second core.
  const auto hashRange = [&tracks](size_t from, size_t to) {
    std::vector<std::string> hashes;
    hashes.reserve(to - from);
    for (size_t i = from; i < to; ++i) {
      hashes.push_back(CDUtility::itemHashWithTitle(tracks[i].trackTitle().value_or(""),
                                                    tracks[i].artistName().value_or("")));
    }
    return hashes;
  };
  auto secondHalf = std::async(std::launch::async, hashRange, tracks.size() / 2, tracks.size());
  const size_t artists = (*library)->source().allArtists().size();
  std::unordered_set<std::string> hashes;
  hashes.reserve(tracks.size());
  for (auto& hash : hashRange(0, tracks.size() / 2))
    hashes.insert(std::move(hash));
  for (auto& hash : secondHalf.get())
    hashes.insert(std::move(hash));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (json) {
    Dictionary summary{{"tracks", Value(tracks.size())},
                       {"artists", Value(artists)},
                       {"distinctTrackHashes", Value(hashes.size())},
                       {"seconds", Value(seconds)}};
    std::cout << toJson(Value(std::move(summary))) << "\n";
  } else {
    std::printf("%s\n%zu tracks, %zu artists, %zu distinct tracks, read in %.3f s\n", path.c_str(),
                tracks.size(), artists, hashes.size(), seconds);
  }
  return 0;
}

int analyse(bool wait) {
  const Env& env = Env::defaultEnv();
  // Two checks at once would queue and upload the same tracks twice.
  auto lock = lockJob(env, "song-check.lock", "song check", wait);
  if (auto* exitCode = std::get_if<int>(&lock)) return *exitCode;
  if (Status read = env.settings().synchronize(); !read.ok()) return fail(read.error().toString());
  if (!ovloAccount(env.settings()).isAuthorized()) {
    std::cerr
        << "mirelune: not signed in: the library is checked, but new tracks are not reported\n";
  }
  MRSQLiteStore store;
  if (Status opened = openStore(env, store); !opened.ok()) return fail(opened.error().toString());

  MRDefaultAppServices services(env, MRDefaultAppServices::sharedParts());
  services.registerUserSongCheck(store.database());
  auto operation = std::dynamic_pointer_cast<MRUserSongCheckOperation>(
      services.parts().serviceQueue->addOperationOfKind(kMRUserSongCheckOperationKind));
  if (!operation) return fail("a check is already running");

  ProgressLine progress;
  const auto status = runToCompletion(env, *operation, [&](float fraction) {
    if (operation->songTotal() == 0) return;
    progress.show(
        fraction,
        std::to_string(operation->songChecked()) + "/" + std::to_string(operation->songTotal()) +
            " " + operation->processingTrackArtist() + " - " + operation->processingTrackTitle(),
        "checked " + std::to_string(operation->songChecked()) + " of " +
            std::to_string(operation->songTotal()) + " tracks");
  });
  progress.end();
  // The upload ends on its own, after the check.
  const auto upload = operation->uploadOperation();
  if (upload) upload->waitUntilFinished();

  if (auto error = operation->lastError()) {
    if (status == kMRServiceOperationStatusFailed) {
      return fail("the checked tracks could not be saved (" + error->toString() +
                  "); the next analyse checks them again");
    }
    return fail(error->description() + " " + error->failureReason());
  }
  const size_t uploaded = upload ? upload->uploadedCount() : 0;
  std::printf("checked %d, queued %d, uploaded %zu\n", operation->songChecked(),
              operation->songQueued(), uploaded);
  if (upload) {
    if (auto error = upload->lastError()) {
      std::fflush(stdout);
      return fail("the new tracks were not uploaded (" + error->toString() +
                  "); the next analyse sends them again");
    }
  }
  return 0;
}

}  // namespace

void addLibraryCommands(CLI::App& app, Action& action) {
  auto* library = app.add_subcommand("library", "The music library in effect");
  library->require_subcommand(1);

  auto file = std::make_shared<std::string>();
  auto json = std::make_shared<bool>(false);
  auto* scanCommand =
      library->add_subcommand("scan", "Read the library and count its tracks and artists");
  scanCommand->add_option("--file", *file, "read this file instead of the library in effect");
  scanCommand->add_flag("--json", *json, "print one JSON object");
  scanCommand->callback(
      [&action, file, json] { action = [file, json] { return scan(*file, *json); }; });

  auto path = std::make_shared<std::string>();
  auto* use = library->add_subcommand("use", "Use this iTunes Music Library XML file");
  use->add_option("PATH", *path, "the .xml file")->required();
  use->callback([&action, path] {
    action = [path] {
      if (!fileExists(*path)) return fail(*path + " does not exist");
      if (!path->ends_with(".xml")) return fail(*path + " is not an .xml file");
      if (Status stored = userDefaults().setITunesMusicLibraryFilePath(*path); !stored.ok())
        return fail("library not changed: " + stored.error().toString());
      std::cout << "library: " << *path << "\n";
      return 0;
    };
  });

  library->add_subcommand("reset", "Go back to the default library file")->callback([&action] {
    action = [] {
      auto defaults = userDefaults();
      if (Status stored = defaults.setITunesMusicLibraryFilePath(std::nullopt); !stored.ok())
        return fail("library not changed: " + stored.error().toString());
      std::cout << "library: " << defaults.iTunesMusicLibraryFilePath() << "\n";
      return 0;
    };
  });

  auto wait = std::make_shared<bool>(false);
  auto* analyseCommand = app.add_subcommand(
      "analyse", "Check the library for new tracks and report them to the service");
  analyseCommand->add_flag("--wait", *wait,
                           "when another process is checking, wait for it instead of stopping");
  analyseCommand->callback([&action, wait] { action = [wait] { return analyse(*wait); }; });
}

}  // namespace mr::cli
