#include "library/MRUploadUserTracksOperation.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileUtil.h"
#include "base/Json.h"
#include "base/Log.h"
#include "base/ThreadPool.h"
#include "service/MRAPIUserTrack.h"

namespace mr {

MRUploadUserTracksOperation::MRUploadUserTracksOperation(const Env& env,
                                                         std::shared_ptr<MRAPIBase> api)
    : env_(env), api_(std::move(api)) {}

MRUploadUserTracksOperation::MRUploadUserTracksOperation(
    const Env& env, std::shared_ptr<MRAPIBase> api,
    std::shared_ptr<const MRHashedMusicLibrary> library)
    : env_(env), api_(std::move(api)), library_(std::move(library)) {}

namespace {

// The line is written straight, a hundred thousand at a time; it is the text
// toJson gives for the line as a dictionary of the track's facts and its
// metaData, in that order.
class LineWriter {
 public:
  explicit LineWriter(std::string& out) : out_(out) {}

  void text(const char* key, const std::optional<std::string>& value) {
    name(key);
    appendJsonString(out_, value ? std::string_view(*value) : std::string_view());
  }
  void number(const char* key, uint64_t value) {
    name(key);
    out_ += std::to_string(static_cast<int64_t>(value));  // as a Value holds it
  }
  void date(const char* key, const std::optional<Date>& value) {
    name(key);
    if (value) {
      appendJsonReal(out_, value->secondsSince1970);
    } else {
      out_ += '0';
    }
  }
  void open(const char* key) {
    if (key != nullptr) name(key);
    out_ += '{';
    first_ = true;
  }
  void close() {
    out_ += '}';
    first_ = false;
  }

 private:
  void name(const char* key) {
    if (!first_) out_ += ',';
    first_ = false;
    out_ += '"';
    out_ += key;
    out_ += "\":";
  }

  std::string& out_;
  bool first_ = true;
};

void appendUploadLine(std::string& out, const MRITunesMusicLibraryTrack& track) {
  LineWriter line(out);
  line.open(nullptr);
  line.text("artistName", track.artistName());
  line.text("trackTitle", track.trackTitle());
  line.text("albumTitle", track.albumTitle());
  line.number("playCount", track.playCount());
  line.open(MRITunesMusicLibraryTrack::kLibraryType);
  line.number("trackId", track.trackId());
  line.text("name", track.name());
  line.text("artist", track.artist());
  line.text("album", track.album());
  line.text("genre", track.genre());
  line.text("kind", track.kind());
  line.number("size", track.size());
  line.number("totalTime", track.totalTime());
  line.number("discNumber", track.discNumber());
  line.number("discCount", track.discCount());
  line.number("trackNumber", track.trackNumber());
  line.number("trackCount", track.trackCount());
  line.number("year", track.year());
  line.date("dateModified", track.dateModified());
  line.date("dateAdded", track.dateAdded());
  line.number("bitRate", track.bitRate());
  line.number("sampleRate", track.sampleRate());
  line.number("playCount", track.playCount());
  line.number("playDate", track.playDate());
  line.number("skipCount", track.skipCount());
  line.date("skipDate", track.skipDate());
  line.text("persistentId", track.persistentId());
  line.text("trackType", track.trackType());
  line.close();
  line.close();
  out += '\n';
}

}  // namespace

std::string MRUploadUserTracksOperation::uploadLine(const MRITunesMusicLibraryTrack& track) {
  std::string line;
  appendUploadLine(line, track);
  return line;
}

std::vector<const MRITunesMusicLibraryTrack*> MRUploadUserTracksOperation::findNewlyAddedTracks() {
  MRUserDefaults defaults(env_.settings(), env_.paths().home);
  if (!library_) {
    auto library = MRMusicLibrary::defaultMusicLibrary(defaults);
    if (!library.ok()) {
      lastError_.set(library.error());
      return {};
    }
    library_ = MRHashedMusicLibrary::make(std::move(*library));
  }
  const auto stored = MRUserTrackItemHashTable::initWithUserDefaults(defaults);
  const auto& tracks = library_->tracks();
  latestHashTable_ = MRMutableUserTrackItemHashTable();
  latestHashTable_.reserve(tracks.size());
  std::vector<const MRITunesMusicLibraryTrack*> added;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const std::string& hash = library_->itemHashes[i];
    if (!stored.userHasItemHash(hash)) added.push_back(&tracks[i]);
    latestHashTable_.setItemHash(hash);
  }
  return added;
}

void MRUploadUserTracksOperation::fail(Error error) {
  log::error("Upload of new library tracks: {}", error.toString());
  lastError_.set(std::move(error));
}

void MRUploadUserTracksOperation::finish(bool upToDate,
                                         std::optional<MRMutableUserTrackItemHashTable> table) {
  Status stored;
  if (outcome_) {
    stored = outcome_(upToDate, std::move(table));
  } else if (upToDate && table) {
    MRUserDefaults defaults(env_.settings(), env_.paths().home);
    stored = table->save(defaults);
  }
  if (!stored.ok()) fail(stored.error());
}

void MRUploadUserTracksOperation::main() {
  setCurrentThreadName(className());
  const auto added = findNewlyAddedTracks();
  if (lastError()) {
    finish(false, std::nullopt);
    return;
  }
  if (isCancelled()) {
    finish(false, std::nullopt);
    return;
  }
  // Nothing new: nothing is sent, and the stored table stays as it is.
  if (added.empty()) {
    finish(true, std::nullopt);
    return;
  }
  // Only a table whose tracks reached the service may replace the stored
  // one; otherwise the next check sends them again.
  if (Status sent = send(added); !sent.ok()) {
    fail(sent.error());
    finish(false, std::nullopt);
    return;
  }
  uploaded_ = added.size();
  finish(true, std::move(latestHashTable_));
}

Result<std::string> MRUploadUserTracksOperation::writeUploadFile(
    const std::vector<const MRITunesMusicLibraryTrack*>& tracks) {
  const std::string folder = env_.paths().cacheDir;
  if (Status made = makeDirectories(folder); !made.ok()) return made.error();
  std::string path = folder + "/upload-XXXXXX.txt";
  const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
  if (fd < 0) return posixError(errno, "cannot create an upload file in " + folder);
  tempFilePath_.set(path);

  // 0, or the errno of the write that failed.
  const auto flush = [fd](std::string& pending) -> int {
    size_t done = 0;
    while (done < pending.size()) {
      const ssize_t count = ::write(fd, pending.data() + done, pending.size() - done);
      if (count < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (count == 0) return EIO;
      done += static_cast<size_t>(count);
    }
    pending.clear();
    return 0;
  };
  constexpr size_t kChunk = size_t{1} << 20;
  std::string pending;
  pending.reserve(kChunk + 4096);
  int failure = 0;
  for (const auto* track : tracks) {
    appendUploadLine(pending, *track);
    if (pending.size() >= kChunk && (failure = flush(pending)) != 0) break;
  }
  if (failure == 0) failure = flush(pending);
  if (::close(fd) != 0 && failure == 0) failure = errno;
  if (failure != 0) {
    ::unlink(path.c_str());
    return posixError(failure, "cannot write " + path);
  }
  return path;
}

Status MRUploadUserTracksOperation::send(
    const std::vector<const MRITunesMusicLibraryTrack*>& tracks) {
  auto file = writeUploadFile(tracks);
  if (!file.ok()) return file.error();
  auto accepted = std::make_shared<std::atomic<bool>>(false);
  auto failure = std::make_shared<MutexProtected<std::optional<Error>>>();
  auto request = MRAPIUserTrack(api_).updateWithTextFile(
      *file, [accepted](bool success, const auto&, const auto&) { *accepted = success; },
      [failure](const Error& error) { failure->set(error); });
  if (request) request->waitUntilFinished(env_.clock());
  ::unlink(file->c_str());
  if (*accepted) return {};
  if (auto error = failure->get()) return *error;
  return Error(kMireluneErrorDomain, 9000002, "the service did not take the new tracks");
}

}  // namespace mr
