// A small world of music for the recommendation tests: Last.fm, the iTunes
// Store and the video site on one loopback stand-in, answering from a few
// tables the tests fill, and a store in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/MRNetworkOperationQueue.h"
#include "external/StandInServer.h"
#include "recommend/MRRecommendParts.h"
#include "model/CDUtility.h"
#include "support/TestEnv.h"

namespace mr::test {

struct Candidate {
  std::string title;
  std::string artist;
  bool lastfmImage = true;
};

class RecommendWorld {
 public:
  RecommendWorld();
  ~RecommendWorld();

  // ---- The world's tables; fill them before the operations run.
  // Artists Last.fm knows, by any spelling that folds to the same hash,
  // with their tags. The key is the canonical name.
  void addArtist(const std::string& name, std::vector<std::string> tags,
                 const std::vector<std::string>& misspellings = {});
  // What track.getSimilar answers for a seed.
  void setSimilar(const std::string& title, const std::string& artist,
                  std::vector<Candidate> candidates);
  std::set<std::string> withoutPreview;  // titles the iTunes Store does not have
  std::set<std::string> withVideo;       // titles with a music video
  std::set<std::string> storeDown;       // titles the iTunes Store answers 503 for
  std::set<std::string> garbled;         // seeds whose similar tracks come as a proxy's page
  int outageRequests = 0;  // this many track.getSimilar requests answer 503 first
  // While held, track.getSimilar answers wait: the seeds asking stay at work.
  void holdSimilarAnswers(bool hold);

  // ---- Requests seen.
  int requestsFor(const std::string& what) const;  // "artist.getInfo", "/search", ...
  std::vector<std::string> searchedTerms() const;

  TestEnv testEnv;
  std::shared_ptr<Database> store;
  std::shared_ptr<MRNetworkOperationQueue> network;
  MRRecommendParts parts;

  // Runs the operation on a queue of its own, pumping the main loop until
  // it has finished.
  bool run(const std::shared_ptr<Operation>& operation);

 private:
  void answer(const httplib::Request& request, httplib::Response& response);

  mutable std::mutex mutex_;
  std::condition_variable similarReleased_;
  bool holdingSimilar_ = false;
  std::map<std::string, std::pair<std::string, std::vector<std::string>>>
      artists_;                                            // hash -> name, tags
  std::map<std::string, std::vector<Candidate>> similar_;  // item hash -> answer
  StandInServer server_;
  std::shared_ptr<HttpEngine> engine_;
  std::shared_ptr<OperationQueue> queue_;
};

}  // namespace mr::test
