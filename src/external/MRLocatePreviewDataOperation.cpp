#include "external/MRLocatePreviewDataOperation.h"

#include <algorithm>
#include <atomic>

#include "base/ThreadPool.h"
#include "external/LBYouTubeVideoExtractor.h"

namespace mr {

namespace {

// What the extractor on the main thread shares with the operation waiting
// for it. The operation detaches before its main() returns, so a late
// callback touches only this.
struct Extraction {
  std::mutex mutex;
  Operation* waiter = nullptr;
  bool abandoned = false;
  std::atomic<bool> done{false};
  std::optional<std::string> streamURL;
  std::shared_ptr<LBYouTubeVideoExtractor> extractor;

  void finish(std::optional<std::string> url) {
    std::lock_guard guard(mutex);
    if (abandoned || done) return;
    streamURL = std::move(url);
    done = true;
    if (waiter != nullptr) waiter->wake();
  }
};

// Names the thread after the running operation; an operation run inside
// another on the same thread gives the outer name back when it ends.
class ThreadName {
 public:
  explicit ThreadName(const std::string& name, std::string restore = {})
      : restore_(std::move(restore)) {
    setCurrentThreadName(name);
  }
  ~ThreadName() {
    if (!restore_.empty()) setCurrentThreadName(restore_);
  }
  ThreadName(const ThreadName&) = delete;
  ThreadName& operator=(const ThreadName&) = delete;

 private:
  std::string restore_;
};

}  // namespace

// One source

MRLocatePreviewDataOperationForOneSource::MRLocatePreviewDataOperationForOneSource(
    const Env& env, MRPreviewSites sites, MRPreviewDataSource source)
    : env_(env), sites_(std::move(sites)), previewDataSource_(std::move(source)) {}

MRPreviewDataSource MRLocatePreviewDataOperationForOneSource::previewDataSource() const {
  std::lock_guard guard(mutex_);
  return previewDataSource_;
}

void MRLocatePreviewDataOperationForOneSource::setBeginningBlock(
    std::function<void(MRLocatePreviewDataOperationForOneSource&)> block) {
  std::lock_guard guard(mutex_);
  beginning_ = std::move(block);
}

void MRLocatePreviewDataOperationForOneSource::cancel() {
  Operation::cancel();
  std::shared_ptr<Operation> inner;
  {
    std::lock_guard guard(mutex_);
    inner = inner_;
  }
  if (inner) inner->cancel();
}

void MRLocatePreviewDataOperationForOneSource::main() {
  ThreadName name(className());
  std::function<void(MRLocatePreviewDataOperationForOneSource&)> beginning;
  MRPreviewDataSource source;
  {
    std::lock_guard guard(mutex_);
    beginning = beginning_;
    source = previewDataSource_;
  }
  if (beginning) beginning(*this);
  if (source.sourceID != MRPreviewSourceIDYouTube) return;

  auto extraction = std::make_shared<MRLocateYouTubePreviewDataOperation>(env_, sites_, source);
  {
    std::lock_guard guard(mutex_);
    inner_ = extraction;
  }
  // cancel() reads inner_ after setting its flag, so one of the two sees
  // the other.
  if (isCancelled()) return;
  {
    // The extraction only waits; a thread of its own would add nothing.
    ThreadName innerName(extraction->className(), className());
    extraction->start();
  }
  const MRPreviewDataSource resolved = extraction->previewDataSource();
  std::lock_guard guard(mutex_);
  previewDataSource_ = resolved;
}

// Video stream

int MRLocateYouTubePreviewDataOperation::qualityForStatus(NetworkStatus status) {
  // Large streams only over Wi-Fi; anything else, or not knowing, is small.
  return status == NetworkStatus::ReachableViaWiFi ? LBYouTubeVideoExtractor::kLarge
                                                   : LBYouTubeVideoExtractor::kSmall;
}

void MRLocateYouTubePreviewDataOperation::main() {
  ThreadName name(className());
  std::string link;
  {
    std::lock_guard guard(mutex_);
    if (previewDataSource_.additionalInfo)
      link = previewDataSource_.additionalInfo->data().stringForKey("link", "");
  }
  if (link.empty() || !sites_.video) return;

  auto extraction = std::make_shared<Extraction>();
  extraction->waiter = this;
  const SteadyTime deadline = env_.clock().deadlineAfter(seconds(kDeadlineSeconds));

  // The extractor's download runs on the main loop, so it is made there.
  const Env& env = env_;
  std::shared_ptr<YouTubeVideoAPI> site = sites_.video;
  env_.main().post([&env, site, link, extraction] {
    {
      std::lock_guard guard(extraction->mutex);
      if (extraction->abandoned) return;
    }
    const int quality = qualityForStatus(env.reachability().currentStatus());
    auto extractor = LBYouTubeVideoExtractor::start(
        *site, link, quality,
        [extraction](const std::string& streamURL) { extraction->finish(streamURL); },
        [extraction](const Error&) { extraction->finish(std::nullopt); });
    std::lock_guard guard(extraction->mutex);
    // Kept only while someone waits: it holds callbacks that hold this.
    if (!extraction->abandoned && !extraction->done) extraction->extractor = std::move(extractor);
  });

  waitFor(env_.clock(), deadline, [&extraction] { return extraction->done.load(); });

  std::shared_ptr<LBYouTubeVideoExtractor> unfinished;
  std::optional<std::string> streamURL;
  {
    std::lock_guard guard(extraction->mutex);
    extraction->abandoned = true;
    extraction->waiter = nullptr;
    streamURL = extraction->streamURL;
    unfinished = std::move(extraction->extractor);
  }
  if (unfinished && !extraction->done) unfinished->cancel();
  // A page that fails keeps the URL the source had (a stream from the play
  // history may still work).
  if (streamURL) {
    std::lock_guard guard(mutex_);
    previewDataSource_.previewUrl = *streamURL;
  }
}

// An item's sources

MRLocatePreviewDataOperation::MRLocatePreviewDataOperation(const Env& env, MRPreviewSites sites,
                                                           std::vector<MRPreviewDataSource> subject)
    : env_(env),
      sites_(std::move(sites)),
      subject_(std::move(subject)),
      resolvers_(std::make_shared<OperationQueue>("MRLocatePreviewDataOperation", 4)) {}

std::vector<MRPreviewDataSource> MRLocatePreviewDataOperation::subjectPreviewDataSourceSet() const {
  std::lock_guard guard(mutex_);
  return subject_;
}

void MRLocatePreviewDataOperation::setBeginningBlock(
    std::function<void(MRLocatePreviewDataOperation&)> block) {
  std::lock_guard guard(mutex_);
  beginning_ = std::move(block);
}

void MRLocatePreviewDataOperation::setOnCompletion(
    std::function<void(MRLocatePreviewDataOperation&)> block) {
  std::lock_guard guard(mutex_);
  onCompletion_ = std::move(block);
}

void MRLocatePreviewDataOperation::cancel() {
  Operation::cancel();
  resolvers_->cancelAllOperations();
}

void MRLocatePreviewDataOperation::main() {
  ThreadName name(className());
  std::function<void(MRLocatePreviewDataOperation&)> beginning;
  std::vector<MRPreviewDataSource> sources;
  {
    std::lock_guard guard(mutex_);
    beginning = beginning_;
    sources = subject_;
  }
  if (beginning) beginning(*this);

  // A cached file plays without the network.
  const bool cached = std::any_of(sources.begin(), sources.end(), [](const auto& source) {
    return source.sourceID == MRPreviewSourceIDLocalCache;
  });
  if (!cached && !sources.empty()) {
    std::vector<std::shared_ptr<MRLocatePreviewDataOperationForOneSource>> resolvers;
    for (auto& source : sources) {
      resolvers.push_back(
          std::make_shared<MRLocatePreviewDataOperationForOneSource>(env_, sites_, source));
      resolvers_->addOperation(resolvers.back());
    }
    // cancel() sets the flag before it empties the queue: whichever came
    // second reaches the resolvers.
    if (isCancelled()) resolvers_->cancelAllOperations();
    resolvers_->waitUntilAllOperationsAreFinished();
    std::lock_guard guard(mutex_);
    for (size_t i = 0; i < resolvers.size() && i < subject_.size(); ++i)
      subject_[i] = resolvers[i]->previewDataSource();
  }

  std::function<void(MRLocatePreviewDataOperation&)> completion;
  {
    std::lock_guard guard(mutex_);
    completion = onCompletion_;
  }
  if (completion) completion(*this);
}

}  // namespace mr
