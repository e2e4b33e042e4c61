#include "social/MRCacheFavoriteTrackOperation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "base/FileUtil.h"
#include "base/Log.h"
#include "base/MutexProtected.h"
#include "base/PendingAnswer.h"
#include "external/MRLocatePreviewDataOperation.h"
#include "model/CDUtility.h"
#include "store/CDFavoriteTrack.h"

namespace mr {

// ---- The caching lock.

std::shared_ptr<MRFavoriteCachingLock> MRFavoriteCachingLock::shared() {
  static const auto lock = std::make_shared<MRFavoriteCachingLock>();
  return lock;
}

bool MRFavoriteCachingLock::tryAcquire(Operation& waiter) {
  std::lock_guard guard(mutex_);
  if (!held_) {
    held_ = true;
    return true;
  }
  waiters_.push_back(waiter.weak_from_this());
  return false;
}

void MRFavoriteCachingLock::release() {
  std::vector<std::weak_ptr<Operation>> waiters;
  {
    std::lock_guard guard(mutex_);
    held_ = false;
    waiters.swap(waiters_);
  }
  // Woken outside the lock: their sleep's condition asks isHeld().
  for (auto& weak : waiters) {
    if (auto waiter = weak.lock()) waiter->wake();
  }
}

bool MRFavoriteCachingLock::isHeld() const {
  std::lock_guard guard(mutex_);
  return held_;
}

// ---- File names.

namespace favoritecache {

namespace {
bool isAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string lastPathComponent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file the cache made, named in a stored address, inside `folder`; none
// for anything else.
std::optional<std::string> cacheFileOf(const std::string& storedUrl, const std::string& folder) {
  const std::string path = pathOfFileUrl(storedUrl);
  const std::string name = lastPathComponent(path);
  if (!isCacheFileName(name)) return std::nullopt;
  // An absolute address must name the folder itself; a bare name is in it.
  if (path != name && parentDirectory(path) != folder) return std::nullopt;
  return folder + "/" + name;
}
}  // namespace

bool isItemHash(const std::string& text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::optional<std::string> extensionOfUrl(const std::string& url) {
  std::string path = url.substr(0, url.find_first_of("?#"));
  const size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  const std::string name = lastPathComponent(path);
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return std::nullopt;
  std::string extension = name.substr(dot + 1);
  if (extension.empty() || extension.size() >= 5) return std::nullopt;
  for (char c : extension) {
    if (!isAlphanumeric(c)) return std::nullopt;
  }
  return extension;
}

std::string audioExtension(const std::string& url) {
  return extensionOfUrl(url).value_or("mp4");
}

bool isCacheFileName(const std::string& name) {
  if (name.size() < 32 || !isItemHash(name.substr(0, 32))) return false;
  std::string rest = name.substr(32);
  std::string stem;
  for (const char* candidate : {"-audio", "-image"}) {
    if (rest.rfind(candidate, 0) == 0) stem = candidate;
  }
  if (stem.empty()) return false;
  rest = rest.substr(stem.size());
  if (rest.empty()) return stem == "-image";
  if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5) return false;
  for (size_t i = 1; i < rest.size(); ++i) {
    if (!isAlphanumeric(rest[i])) return false;
  }
  return true;
}

void uncache(CDFavoriteTrack& favorite, const std::string& folder) {
  if (auto source = favorite.localCachePreviewDataSource()) {
    if (auto file = cacheFileOf(source->previewUrl().value_or(""), folder)) {
      ::unlink(file->c_str());
    }
    favorite.removePreviewDataSourceSetObject(*source);
  }
  if (auto image = favorite.cachedImageUrl()) {
    if (auto file = cacheFileOf(*image, folder)) ::unlink(file->c_str());
    favorite.setCachedImageUrl(std::nullopt);
  }
}

}  // namespace favoritecache

// ---- The job.

namespace {

constexpr const char* kCacheErrorDomain = "mirelune.favoritecache";

bool isDiskFault(const Error& error) {
  if (error.domain() == kHttpErrorDomain) return error.code() == kHttpErrorCannotWriteToFile;
  return error.domain() == kPosixErrorDomain;
}

Error diskFullError(const std::string& folder) {
  return Error(kCacheErrorDomain, 2,
               "could not write the download into " + folder +
                   " (is the disk full?); nothing was cached and the favorite is kept");
}

std::optional<uint64_t> fileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(info.st_size);
}

// Appends `from` to `to`; a short write is reported with its errno.
Status appendFile(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return posixError(errno, "cannot read " + from);
  std::FILE* out = std::fopen(to.c_str(), "ab");
  if (out == nullptr) {
    const int err = errno;
    std::fclose(in);
    return posixError(err, "cannot write " + to);
  }
  char buffer[65536];
  int err = 0;
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, count, out) != count) {
      err = errno != 0 ? errno : EIO;
      break;
    }
  }
  std::fclose(in);
  if (std::fclose(out) != 0 && err == 0) err = errno != 0 ? errno : EIO;
  if (err != 0) return posixError(err, "cannot write " + to);
  return Status();
}

}  // namespace

MRCacheFavoriteTrackOperation::MRCacheFavoriteTrackOperation(MRFavoriteCacheParts parts,
                                                             std::string itemHash)
    : MRRetryableNetworkOperation(parts.env()),
      parts_(std::move(parts)),
      itemHash_(std::move(itemHash)) {
  if (parts_.recommend.store) {
    CDFavoriteTrackEntityController favorites(parts_.recommend.store.get());
    if (auto favorite = favorites.findOneWithItemHash(itemHash_)) {
      title_ = favorite->title().value_or("");
      artist_ = favorite->artist().value_or("");
    }
  }
  if (Status made = prepareCacheDirectory(); !made.ok()) {
    log::warning("{}", made.error().toString().c_str());
  }
}

std::shared_ptr<MRRetryableNetworkOperation> MRCacheFavoriteTrackOperation::duplicate() const {
  auto copy = std::make_shared<MRCacheFavoriteTrackOperation>(parts_, itemHash_);
  copy->setDelegate(delegate());
  return copy;
}

Status MRCacheFavoriteTrackOperation::prepareCacheDirectory() const {
  return makeDirectories(cacheDirectoryPath());
}

std::string MRCacheFavoriteTrackOperation::cacheAudioFilePath() const {
  return cacheDirectoryPath() + "/" + itemHash_ + "-audio";
}

std::string MRCacheFavoriteTrackOperation::cacheImageFilePath() const {
  return cacheDirectoryPath() + "/" + itemHash_ + "-image";
}

void MRCacheFavoriteTrackOperation::cancel() {
  Operation::cancel();
  std::shared_ptr<Operation> inner;
  std::shared_ptr<HttpOperation> request;
  {
    std::lock_guard guard(innerMutex_);
    inner = innerOperation_;
    request = innerRequest_;
  }
  if (inner) inner->cancel();
  if (request) request->cancel();
}

void MRCacheFavoriteTrackOperation::main() {
  MRRetryableNetworkOperation::main();
  setStatus(kMRCacheFavoriteTrackOperationStatusWaiting);
  auto& lock = *parts_.lock;
  while (!lock.tryAcquire(*this)) {
    // Cancelled while waiting its turn: it ends here, still waiting.
    if (isCancelled()) return;
    sleepFor(env().clock(), std::chrono::seconds(1), [&lock] { return !lock.isHeld(); });
  }
  cacheLocked();
  lock.release();
  setStatus(kMRServiceOperationStatusCompleted);
}

std::optional<MRPreviewDataSource>
MRCacheFavoriteTrackOperation::getHighestPrioritizedPreviewDataSourceFromTrackItem(
    const MRPlaylistTrackItem& item) {
  std::optional<MRPreviewDataSource> chosen;
  for (const auto& source : item.previewDataSourceSet) {
    if (!source.hasPreviewUrl()) continue;
    if (!chosen || source.sourceID > chosen->sourceID) chosen = source;
  }
  return chosen;
}

void MRCacheFavoriteTrackOperation::locatePreviewDataWithSourceSet(
    MRFavoriteTrackMixTrackItem& item) {
  auto locate = std::make_shared<MRLocatePreviewDataOperation>(env(), parts_.recommend.sites,
                                                               item.previewDataSourceSet);
  {
    std::lock_guard guard(innerMutex_);
    innerOperation_ = locate;
  }
  if (!isCancelled()) locate->start();
  {
    std::lock_guard guard(innerMutex_);
    innerOperation_.reset();
  }
  if (locate->isFinished()) item.previewDataSourceSet = locate->subjectPreviewDataSourceSet();
}

void MRCacheFavoriteTrackOperation::cacheLocked() {
  setStatus(kMRServiceOperationStatusProcessing);
  if (!favoritecache::isItemHash(itemHash_) || !parts_.recommend.store) return;
  CDFavoriteTrackEntityController favorites(parts_.recommend.store.get());
  auto favorite = favorites.findOneWithItemHash(itemHash_);
  if (!favorite || isCancelled()) return;
  // Already cached: the file plays as it is.
  if (favorite->localCachePreviewDataSource()) return;

  auto item = std::make_shared<MRFavoriteTrackMixTrackItem>();
  favorite->assignToPlaylistTrackItem(*item, cacheDirectoryPath());
  if (isCancelled()) return;

  setStatus(kMRCacheFavoriteTrackOperationStatusLocating);
  locatePreviewDataWithSourceSet(*item);
  auto source = getHighestPrioritizedPreviewDataSourceFromTrackItem(*item);
  if (!source || isCancelled()) return;
  setProgress(0.1f);
  setStatus(kMRCacheFavoriteTrackOperationStatusDownloading);

  std::optional<std::string> image;
  if (auto imageUrl = favorite->imageUrl(); imageUrl && !imageUrl->empty()) {
    image = downloadImageWithURL(*imageUrl);
  }
  setProgress(0.2f);

  auto audio = downloadPreviewDataWithURL(*source->previewUrl);
  if (!audio || isCancelled()) return;

  if (source->sourceID == MRPreviewSourceIDYouTube) {
    setStatus(kMRCacheFavoriteTrackOperationStatusExtracting);
    if (auto extracted = extractAudioFromVideo(*audio)) audio = extracted;
  }
  if (isCancelled()) return;
  setStatus(kMRCacheFavoriteTrackOperationStatusSaving);

  MRPreviewDataSource cached = *source;
  cached.sourceID = MRPreviewSourceIDLocalCache;
  cached.previewUrl = favoritecache::lastPathComponent(*audio);
  cached.additionalInfo.reset();
  CDPreviewDataSourceEntityController sources(favorites.context());
  auto record = sources.insertNewObject();
  if (!record) return;
  assignPreviewDataSourceToManagedObject(cached, *record);
  record->setFavoriteTrack(favorite.get());
  if (image) favorite->setCachedImageUrl("file://" + *image);
  if (Status saved = favorites.save(); !saved.ok()) {
    setLastError(saved.error());
    log::error("{}", saved.error().toString().c_str());
  }
}

std::optional<Error> MRCacheFavoriteTrackOperation::fetch(HttpRequest request,
                                                          HttpResponse& response, bool audio) {
  if (!parts_.engine) return Error(kCacheErrorDomain, 1, "no network engine");
  auto answer = std::make_shared<PendingAnswer<bool>>(*this);
  // The progress reports reach this job only while it waits for them.
  auto reportTo =
      std::make_shared<MutexProtected<MRCacheFavoriteTrackOperation*>>(audio ? this : nullptr);
  HttpCallbacks callbacks;
  callbacks.onCompletion = [answer](HttpOperation&, const HttpResponse&) { answer->deliver(true); };
  callbacks.onError = [answer](HttpOperation&, const Error&) { answer->deliver(false); };
  callbacks.onDownloadProgress = [reportTo](double fraction) {
    reportTo->with([fraction](MRCacheFavoriteTrackOperation* job) {
      if (job != nullptr) job->setProgress(static_cast<float>(0.2 + 0.3 * fraction));
    });
  };
  auto operation = parts_.engine->enqueue(std::move(request), std::move(callbacks));
  {
    std::lock_guard guard(innerMutex_);
    innerRequest_ = operation;
  }
  if (isCancelled()) operation->cancel();
  waitFor(env().clock(), kNoDeadline, [&answer] { return answer->arrived(); });
  if (!answer->detach()) operation->cancel();  // cancelled meanwhile, or failed
  (void)operation->waitUntilFinished(env().clock());
  reportTo->set(nullptr);
  {
    std::lock_guard guard(innerMutex_);
    innerRequest_.reset();
  }
  response = operation->response();
  return operation->error();
}

std::optional<std::string> MRCacheFavoriteTrackOperation::downloadImageWithURL(
    const std::string& url) {
  // The artwork is a local file already: it is used where it is.
  if (url.rfind("file://", 0) == 0) return pathOfFileUrl(url);
  const auto extension = favoritecache::extensionOfUrl(url);
  const std::string target = cacheImageFilePath() + (extension ? "." + *extension : "");
  HttpRequest request;
  request.url = url;
  request.downloadPath = target;
  request.maxDownloadBytes = uint64_t{32} * 1024 * 1024;
  HttpResponse response;
  if (auto error = fetch(std::move(request), response, false)) {
    setLastError(*error);
    return std::nullopt;
  }
  return target;
}

std::optional<std::string> MRCacheFavoriteTrackOperation::downloadPreviewDataWithURL(
    const std::string& url) {
  const std::string target = cacheAudioFilePath() + "." + favoritecache::audioExtension(url);
  // What an earlier, broken download left: asked for only the rest of.
  const std::string partial = target + ".part";
  const std::string rest = target + ".rest";
  const auto removeAll = [&] {
    for (const std::string& path : {partial, rest, rest + ".part", target})
      std::remove(path.c_str());
  };
  const uint64_t had = fileSize(partial).value_or(0);

  HttpRequest request;
  request.url = url;
  request.forceReload = true;
  request.timeout = std::chrono::minutes(10);
  if (had > 0) {
    request.headers.emplace_back("Range", "bytes=" + std::to_string(had) + "-");
    request.downloadPath = rest;
  } else {
    request.downloadPath = target;
    request.keepPartialDownload = true;
  }
  HttpResponse response;
  std::optional<Error> error = fetch(std::move(request), response, true);
  if (!error && had > 0) {
    const std::string expected = "bytes " + std::to_string(had) + "-";
    if (response.status == 206 && response.header("Content-Range").rfind(expected, 0) == 0) {
      if (Status appended = appendFile(rest, partial); !appended.ok()) {
        error = appended.error();
      } else if (std::rename(partial.c_str(), target.c_str()) != 0) {
        error = posixError(errno, "cannot write " + target);
      }
      std::remove(rest.c_str());
    } else if (std::rename(rest.c_str(), target.c_str()) != 0) {
      // The server sent the whole file again.
      error = posixError(errno, "cannot write " + target);
    } else {
      std::remove(partial.c_str());
    }
  }
  if (error) {
    if (isDiskFault(*error)) {
      removeAll();
      setLastError(diskFullError(cacheDirectoryPath()));
    } else {
      // A broken connection or a cancel: the part stays for a later try.
      std::remove(rest.c_str());
      std::remove(target.c_str());
      setLastError(*error);
    }
    return std::nullopt;
  }
  return target;
}

std::optional<std::string> MRCacheFavoriteTrackOperation::extractAudioFromVideo(
    const std::string& video) {
  if (!parts_.extractor) return std::nullopt;
  const size_t dot = video.find_last_of('.');
  const std::string m4a = video.substr(0, dot) + ".m4a";
  if (m4a == video) return video;
  Status converted = parts_.extractor->convert(
      video, m4a,
      [this](double fraction, bool& stop) {
        setProgress(static_cast<float>(0.5 + 0.5 * fraction));
        stop = isCancelled();
      },
      nullptr);
  if (!converted.ok() || isCancelled()) {
    // The video stays and plays as it is.
    if (!converted.ok() && !isCancelled())
      log::warning("keeping the video: {}", converted.error().toString().c_str());
    std::remove(m4a.c_str());
    return std::nullopt;
  }
  if (::unlink(video.c_str()) != 0) {
    setLastError(posixError(errno, "cannot remove " + video));
    return std::nullopt;
  }
  // Readable by the listener's other programs; nobody else writes it.
  if (::chmod(m4a.c_str(), 0644) != 0) {
    setLastError(posixError(errno, "cannot set the permissions of " + m4a));
    return std::nullopt;
  }
  return m4a;
}

}  // namespace mr
