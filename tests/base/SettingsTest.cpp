#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/AppConfig.h"
#include "base/FileUtil.h"
#include "base/MRUserDefaults.h"
#include "base/Paths.h"
#include "base/Settings.h"
#include "base/SystemLocale.h"
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

TEST(SettingsTest, ACorruptFileIsKeptAsideAndTheProgramStartsEmpty) {
  test::TempDir dir;
  const std::string path = dir.file("settings.json");
  test::writeFile(path, "{\"half\": ");
  Settings settings(path);
  EXPECT_FALSE(settings.hasKey("half"));
  EXPECT_TRUE(fileExists(path + ".corrupt"));
  EXPECT_EQ(*readFileToString(path + ".corrupt"), "{\"half\": ");
  ASSERT_TRUE(settings.setBool("fresh", true).ok());
  EXPECT_TRUE(Settings(path).boolForKey("fresh"));
}

TEST(SettingsTest, AFailedWriteKeepsTheValueAndReportsIt) {
  test::TempDir dir;
  test::writeFile(dir.file("blocker"), "a file where a folder should be");
  Settings settings(dir.file("blocker/settings.json"));
  const Status status = settings.setBool("kept", true);
  EXPECT_FALSE(status.ok());
  EXPECT_TRUE(settings.boolForKey("kept"));
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
  defaults.setShareOnTwitter(false);
  EXPECT_FALSE(defaults.shareOnTwitter());
  EXPECT_TRUE(defaults.shareOnFacebook());
  defaults.setITunesMusicLibraryFilePath(std::string("/music/lib.xml"));
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(), "/music/lib.xml");
  defaults.setITunesMusicLibraryFilePath(std::nullopt);
  EXPECT_EQ(defaults.iTunesMusicLibraryFilePath(), defaults.defaultITunesMusicLibraryFilePath());
  defaults.setMusicLibrarySourceType(7);
  EXPECT_EQ(defaults.musicLibrarySourceType(), 1);
  ASSERT_TRUE(defaults.setUserTrackItemHashTable(Dictionary{{"abc", Value(1)}}).ok());
  EXPECT_EQ(defaults.userTrackItemHashTable().size(), 1u);
  ASSERT_TRUE(defaults.setUserTrackItemHashTable(std::nullopt).ok());
  EXPECT_TRUE(defaults.userTrackItemHashTable().empty());
  defaults.setItemHashesOfLastTodaysArtistsShown({"h1", "h2"});
  EXPECT_EQ(*defaults.itemHashesOfLastTodaysArtistsShown(), (std::vector<std::string>{"h1", "h2"}));
  defaults.setLastTodaysArtistsShownDate(Date{86400});
  EXPECT_EQ(defaults.lastTodaysArtistsShownDate(), Date{86400});
  defaults.setNumberOfUserSongs(250);
  EXPECT_EQ(defaults.numberOfUserSongs(), 250);
  EXPECT_EQ(settings.integerForKey(MRUserDefaults::kNumOfUserSongs), 250);
}

TEST(MRInstructionSwitchTest, Bits) {
  Settings settings;
  MRInstructionSwitch switches(settings);
  EXPECT_TRUE(switches.allSwitchIsOn());
  EXPECT_TRUE(switches.caching());
  switches.setCaching(false);
  EXPECT_EQ(switches.readUserDefault(), 0x8000);
  EXPECT_FALSE(switches.caching());
  EXPECT_TRUE(switches.musicProfile());
  switches.setPlaybackControl(true);  // already on: stays on, word unchanged
  EXPECT_EQ(switches.readUserDefault(), 0x8000);
  switches.setCaching(true);
  EXPECT_EQ(switches.readUserDefault(), 0);

  switches.turnOffAllSwitches();
  EXPECT_EQ(switches.readUserDefault(), 4294967295LL);
  EXPECT_FALSE(switches.allSwitchIsOn());
  EXPECT_FALSE(switches.welcomeMessage());
  switches.resetAllSwitches();
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
