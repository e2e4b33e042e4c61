// Plays a mix in a terminal while it is built: the list as it grows, the
// track being located, the current track with its source, elapsed and total
// time, status and buffering. With keys (a terminal on standard input):
// space pauses and resumes, n forward, p backward, r rewind, q quits; the
// state stays on one line. Without: one line per event, for scripts, and the
// mix plays to its end. Ctrl-C stops cleanly either way.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Env.h"
#include "base/MRPlaylistBuildOperation.h"
#include "base/NotificationCenter.h"
#include "model/MRPlaylist.h"
#include "playback/MRPlaylistPlayer.h"

namespace mr::cli {

class TerminalPlayer final : public MRPlaylistPlayerDelegate,
                             public MRPlaylistViewDelegate,
                             public std::enable_shared_from_this<TerminalPlayer> {
 public:
  struct Options {
    bool keys = true;            // read keys and keep a status line
    std::FILE* out = stdout;     // events and the status line
    // Stop once this many tracks have started and the one before the last
    // has faded out (2: across one cross-fade); none plays the mix out.
    std::optional<int> tracks;
  };

  TerminalPlayer(const Env& env, std::shared_ptr<MRPlaylistPlayer> player,
                 std::shared_ptr<NotificationCenter> notifications, Options options);
  ~TerminalPlayer() override;

  // Starts `build` on `queue` and plays `mix` (the same object, as the mixes
  // are) as its tracks arrive, until the last one has played, the listener
  // quits or Ctrl-C. Returns the exit code: 0 when something played.
  int run(const std::shared_ptr<MRPlaylistBuildOperation>& build,
          const std::shared_ptr<MRPlaylist>& mix, MRServiceOperationQueue& queue);

  // MRPlaylistViewDelegate.
  void playlistHasNewTrack(MRPlaylist& playlist, const std::shared_ptr<MRPlaylistTrackItem>& item,
                           size_t index) override;
  // MRPlaylistPlayerDelegate.
  void playlistPlayerDidStartPlayingTrack(MRPlaylistPlayer& player,
                                          const std::shared_ptr<MRPlaylistTrackItem>& item,
                                          const std::shared_ptr<MRTrackPlayer>& trackPlayer) override;
  void playlistPlayerDidFailToInitializeTrackPlayer(MRPlaylistPlayer& player,
                                                    const std::shared_ptr<MRTrackPlayer>& trackPlayer,
                                                    const Error& error) override;

  // What a key does (space, n, p, r, q).
  void key(char pressed);

  // "ARTIST - TITLE", and a source's short name ("itunes", "video", "cache").
  static std::string describe(const MRPlaylistTrackItem& item);
  static const char* sourceName(int sourceID);
  // "1:05".
  static std::string clockTime(double seconds);

 private:
  void event(const std::string& line);
  void showStatusLine();
  void statusChanged(const Notification& notification);
  void bufferingChanged(const Notification& notification);
  void locatingChanged();
  void buildEnded();
  // Whether anything still plays (or fades out).
  bool isPlaying() const;
  void checkEnd();
  // With a track limit: whether it is reached, in which case it stops.
  bool checkTrackLimit();
  void quit(int code);
  void startKeyReader();
  void stopKeyReader();

  const Env& env_;
  const std::shared_ptr<MRPlaylistPlayer> player_;
  const std::shared_ptr<NotificationCenter> notifications_;
  const Options options_;

  // Main thread.
  std::shared_ptr<MRPlaylistBuildOperation> build_;
  std::shared_ptr<MRPlaylist> mix_;
  std::vector<NotificationCenter::Token> tokens_;
  std::optional<TimerId> ticker_;
  std::string lastLocating_;
  int lastBufferingQuarter_ = -1;
  bool buildDone_ = false;
  bool startedOnce_ = false;
  bool quitting_ = false;
  int tracksStarted_ = 0;
  int exitCode_ = 0;
  bool statusLineShown_ = false;

  std::atomic<bool> readingKeys_{false};
  std::thread keyReader_;
};

}  // namespace mr::cli
