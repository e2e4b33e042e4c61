#include <gtest/gtest.h>

#include "base/Localization.h"
#include "social/MRFavoriteTrackCaching.h"
#include "support/TestEnv.h"

namespace mr {
namespace {

// Stands for the caching job: found by its favorite's hash, with the texts of
// its own steps.
class CachingJob final : public MRRetryableNetworkOperation, public MRFavoriteTrackCaching {
 public:
  CachingJob(const Env& env, std::string hash)
      : MRRetryableNetworkOperation(env), hash_(std::move(hash)) {}
  std::string subjectFavoriteTrackItemHash() const override { return hash_; }
  std::string_view statusTextKey() const override {
    return favoriteTrackCachingStatusTextKey(status());
  }
  std::shared_ptr<MRRetryableNetworkOperation> duplicate() const override {
    return std::make_shared<CachingJob>(env(), hash_);
  }

 private:
  std::string hash_;
};

struct Recorder final : MRServiceOperationDelegate {
  std::vector<std::string> calls;
  void serviceOperationDidGetProgress(MRServiceOperation&, MRServiceOperationStatus status,
                                      float) override {
    calls.push_back("progress " + std::to_string(status));
  }
  void serviceOperationDidComplete(MRServiceOperation&, MRServiceOperationStatus status) override {
    calls.push_back("complete " + std::to_string(status));
  }
};

struct CachingFixture : ::testing::Test {
  test::TestEnv testEnv;
  std::shared_ptr<MRServiceOperationQueue> queue = MRServiceOperationQueue::create(testEnv.env());

  CachingFixture() { queue->setMaxConcurrentOperationCount(0); }
  ~CachingFixture() override { queue->cancelAllOperations(); }
};

TEST_F(CachingFixture, JobsAreAddedEveryTimeAndFoundByItemHash) {
  std::vector<std::string> listed;
  queue->setStatusListRegistrar([&](std::shared_ptr<MRServiceOperation> op) {
    listed.push_back(std::dynamic_pointer_cast<CachingJob>(op)->subjectFavoriteTrackItemHash());
  });
  const Env& env = testEnv.env();
  MRFavoriteTrackCacheJobs jobs(
      queue, [&env](const std::string& hash) { return std::make_shared<CachingJob>(env, hash); });
  queue->addOperation(std::make_shared<MRServiceOperation>(env));  // not a caching job
  auto a = jobs.addCacheFavoriteTrackOperationWithItemHash("aa");
  auto b = jobs.addCacheFavoriteTrackOperationWithItemHash("bb");
  auto again = jobs.addCacheFavoriteTrackOperationWithItemHash("aa");
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, a);
  EXPECT_EQ(queue->operationCount(), 4u);
  EXPECT_EQ(jobs.cacheOperationForItemHash("bb"), b);
  EXPECT_EQ(cacheOperationForItemHash(*queue, "aa"), a);  // the first of the two
  EXPECT_EQ(jobs.cacheOperationForItemHash("cc"), nullptr);
  EXPECT_EQ(listed, (std::vector<std::string>{"aa", "bb", "aa"}));
}

TEST_F(CachingFixture, NoJobMadeMeansNothingAdded) {
  MRFavoriteTrackCacheJobs jobs(queue, [](const std::string&) { return nullptr; });
  EXPECT_EQ(jobs.addCacheFavoriteTrackOperationWithItemHash("aa"), nullptr);
  MRFavoriteTrackCacheJobs none(queue, nullptr);
  EXPECT_EQ(none.addCacheFavoriteTrackOperationWithItemHash("aa"), nullptr);
  EXPECT_EQ(queue->operationCount(), 0u);
}

TEST_F(CachingFixture, EachStepCountsAsFinishingForTheDelegate) {
  auto job = std::make_shared<CachingJob>(testEnv.env(), "aa");
  auto recorder = std::make_shared<Recorder>();
  job->setDelegate(recorder);
  job->setStatus(kMRCacheFavoriteTrackOperationStatusDownloading);
  testEnv.dispatcher().pump();
  EXPECT_EQ(recorder->calls, (std::vector<std::string>{"progress 103", "complete 103"}));
}

TEST_F(CachingFixture, StatusTextsOfTheSteps) {
  auto job = std::make_shared<CachingJob>(testEnv.env(), "aa");
  EXPECT_EQ(job->statusTextKey(), "kMRServiceOperationStatusWaiting");
  job->setStatus(kMRCacheFavoriteTrackOperationStatusExtracting);
  EXPECT_EQ(job->statusTextKey(), "kMRCacheFavoriteTrackOperationStatusExtracting");
  EXPECT_STREQ(favoriteTrackCachingStatusTextKey(kMRCacheFavoriteTrackOperationStatusWaiting),
               "kMRCacheFavoriteTrackOperationStatusWaiting");
  EXPECT_STREQ(favoriteTrackCachingStatusTextKey(kMRServiceOperationStatusFailed), "");
  EXPECT_STREQ(favoriteTrackCachingStatusTextKey(106), "");

  registerFavoriteTrackCachingTexts();
  EXPECT_EQ(localizedString("kMRCacheFavoriteTrackOperationStatusWaiting"), "Waiting to cache");
  EXPECT_EQ(localizedString("kMRCacheFavoriteTrackOperationStatusExtracting"), "Extracting audio");
}

}  // namespace
}  // namespace mr
