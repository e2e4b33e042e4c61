#include "library/MRUploadUserTracksOperation.h"

#include <cstdio>
#include <fstream>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"
#include "base/ThreadPool.h"
#include "service/MRAPIUserTrack.h"

namespace mr {

MRUploadUserTracksOperation::MRUploadUserTracksOperation(const Env& env,
                                                         std::shared_ptr<MRAPIBase> api)
    : env_(env), api_(std::move(api)) {}

std::optional<Error> MRUploadUserTracksOperation::lastError() const {
  std::lock_guard guard(mutex_);
  return lastError_;
}

std::string MRUploadUserTracksOperation::tempFilePath() const {
  return env_.paths().cacheDir + "/temp.txt";
}

std::string MRUploadUserTracksOperation::uploadLine(const MRITunesMusicLibraryTrack& track) {
  Dictionary line;
  line.set("artistName", Value(track.artistName().value_or("")));
  line.set("trackTitle", Value(track.trackTitle().value_or("")));
  line.set("albumTitle", Value(track.albumTitle().value_or("")));
  line.set("playCount", Value(track.playCount()));
  line.set(MRITunesMusicLibraryTrack::libraryType(), track.metaData());
  return toJson(Value(std::move(line))) + "\n";
}

std::vector<MRITunesMusicLibraryTrack> MRUploadUserTracksOperation::findNewlyAddedTracks() {
  MRUserDefaults defaults(env_.settings(), env_.paths().home);
  auto library = MRMusicLibrary::defaultMusicLibrary(defaults);
  if (!library.ok()) {
    std::lock_guard guard(mutex_);
    lastError_ = library.error();
    return {};
  }
  const auto stored = MRUserTrackItemHashTable::initWithUserDefaults(defaults);
  latestHashTable_ = MRMutableUserTrackItemHashTable();
  std::vector<MRITunesMusicLibraryTrack> added;
  for (const auto& track : (*library)->source().allTracks()) {
    if (!stored.userHasTrack(track)) added.push_back(track);
    latestHashTable_.setTrack(track);
  }
  return added;
}

void MRUploadUserTracksOperation::finish(bool upToDate) {
  if (outcome_) outcome_(upToDate);
}

void MRUploadUserTracksOperation::main() {
  setCurrentThreadName(className());
  const auto added = findNewlyAddedTracks();
  if (added.empty()) {
    finish(!lastError().has_value());
    return;
  }
  const std::string path = tempFilePath();
  Status written = makeDirectories(parentDirectory(path));
  if (written.ok()) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& track : added)
      out << uploadLine(track);
    out.close();
    if (!out) written = Error(kPosixErrorDomain, EIO, "cannot write " + path);
  }
  if (!written.ok()) {
    log::error("Upload of new library tracks: {}", written.error().toString());
    {
      std::lock_guard guard(mutex_);
      lastError_ = written.error();
    }
    std::remove(path.c_str());
    finish(false);
    return;
  }

  auto succeeded = std::make_shared<std::atomic<bool>>(false);
  auto request = MRAPIUserTrack(api_).updateWithTextFile(
      path, [succeeded](bool success, const auto&, const auto&) { *succeeded = success; },
      [](const Error& error) {
        log::warning("Upload of new library tracks failed: {}", error.toString());
      });
  if (request) request->waitUntilFinished(env_.clock());
  std::remove(path.c_str());

  // Only a table whose tracks reached the service may replace the stored
  // one; otherwise the next check tries again.
  if (*succeeded) {
    MRUserDefaults defaults(env_.settings(), env_.paths().home);
    if (Status saved = latestHashTable_.save(defaults); !saved.ok()) {
      finish(false);
      return;
    }
    uploaded_ = added.size();
    finish(true);
  } else {
    {
      std::lock_guard guard(mutex_);
      if (!lastError_)
        lastError_ =
            Error(kMireluneErrorDomain, 9000002, "the service did not take the new tracks");
    }
    finish(false);
  }
}

}  // namespace mr
