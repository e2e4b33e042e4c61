// A small world of music for the mix tests: Last.fm, the iTunes Store and
// the video site on one loopback stand-in, answering from tables the tests
// fill. An answer can be held until the test releases it, so the tests
// decide in which order tracks become playable.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/MRNetworkOperationQueue.h"
#include "base/MRPlaylistBuildOperation.h"
#include "base/MRServiceOperationQueue.h"
#include "external/StandInServer.h"
#include "model/MRPlaylist.h"
#include "playback/MRMixParts.h"
#include "support/TestEnv.h"

namespace mr::test {

struct WorldTrack {
  std::string title;
  std::string artist;
  bool store = true;        // the iTunes Store sells it with a preview
  bool video = false;       // it has a music video whose stream can be read
  bool lastfmImage = true;  // Last.fm lists images for it
};

// Records what a mix tells its screen, and on which thread.
class RecordingViewDelegate final : public MRPlaylistViewDelegate {
 public:
  explicit RecordingViewDelegate(ManualDispatcher& main) : main_(main) {}
  void playlistHasNewTrack(MRPlaylist& playlist, const std::shared_ptr<MRPlaylistTrackItem>& item,
                           size_t index) override;

  struct Call {
    std::shared_ptr<MRPlaylistTrackItem> item;
    size_t index = 0;
    size_t countBefore = 0;  // the list's length before the item went in
  };
  std::vector<Call> calls() const;
  bool allOnMainThread() const { return allOnMain_; }

 private:
  ManualDispatcher& main_;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  bool allOnMain_ = true;
};

// The titles of a mix's items, in order.
std::vector<std::string> titlesOf(const MRPlaylist& playlist);

class MixWorld {
 public:
  MixWorld();
  ~MixWorld();

  // ---- The world's tables; fill them before the mixes run.
  void setTopTracks(const std::string& artist, const std::vector<WorldTrack>& tracks);
  void setSimilar(const std::string& title, const std::string& artist,
                  const std::vector<WorldTrack>& tracks);
  // What /lookup answers for a collection id: its "results".
  void setLookup(uint64_t collectionId, std::string resultsJson);
  // A track that only the video site knows (a history record's video).
  void addVideo(const WorldTrack& track) { setTrack(track); }
  // Its watch page no longer holds a stream.
  void breakWatchPage(const std::string& title);

  // Holds the answers about a track (its store search and its watch page)
  // until released.
  void hold(const std::string& title);
  void release(const std::string& title);
  void releaseAll();

  // The watch-page address of a track's video, and the stream read there.
  std::string watchUrl(const std::string& title) const;
  static std::string streamUrl(const std::string& title);

  int requestsFor(const std::string& what) const;  // "track.getSimilar", "/lookup", ...
  std::vector<RecordedRequest> requests() const { return server_.requests(); }

  TestEnv testEnv;
  std::shared_ptr<Database> store;
  std::shared_ptr<MRNetworkOperationQueue> network;
  std::shared_ptr<MRServiceOperationQueue> serviceQueue;
  MRMixParts parts;

  // Starts the mix on the service queue and pumps the main loop until it
  // has finished.
  bool run(const std::shared_ptr<MRPlaylistBuildOperation>& mix);

 private:
  void setTrack(const WorldTrack& track);
  void answer(const httplib::Request& request, httplib::Response& response);
  void waitAtGate(const std::string& title);

  mutable std::mutex mutex_;
  std::map<std::string, WorldTrack> tracks_;                   // by title
  std::map<std::string, std::vector<std::string>> topTracks_;  // artist -> titles
  std::map<std::string, std::vector<std::string>> similar_;    // "title|artist" -> titles
  std::map<uint64_t, std::string> lookups_;
  std::set<std::string> held_;
  std::set<std::string> brokenPages_;
  std::condition_variable gate_;
  StandInServer server_;
  std::shared_ptr<HttpEngine> engine_;
};

}  // namespace mr::test
