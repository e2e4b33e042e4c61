#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "base/AppConfig.h"
#include "base/FileUtil.h"
#include "base/MRUserDefaults.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/SystemLocale.h"
#include "support/FileFaults.h"
#include "support/TempDir.h"

namespace mr {
namespace {

EnvironmentLookup environment(std::map<std::string, std::string> values) {
  return [values](const std::string& name) -> std::optional<std::string> {
    auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

TEST(SettingsTest, ValuesOfEveryKindPersistInAPrivateFile) {
  test::TempDir dir;
  const std::string path = dir.file("config/mirelune/settings.json");
  {
    Settings settings(path);
    ASSERT_TRUE(settings.setBool("b", true).ok());
    ASSERT_TRUE(settings.setInteger("i", 42).ok());
    ASSERT_TRUE(settings.setObject("d", Value(Date{1234.25})).ok());
    ASSERT_TRUE(settings.setObject("raw", Value(Bytes{1, 2, 3})).ok());
    ASSERT_TRUE(settings.setObject("list", Value(Array{Value("a"), Value(1)})).ok());
    ASSERT_TRUE(settings.setObject("gone", Value("x")).ok());
    ASSERT_TRUE(settings.removeObjectForKey("gone").ok());
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  Settings reread(path);
  EXPECT_TRUE(reread.boolForKey("b"));
  EXPECT_EQ(reread.integerForKey("i"), 42);
  EXPECT_EQ(*reread.objectForKey("d")->asDate(), Date{1234.25});
  EXPECT_EQ(*reread.objectForKey("raw")->asData(), (Bytes{1, 2, 3}));
  EXPECT_EQ(reread.objectForKey("list")->size(), 2u);
  EXPECT_FALSE(reread.hasKey("gone"));
  EXPECT_FALSE(reread.objectForKey("missing").has_value());
  EXPECT_FALSE(reread.boolForKey("missing"));
  EXPECT_EQ(reread.integerForKey("missing"), 0);
}

std::vector<std::string> filesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(prefix)) found.push_back(entry.path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(SettingsTest, CorruptFilesAreEachKeptAsideAndTheProgramStartsEmpty) {
  test::TempDir dir;
  const std::string path = dir.file("settings.json");
  test::writeFile(path, "{\"half\": ");
  Settings first(path);
  EXPECT_FALSE(first.hasKey("half"));
  EXPECT_FALSE(fileExists(path));
  ASSERT_TRUE(first.setBool("fresh", true).ok());
  EXPECT_TRUE(Settings(path).boolForKey("fresh"));

  // A second bad file, in the same second: kept beside the first, not over it.
  test::writeFile(path, "[1, 2]");
  Settings second(path);
  EXPECT_FALSE(second.hasKey("fresh"));
  const auto kept = filesStartingWith(dir.path(), "settings.json.corrupt-");
  ASSERT_EQ(kept.size(), 2u);
  std::vector<std::string> contents{*readFileToString(kept[0]), *readFileToString(kept[1])};
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{"[1, 2]", "{\"half\": "}));

  // Spoilt while a process runs: its next write keeps the bad file too
  // rather than write over it.
  ASSERT_TRUE(second.setBool("a", true).ok());
  test::writeFile(path, "not json");
  EXPECT_FALSE(second.hasKey("a"));
  ASSERT_TRUE(second.setBool("b", true).ok());
  EXPECT_EQ(filesStartingWith(dir.path(), "settings.json.corrupt-").size(), 3u);
  Settings reread(path);
  EXPECT_TRUE(reread.boolForKey("b"));
  EXPECT_FALSE(reread.hasKey("a"));
}

TEST(SettingsTest, AFailedWriteChangesNothingAndIsReported) {
  test::TempDir dir;
  const std::string path = dir.file("config/settings.json");
  Settings settings(path);
  ASSERT_TRUE(settings.setObject("kept", Value("yes")).ok());
  const std::string before = *readFileToString(path);
  {
    test::FullDisk full;
    const Status set = settings.setBool("new", true);
    const Status removed = settings.removeObjectForKey("kept");
    const Status both = settings.update({{"kept", std::nullopt}, {"new", Value(1)}});
    EXPECT_FALSE(set.ok());
    EXPECT_FALSE(removed.ok());
    EXPECT_FALSE(both.ok());
    // Nothing to change is no write, and no failure.
    EXPECT_TRUE(settings.removeObjectForKey("never there").ok());
  }
  EXPECT_FALSE(settings.hasKey("new"));
  EXPECT_EQ(settings.objectForKey("kept"), Value("yes"));
  EXPECT_EQ(*readFileToString(path), before);
  EXPECT_EQ(filesStartingWith(dir.file("config"), "settings.json.tmp").size(), 0u);

  test::writeFile(dir.file("blocker"), "a file where a folder should be");
  Settings blocked(dir.file("blocker/settings.json"));
  EXPECT_FALSE(blocked.setBool("lost", true).ok());
  EXPECT_FALSE(blocked.hasKey("lost"));
}

TEST(SettingsTest, AnUnreadableFileStaysInPlaceAndIsNeverWrittenOver) {
  test::TempDir dir;
  const std::string path = dir.file("settings.json");
  {
    Settings earlier(path);
    ASSERT_TRUE(earlier.setObject("ovlo_ID", Value(12)).ok());
  }
  Settings running(path);
  ASSERT_EQ(running.integerForKey("ovlo_ID"), 12);

  test::makeUnreadable(path);
  Settings starting(path);
  EXPECT_FALSE(starting.hasKey("ovlo_ID"));
  EXPECT_FALSE(starting.synchronize().ok());
  EXPECT_FALSE(starting.setBool("x", true).ok());
  EXPECT_FALSE(starting.hasKey("x"));
  // A process that read it before keeps what it read, and cannot write.
  EXPECT_EQ(running.integerForKey("ovlo_ID"), 12);
  EXPECT_FALSE(running.synchronize().ok());
  EXPECT_FALSE(running.removeObjectForKey("ovlo_ID").ok());

  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));  // still the unreadable file, not moved or replaced
  EXPECT_TRUE(filesStartingWith(dir.path(), "settings.json.corrupt").empty());

  if (::geteuid() != 0) {
    // Permissions stop a user (not root, which reads through them).
    std::remove(path.c_str());
    test::writeFile(path, "{\"a\": 1}");
    ::chmod(path.c_str(), 0);
    Settings denied(path);
    EXPECT_FALSE(denied.setBool("b", true).ok());
    ::chmod(path.c_str(), 0600);
    EXPECT_EQ(*readFileToString(path), "{\"a\": 1}");
  }
}

// Two Settings on one file stand for two processes: each writes only its
// own keys over what the file holds at that moment.
TEST(SettingsTest, TwoProcessesKeepEachOthersWrites) {
  test::TempDir dir;
  const std::string path = dir.file("settings.json");
  Settings analyse(path);
  Settings logout(path);
  ASSERT_TRUE(
      analyse.update({{"ovlo_ID", Value(12)}, {"ovlo_access_token_private", Value("s")}}).ok());
  EXPECT_EQ(logout.integerForKey("ovlo_ID"), 12);  // reads see the other's write

  ASSERT_TRUE(logout.setObject("library", Value("/music/a.xml")).ok());
  ASSERT_TRUE(analyse.setInteger("songs", 3000).ok());
  ASSERT_TRUE(
      logout.update({{"ovlo_ID", Value(0)}, {"ovlo_access_token_private", std::nullopt}}).ok());
  // The long-running one writes after the log-out: the account stays out.
  ASSERT_TRUE(analyse.setObject("hashes", Value(Dictionary{{"h", Value(1)}})).ok());
  EXPECT_EQ(analyse.integerForKey("ovlo_ID"), 0);
  EXPECT_FALSE(analyse.hasKey("ovlo_access_token_private"));

  Settings reread(path);
  EXPECT_EQ(reread.integerForKey("ovlo_ID"), 0);
  EXPECT_FALSE(reread.hasKey("ovlo_access_token_private"));
  EXPECT_EQ(*reread.objectForKey("library"), Value("/music/a.xml"));
  EXPECT_EQ(reread.integerForKey("songs"), 3000);
  EXPECT_TRUE(reread.hasKey("hashes"));
  EXPECT_EQ(logout.integerForKey("songs"), 3000);
}

TEST(SettingsTest, WritersOnManyThreadsAndTwoProcessesLoseNothing) {
  test::TempDir dir;
  const std::string path = dir.file("settings.json");
  Settings one(path);
  Settings two(path);
  constexpr int kThreads = 4;
  constexpr int kWrites = 15;
  std::vector<std::thread> writers;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      Settings& settings = t % 2 == 0 ? one : two;
      for (int i = 0; i < kWrites; ++i) {
        if (!settings.setInteger("k" + std::to_string(t) + "-" + std::to_string(i), i).ok())
          ++failures;
        (void)settings.integerForKey("k0-0");
      }
    });
  }
  for (auto& writer : writers)
    writer.join();
  EXPECT_EQ(failures.load(), 0);
  Settings reread(path);
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kWrites; ++i) {
      EXPECT_EQ(reread.integerForKey("k" + std::to_string(t) + "-" + std::to_string(i)), i);
    }
  }
}

TEST(MRUserDefaultsTest, DefaultsWithNothingStored) {
  Settings settings;
  MRUserDefaults defaults(settings, "/home/listener");
  EXPECT_TRUE(defaults.shareOnFacebook());
  EXPECT_TRUE(defaults.shareOnTwitter());
  EXPECT_TRUE(defaults.autoSharingOnFavorite());
  EXPECT_FALSE(defaults.isUserAgreedTOU());
  EXPECT_EQ(defaults.numberOfUserSongs(), 0);
  EXPECT_TRUE(defaults.userTrackItemHashTable().empty());
  EXPECT_EQ(defaults.lastTodaysArtistsShownDate(), Date{0});
  EXPECT_FALSE(defaults.itemHashesOfLastTodaysArtistsShown().has_value());
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(),
            "/home/listener/Music/iTunes/iTunes Music Library.xml");
  EXPECT_EQ(defaults.musicLibrarySourceType(), 1);
}

TEST(MRUserDefaultsTest, StoredValuesAndRemovals) {
  Settings settings;
  MRUserDefaults defaults(settings, "/home/listener");
  ASSERT_TRUE(defaults.setShareOnTwitter(false).ok());
  EXPECT_FALSE(defaults.shareOnTwitter());
  EXPECT_TRUE(defaults.shareOnFacebook());
  ASSERT_TRUE(defaults.setITunesMusicLibraryFilePath(std::string("/music/lib.xml")).ok());
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(), "/music/lib.xml");
  ASSERT_TRUE(defaults.setITunesMusicLibraryFilePath(std::nullopt).ok());
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(), defaults.defaultITunesMusicLibraryFilePath());
  ASSERT_TRUE(defaults.setMusicLibrarySourceType(7).ok());
  EXPECT_EQ(defaults.musicLibrarySourceType(), 1);
  ASSERT_TRUE(defaults.setUserTrackItemHashTable(Dictionary{{"abc", Value(1)}}).ok());
  EXPECT_EQ(defaults.userTrackItemHashTable().size(), 1u);
  ASSERT_TRUE(defaults.setUserTrackItemHashTable(std::nullopt).ok());
  EXPECT_TRUE(defaults.userTrackItemHashTable().empty());
  ASSERT_TRUE(defaults.setItemHashesOfLastTodaysArtistsShown({"h1", "h2"}).ok());
  EXPECT_EQ(*defaults.itemHashesOfLastTodaysArtistsShown(), (std::vector<std::string>{"h1", "h2"}));
  ASSERT_TRUE(defaults.setLastTodaysArtistsShownDate(Date{86400}).ok());
  EXPECT_EQ(defaults.lastTodaysArtistsShownDate(), Date{86400});
  defaults.setNumberOfUserSongs(250);
  EXPECT_EQ(defaults.numberOfUserSongs(), 250);
  EXPECT_EQ(settings.integerForKey(MRUserDefaults::kNumOfUserSongs), 250);
}

TEST(MRUserDefaultsTest, SettersReportAFailedWrite) {
  test::TempDir dir;
  Settings settings(dir.file("settings.json"));
  MRUserDefaults defaults(settings, "/home/listener");
  MRInstructionSwitch switches(settings);
  ASSERT_TRUE(defaults.setITunesMusicLibraryFilePath(std::string("/music/old.xml")).ok());
  {
    test::FullDisk full;
    EXPECT_FALSE(defaults.setITunesMusicLibraryFilePath(std::string("/music/new.xml")).ok());
    EXPECT_FALSE(defaults.setITunesMusicLibraryFilePath(std::nullopt).ok());
    EXPECT_FALSE(defaults.setShareOnFacebook(false).ok());
    EXPECT_FALSE(switches.turnOffAllSwitches().ok());
  }
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(), "/music/old.xml");
  EXPECT_TRUE(defaults.shareOnFacebook());
  EXPECT_TRUE(switches.allSwitchIsOn());
}

TEST(MRInstructionSwitchTest, Bits) {
  Settings settings;
  MRInstructionSwitch switches(settings);
  EXPECT_TRUE(switches.allSwitchIsOn());
  EXPECT_TRUE(switches.caching());
  ASSERT_TRUE(switches.setCaching(false).ok());
  EXPECT_EQ(switches.readUserDefault(), 0x8000);
  EXPECT_FALSE(switches.caching());
  EXPECT_TRUE(switches.musicProfile());
  ASSERT_TRUE(switches.setPlaybackControl(true).ok());  // already on: stays on, word unchanged
  EXPECT_EQ(switches.readUserDefault(), 0x8000);
  ASSERT_TRUE(switches.setCaching(true).ok());
  EXPECT_EQ(switches.readUserDefault(), 0);

  ASSERT_TRUE(switches.turnOffAllSwitches().ok());
  EXPECT_EQ(switches.readUserDefault(), 4294967295LL);
  EXPECT_FALSE(switches.allSwitchIsOn());
  EXPECT_FALSE(switches.welcomeMessage());
  ASSERT_TRUE(switches.resetAllSwitches().ok());
  EXPECT_TRUE(switches.specialArtists());
  EXPECT_TRUE(switches.playlistViewCellRevealable());
}

TEST(AppConfigTest, DefaultsOverridesAndErrors) {
  test::TempDir dir;
  auto missing = AppConfig::load(dir.file("none.json"));
  ASSERT_TRUE(missing.ok());
  EXPECT_EQ(missing->lastfmBaseUrl, "https://ws.audioscrobbler.com");

  test::writeFile(dir.file("config.json"),
                  R"({"mireluneServiceBaseUrl": "http://127.0.0.1:8123", "lastfmApiKey": "k"})");
  auto loaded = AppConfig::load(dir.file("config.json"));
  ASSERT_TRUE(loaded.ok());
  EXPECT_EQ(loaded->mireluneServiceBaseUrl, "http://127.0.0.1:8123");
  EXPECT_EQ(loaded->lastfmApiKey, "k");
  EXPECT_EQ(loaded->ovloApiBaseUrl, "https://api.ovlo.net");
  EXPECT_EQ(loaded->toValue().stringForKey("lastfmApiKey", ""), "k");

  for (const char* bad : {"[1]", R"({"unknownKey": "x"})", R"({"caFile": 3})",
                          R"({"lastfmBaseUrl": "ftp://host"})", "{"}) {
    test::writeFile(dir.file("bad.json"), bad);
    auto result = AppConfig::load(dir.file("bad.json"));
    EXPECT_FALSE(result.ok()) << bad;
    if (!result.ok()) {
      EXPECT_NE(result.error().description().find("bad.json"), std::string::npos);
    }
  }

  Paths paths = Paths::under("/x");
  EXPECT_EQ(AppConfig::filePath(paths, environment({})), "/x/config/mirelune/config.json");
  EXPECT_EQ(AppConfig::filePath(paths, environment({{"MIRELUNE_CONFIG", "/other.json"}})),
            "/other.json");
}

TEST(PathsTest, XdgFoldersWithFallbacks) {
  const Paths plain = Paths::fromEnvironment(environment({{"HOME", "/home/l"}}));
  EXPECT_EQ(plain.configDir, "/home/l/.config/mirelune");
  EXPECT_EQ(plain.dataDir, "/home/l/.local/share/mirelune");
  EXPECT_EQ(plain.cacheDir, "/home/l/.cache/mirelune");
  const Paths redirected =
      Paths::fromEnvironment(environment({{"HOME", "/home/l"},
                                          {"XDG_CONFIG_HOME", "/c"},
                                          {"XDG_DATA_HOME", "relative/ignored"},
                                          {"XDG_CACHE_HOME", "/k"}}));
  EXPECT_EQ(redirected.settingsFile(), "/c/mirelune/settings.json");
  EXPECT_EQ(redirected.dataDir, "/home/l/.local/share/mirelune");
  EXPECT_EQ(redirected.cacheDir, "/k/mirelune");
}

}  // namespace
}  // namespace mr
