#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <limits>

#include "base/Json.h"
#include "library/MRMusicLibrary.h"
#include "library/MRUploadUserTracksOperation.h"
#include "model/CDUtility.h"
#include "support/LibraryFile.h"
#include "support/TempDir.h"

namespace mr {
namespace {

struct ReaderFixture : ::testing::Test {
  test::TempDir dir;
  std::string path = dir.file("iTunes Music Library.xml");

  MRITunesMusicLibrary load(const std::vector<test::LibraryTrack>& tracks) {
    test::writeLibrary(path, tracks);
    auto library = MRITunesMusicLibrary::initWithContentsOfFile(path);
    EXPECT_TRUE(library.ok()) << (library.ok() ? "" : library.error().toString());
    return library.ok() ? std::move(*library) : MRITunesMusicLibrary();
  }
};

TEST_F(ReaderFixture, TracksHeaderAndArtists) {
  const auto library =
      load({{"One", "A"}, {"Two", "B"}, {"Three", "A"}, {"Four", std::nullopt}, {"Five", ""}});
  EXPECT_EQ(library.majorVersion(), 1u);
  EXPECT_EQ(library.applicationVersion(), "12.9.5.5");
  EXPECT_EQ(library.date(), parseISO8601("2026-11-30T10:00:00Z"));
  ASSERT_EQ(library.allTracks().size(), 5u);
  EXPECT_EQ(library.allTracks()[0].trackTitle(), "One");
  EXPECT_EQ(library.allTracks()[0].trackId(), 1000u);
  EXPECT_EQ(library.trackForId("1002")->trackTitle(), "Two");
  EXPECT_EQ(library.trackForId("9"), nullptr);
  auto artists = library.allArtists();
  std::sort(artists.begin(), artists.end());
  EXPECT_EQ(artists,
            (std::vector<std::string>{"", "A", "B"}));  // "" is a name, a missing artist is not
  EXPECT_EQ(library.playlistCount(), 1u);
  EXPECT_EQ(library.playlistAtIndex(0)->name(), "Library");
  EXPECT_TRUE(library.playlistAtIndex(0)->master());
}

TEST_F(ReaderFixture, MetaDataHasItsTwentyThreeEntriesOfTheRightKinds) {
  test::LibraryTrack withDate{"Song", std::nullopt, "Album", 7};
  test::LibraryTrack withoutDate{"Other", "X"};
  withoutDate.dateAdded = std::nullopt;
  const auto library = load({withDate, withoutDate});
  const Value first = library.allTracks()[0].metaData();
  EXPECT_EQ(first.size(), 23u);
  EXPECT_EQ(*first.get("artist")->asString(), "");
  EXPECT_EQ(*first.get("playCount")->asInteger(), 7);
  EXPECT_EQ(*first.get("skipCount")->asInteger(), 0);
  ASSERT_TRUE(first.get("dateAdded")->isReal());
  EXPECT_DOUBLE_EQ(*first.get("dateAdded")->asReal(),
                   parseISO8601("2020-01-02T03:04:05Z")->secondsSince1970);
  const Value second = library.allTracks()[1].metaData();
  ASSERT_TRUE(second.get("dateAdded")->isInteger());  // absent: the integer 0
  EXPECT_EQ(*second.get("dateAdded")->asInteger(), 0);
  EXPECT_EQ(*second.get("skipDate")->asInteger(), 0);

  const auto line = parseJson(MRUploadUserTracksOperation::uploadLine(library.allTracks()[0]));
  ASSERT_TRUE(line.ok());
  EXPECT_EQ(line->size(), 5u);
  EXPECT_EQ(line->stringForKey("artistName", "?"), "");
  EXPECT_EQ(line->intForKey("playCount", -1), 7);
  EXPECT_EQ(line->get("iTunes")->size(), 23u);
  EXPECT_EQ(MRUploadUserTracksOperation::uploadLine(library.allTracks()[0]).back(), '\n');
}

TEST_F(ReaderFixture, AnUploadLineIsTheTracksFactsAsCompactJson) {
  // What the line stands for, written the general way.
  const auto reference = [](const MRITunesMusicLibraryTrack& track) {
    Dictionary line;
    line.set("artistName", Value(track.artistName().value_or("")));
    line.set("trackTitle", Value(track.trackTitle().value_or("")));
    line.set("albumTitle", Value(track.albumTitle().value_or("")));
    line.set("playCount", Value(track.playCount()));
    line.set("iTunes", track.metaData());
    return toJson(Value(std::move(line))) + "\n";
  };
  Dictionary odd{{"Track ID", Value(7)},
                 {"Name", Value("quote \" backslash \\ tab \t nul-ish \x01 é 日本")},
                 {"Artist", Value(std::string("bad \xff utf-8"))},
                 {"Album", Value("line\nfeed")},
                 {"Play Count", Value(-3)},  // read as a huge unsigned number
                 {"Size", Value(std::numeric_limits<int64_t>::max())},
                 {"Date Added", Value(Date{1234567890.25})},
                 {"Date Modified", Value(Date{1577934245})},
                 {"Skip Date", Value("2020-01-02T03:04:05Z")},
                 {"Genre", Value(true)}};  // of the wrong kind: none
  Dictionary tracks{{"7", Value(odd)}, {"8", Value(Dictionary{})}};
  auto library = MRITunesMusicLibrary::initWithDictionary(
      Value(Dictionary{{"Tracks", Value(std::move(tracks))}}));
  ASSERT_TRUE(library.ok());
  test::writeLibrary(path, test::generatedTracks(5));
  auto generated = MRITunesMusicLibrary::initWithContentsOfFile(path);
  ASSERT_TRUE(generated.ok());
  std::vector<MRITunesMusicLibraryTrack> all = library->allTracks();
  all.insert(all.end(), generated->allTracks().begin(), generated->allTracks().end());
  for (const auto& track : all) {
    const std::string line = MRUploadUserTracksOperation::uploadLine(track);
    EXPECT_EQ(line, reference(track));
    EXPECT_TRUE(parseJson(line).ok()) << line;
  }
}

TEST_F(ReaderFixture, TheTableKnowsATrackByTitleAndArtistOnly) {
  const auto library = load(
      {{"Same", "Band", "First Album"}, {"Same", "Band", "Second Album"}, {"Lone", std::nullopt}});
  MRMutableUserTrackItemHashTable table;
  for (const auto& track : library.allTracks())
    table.setTrack(track);
  EXPECT_EQ(table.size(), 2u);
  EXPECT_TRUE(table.userHasTrackWithTitle("SAME", "band"));
  EXPECT_TRUE(table.userHasTrackWithTitle("Lone", std::nullopt));
  EXPECT_TRUE(table.userHasTrackWithTitle("Lone", ""));

  Settings settings;
  MRUserDefaults defaults(settings, "/home/listener");
  EXPECT_EQ(MRUserTrackItemHashTable::initWithUserDefaults(defaults).size(), 0u);
  ASSERT_TRUE(table.save(defaults).ok());
  const auto stored = MRUserTrackItemHashTable::initWithUserDefaults(defaults);
  EXPECT_EQ(stored.size(), 2u);
  EXPECT_TRUE(stored.userHasTrack(library.allTracks()[1]));
  EXPECT_EQ(*defaults.userTrackItemHashTable().find(CDUtility::itemHashWithTitle("same", "band")),
            Value(1));
}

TEST_F(ReaderFixture, FilesThatAreNotALibraryAreRefusedClearly) {
  const std::string full = test::libraryXml(test::generatedTracks(20));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {full.substr(0, full.size() / 2), "unterminated"},
      {"this is not XML at all", "not a property list"},
      {"<?xml version=\"1.0\"?><plist><array><dict/></array></plist>", "root is not a dictionary"},
      {"<?xml version=\"1.0\"?><!DOCTYPE plist [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
       "<plist><dict><key>Tracks</key><string>&x;</string></dict></plist>",
       "entity declarations are not allowed"},
  };
  for (const auto& [text, expected] : cases) {
    test::writeFile(path, text);
    auto library = MRMusicLibrary::iTunesMusicLibrary(path);
    ASSERT_FALSE(library.ok()) << expected;
    EXPECT_EQ(library.error().code(), kMRErrorMusicLibraryLoad);
    EXPECT_EQ(library.error().description(), "Failed to load music library.");
    EXPECT_NE(library.error().failureReason().find(expected), std::string::npos)
        << library.error().failureReason();
  }
  auto missing = MRMusicLibrary::iTunesMusicLibrary(dir.file("nowhere.xml"));
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.error().failureReason().find("nowhere.xml"), std::string::npos);
}

TEST_F(ReaderFixture, ALibraryCutShortWhileReadFailsToLoadWithTheReason) {
  const auto tracks = test::generatedTracks(9000);  // past the first progress report
  test::writeLibrary(path, tracks);
  const auto size = static_cast<off_t>(test::libraryXml(tracks).size());
  ASSERT_GT(size, off_t{5} << 20);
  bool cut = false;
  auto library = MRITunesMusicLibrary::initWithContentsOfFile(
      path, MRITunesMusicLibrary::Fields::All, [&](size_t, size_t) {
        if (!cut) {
          cut = true;
          ASSERT_EQ(::truncate(path.c_str(), size / 3), 0);
        }
      });
  ASSERT_TRUE(cut);
  ASSERT_FALSE(library.ok());
  EXPECT_NE(library.error().description().find("changed while it was read"), std::string::npos)
      << library.error().description();
}

TEST_F(ReaderFixture, AFifoOrAHugeNameFailsToLoadWithTheReason) {
  const std::string fifo = dir.file("fifo.xml");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto library = MRMusicLibrary::iTunesMusicLibrary(fifo);
  ASSERT_FALSE(library.ok());
  EXPECT_EQ(library.error().code(), kMRErrorMusicLibraryLoad);
  EXPECT_EQ(library.error().description(), "Failed to load music library.");
  EXPECT_NE(library.error().failureReason().find("not a regular file (a FIFO)"), std::string::npos)
      << library.error().failureReason();

  // A name of 3 MB on the third track.
  auto tracks = test::generatedTracks(5);
  tracks[2].name = std::string(3 << 20, 'n');
  test::writeLibrary(path, tracks);
  for (auto fields : {MRITunesMusicLibrary::Fields::All, MRITunesMusicLibrary::Fields::Identity}) {
    library = MRMusicLibrary::iTunesMusicLibrary(path, fields);
    ASSERT_FALSE(library.ok());
    EXPECT_EQ(library.error().description(), "Failed to load music library.");
    EXPECT_NE(
        library.error().failureReason().find("<string> of key \"Name\" longer than 1048576 bytes"),
        std::string::npos)
        << library.error().failureReason();
    EXPECT_NE(library.error().failureReason().find("line "), std::string::npos);
  }
}

TEST_F(ReaderFixture, TheLibraryInEffectFollowsTheSettings) {
  Settings settings;
  MRUserDefaults defaults(settings, dir.path());
  EXPECT_FALSE(
      MRMusicLibrary::defaultMusicLibrary(defaults).ok());  // ~/Music/iTunes/... is not there
  test::writeLibrary(path, test::generatedTracks(3));
  ASSERT_TRUE(defaults.setITunesMusicLibraryFilePath(path).ok());
  auto library = MRMusicLibrary::defaultMusicLibrary(defaults);
  ASSERT_TRUE(library.ok());
  EXPECT_EQ((*library)->sourceType(), MRMusicLibrary::kSourceTypeITunes);
  EXPECT_EQ((*library)->source().allTracks().size(), 3u);
}

}  // namespace
}  // namespace mr
