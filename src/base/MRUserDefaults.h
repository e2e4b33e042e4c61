// The application's own keys in the settings domain.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Settings.h"

namespace mr {

// Every setter writes at once and returns what the write came to.
class MRUserDefaults {
 public:
  MRUserDefaults(Settings& settings, std::string homeDirectory)
      : settings_(settings), home_(std::move(homeDirectory)) {}

  static constexpr const char* kUserAgreedTOU = "MRUserDefaultsKeyUserAgreedTOU";
  static constexpr const char* kLastTodaysArtistsShownDate = "MRLastTodaysArtistsShownDate";
  static constexpr const char* kItemHashesOfLastTodaysArtistsShown =
      "MRItemHashesOfLastTodaysArtistsShown";
  static constexpr const char* kShareOnFacebook = "MRUserDefaultsKeyShareOnFacebook";
  static constexpr const char* kShareOnTwitter = "MRUserDefaultsKeyShareOnTwitter";
  static constexpr const char* kAutoSharingOnFavorite = "MRUserDefaultsKeyAutoSharingOnFavorite";
  static constexpr const char* kNumOfUserSongs = "MRUserDefaultsKeyNumOfUserSongs";
  static constexpr const char* kMusicLibrarySourceType = "MRUserDefaultsKeyMusicLibrarySourceType";
  static constexpr const char* kITunesMusicLibraryFilePath =
      "MRUserDefaultsKeyITunesMusicLibraryFilePath";
  static constexpr const char* kUserTrackItemHashTable = "MRUserDefaultsKeyUserTrackItemHashTable";

  bool isUserAgreedTOU() const;
  Status setUserAgreedTOU(bool agreed);

  // The epoch when never set.
  Date lastTodaysArtistsShownDate() const;
  Status setLastTodaysArtistsShownDate(Date date);
  std::optional<std::vector<std::string>> itemHashesOfLastTodaysArtistsShown() const;
  Status setItemHashesOfLastTodaysArtistsShown(const std::vector<std::string>& itemHashes);

  // True until the listener has set them.
  bool shareOnFacebook() const;
  Status setShareOnFacebook(bool share);
  bool shareOnTwitter() const;
  Status setShareOnTwitter(bool share);
  bool autoSharingOnFavorite() const;
  Status setAutoSharingOnFavorite(bool share);

  int64_t numberOfUserSongs() const;
  // No result: the song check, its only writer, does not act on it.
  void setNumberOfUserSongs(int64_t count);

  // Always 1, the iTunes XML library; the stored value is read but not used.
  int64_t musicLibrarySourceType() const;
  Status setMusicLibrarySourceType(int64_t type);

  // "<home>/Music/iTunes/iTunes Music Library.xml" unless set; nothing
  // removes the key, bringing the default back.
  std::string iTunesMusicLibraryFilePath() const;
  Status setITunesMusicLibraryFilePath(const std::optional<std::string>& path);
  std::string defaultITunesMusicLibraryFilePath() const;

  // Empty unless set; nothing removes the key.
  Dictionary userTrackItemHashTable() const;
  Status setUserTrackItemHashTable(const std::optional<Dictionary>& table);

 private:
  bool boolDefaultingToTrue(const char* key) const;

  Settings& settings_;
  std::string home_;
};

// First-run instructions: one bit per instruction in an integer word; a
// switch is on (its instruction still to be shown) while its bit is clear.
class MRInstructionSwitch {
 public:
  static constexpr const char* kInstructionSwitches = "MRUserDefaultsKeyInstructionSwitches";

  enum Flag : uint32_t {
    kPlaylistViewCellRevealable = 0x2,
    kPlaylistViewCellDrawerButtons = 0x4,
    kWelcomeMessage = 0x8,
    kPlaybackControl = 0x10,
    kCaching = 0x8000,
    kSupportUs = 0x40000,
    kMusicProfile = 0x200000,
    kSpecialArtists = 0x1000000,
  };

  explicit MRInstructionSwitch(Settings& settings) : settings_(settings) {}

  int64_t readUserDefault() const;
  Status writeUserDefault(int64_t word);
  // on = false sets the flag's bit (switch off); on = true clears it.
  Status setSwitch(bool on, uint32_t flag);
  bool isOn(uint32_t flag) const;
  bool allSwitchIsOn() const;
  Status resetAllSwitches();
  Status turnOffAllSwitches();

  bool playlistViewCellRevealable() const { return isOn(kPlaylistViewCellRevealable); }
  Status setPlaylistViewCellRevealable(bool on) {
    return setSwitch(on, kPlaylistViewCellRevealable);
  }
  bool playlistViewCellDrawerButtons() const { return isOn(kPlaylistViewCellDrawerButtons); }
  Status setPlaylistViewCellDrawerButtons(bool on) {
    return setSwitch(on, kPlaylistViewCellDrawerButtons);
  }
  bool welcomeMessage() const { return isOn(kWelcomeMessage); }
  Status setWelcomeMessage(bool on) { return setSwitch(on, kWelcomeMessage); }
  bool playbackControl() const { return isOn(kPlaybackControl); }
  Status setPlaybackControl(bool on) { return setSwitch(on, kPlaybackControl); }
  bool caching() const { return isOn(kCaching); }
  Status setCaching(bool on) { return setSwitch(on, kCaching); }
  bool supportUs() const { return isOn(kSupportUs); }
  Status setSupportUs(bool on) { return setSwitch(on, kSupportUs); }
  bool musicProfile() const { return isOn(kMusicProfile); }
  Status setMusicProfile(bool on) { return setSwitch(on, kMusicProfile); }
  bool specialArtists() const { return isOn(kSpecialArtists); }
  Status setSpecialArtists(bool on) { return setSwitch(on, kSpecialArtists); }

 private:
  Settings& settings_;
};

}  // namespace mr
