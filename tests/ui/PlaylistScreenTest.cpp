// The playlist screen on the fake page: what it sends, what the page's
// requests do to the mix, the store, the player and the window, over a
// temporary store, the scripted media player and the sandbox.
#include "ui/MRPlaylistViewController.h"
#include "ui/MRInstructionWindowController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Json.h"
#include "base/Localization.h"
#include "base/NSHTTPQueryDictionary.h"
#include "model/CDUtility.h"
#include "model/LastfmArtist.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "playback/MRSimilarTrackMix.h"
#include "recommend/MRRecommendMix.h"
#include "social/MRCacheFavoriteTrackOperation.h"
#include "store/CDArtist.h"
#include "store/CDFavoriteTrack.h"
#include "store/CDRecommendTrack.h"
#include "store/CDTrackRecommendationQueueItem.h"
#include "support/FakeMediaPlayer.h"
#include "support/SandboxRecommendParts.h"
#include "support/SandboxSession.h"
#include "ui/FakePage.h"

namespace mr {
namespace {

// The page texts of the source tree, found upward from the test binary
// (it lives in the build folder inside the tree).
std::filesystem::path stringsFile(const std::string& language) {
  std::error_code error;
  auto dir = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
  for (; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path()) {
    auto candidate = dir / "web" / "strings" / language / "playlist.json";
    if (std::filesystem::exists(candidate, error)) return candidate;
  }
  return {};
}

std::map<std::string, std::string> loadStrings(const std::string& language) {
  std::ifstream in(stringsFile(language));
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<std::string, std::string> out;
  auto parsed = parseJson(text);
  if (!parsed.ok() || !parsed.value().isDictionary()) return out;
  for (const auto& key : parsed.value().asDictionary()->keys())
    out[key] = parsed.value().stringForKey(key, "");
  return out;
}

// A mix the test fills by hand.
class TestMix final : public MRPlaylist {
 public:
  void insert(std::shared_ptr<MRPlaylistTrackItem> item, size_t index) {
    insertTrack(std::move(item), index);
  }
  void add(std::shared_ptr<MRPlaylistTrackItem> item) { appendTrack(std::move(item)); }
};

struct FakeDetail final : MRTrackDetailShowing {
  void retrieveArtistInfoForTrackItem(std::shared_ptr<MRPlaylistTrackItem> item) override {
    items.push_back(std::move(item));
  }
  void setAutoloadOnPlay(bool on) override { autoload = on; }
  std::vector<std::shared_ptr<MRPlaylistTrackItem>> items;
  bool autoload = false;
};

struct FakeHost final : MRScreenHost {
  void navigateWithViewController(std::shared_ptr<MRScreen> screen, bool animated) override {
    pushed.push_back(std::move(screen));
    EXPECT_TRUE(animated);
  }
  std::shared_ptr<MRScreen> playlistScreenForPlaylist(
      std::shared_ptr<MRPlaylist> playlist) override {
    mixes.push_back(playlist);
    return std::make_shared<MRPlaylistViewController>(*context, *this, playlist);
  }
  void showAlert(MRAlert alert, std::function<void(int)> done) override {
    alerts.push_back(std::move(alert));
    dones.push_back(std::move(done));
  }
  void openInBrowser(const std::string& url) override { hostOpened.push_back(url); }
  MRTrackDetailShowing& trackDetail() override { return detail; }
  void showCommentForm(std::shared_ptr<MRPlaylistTrackItem> item) override {
    comments.push_back(std::move(item));
  }
  void showSimilarArtists(const std::string& artist) override { similar.push_back(artist); }
  MRInstructionWindowController& instructionWindow() override {
    if (!instructions) {
      instructions = std::make_unique<MRInstructionWindowController>(
          context->environment().settings(),
          [this](const std::string& kind) { tips.push_back(kind); });
    }
    return *instructions;
  }

  // Presses a button of the last alert.
  void press(int button) {
    ASSERT_FALSE(dones.empty());
    auto done = dones.back();
    done(button);
  }

  MRUiContext* context = nullptr;
  std::vector<std::shared_ptr<MRScreen>> pushed;
  std::vector<std::shared_ptr<MRPlaylist>> mixes;
  std::vector<MRAlert> alerts;
  std::vector<std::function<void(int)>> dones;
  std::vector<std::string> hostOpened;
  FakeDetail detail;
  std::vector<std::shared_ptr<MRPlaylistTrackItem>> comments;
  std::vector<std::string> similar;
  std::unique_ptr<MRInstructionWindowController> instructions;
  std::vector<std::string> tips;
};

struct PlaylistScreenTest : ::testing::Test {
  test::TestEnv testEnv;
  test::SandboxSession sandbox{testEnv};
  std::shared_ptr<Database> store =
      *Database::open(testEnv.dir().file("mirelune.sqlite"), Database::OpenMode::AsIs);
  std::shared_ptr<MRNetworkOperationQueue> network =
      MRNetworkOperationQueue::create(testEnv.reachability());
  std::shared_ptr<MRServiceOperationQueue> serviceQueue =
      MRServiceOperationQueue::create(testEnv.env());
  std::shared_ptr<test::FakeMediaPlayerFactory> media =
      std::make_shared<test::FakeMediaPlayerFactory>(testEnv.clock(), testEnv.dispatcher());
  std::shared_ptr<MRPlaylistPlayer> player = MRPlaylistPlayer::create(
      MRPlayerParts{&testEnv.env(), media, std::make_shared<NotificationCenter>(testEnv.dispatcher())});
  test::FakePage page;
  MRUiContext context;
  FakeHost host;
  std::vector<std::string> opened;

  PlaylistScreenTest() {
    registerLocalizedStrings(loadStrings("en"));
    context.env = &testEnv.env();
    context.store = store;
    context.mix.recommend = test::sandboxRecommendParts(testEnv, sandbox, store, network);
    context.mix.serviceQueue = serviceQueue;
    context.mix.mirelune = sandbox.mirelune();
    context.mix.favoriteCacheFolder = testEnv.dir().file("FavoriteTrack");
    context.favoriteCache.recommend = context.mix.recommend;
    context.favoriteCache.engine = sandbox.engine();
    context.favoriteCache.lock = std::make_shared<MRFavoriteCachingLock>();
    context.favoriteCache.favoriteCacheFolder = context.mix.favoriteCacheFolder;
    context.player = player;
    context.hub = &page.hub;
    context.openInBrowser = [this](const std::string& url) { opened.push_back(url); };
    host.context = &context;
  }
  // Whatever holds the sandbox's engine lets go before the sandbox stops.
  ~PlaylistScreenTest() override {
    player->stop();
    serviceQueue->cancelAllOperations();
    network->cancelAllOperations();
    testEnv.pumpUntil(
        [this] { return serviceQueue->operationCount() == 0 && network->operationCount() == 0; });
    testEnv.dispatcher().pump();
    host.pushed.clear();
    host.mixes.clear();
    context.mix = MRMixParts();
    context.favoriteCache = MRFavoriteCacheParts();
  }

  void pump() { testEnv.dispatcher().pump(); }
  std::string previewUrl(const std::string& title) {
    return sandbox.server().baseUrl() + "/nowhere/" + NSHTTPQueryDictionary::urlencode(title) +
           ".m4a";
  }
  // Files the sandbox does not have: a caching job ends at once.
  std::string artUrl(const std::string& title) {
    return sandbox.server().baseUrl() + "/nowhere/" + NSHTTPQueryDictionary::urlencode(title) +
           ".jpg";
  }
  std::shared_ptr<MRPlaylistTrackItem> item(const std::string& title,
                                            const std::string& artist = "Band") {
    auto made = std::make_shared<MRPlaylistTrackItem>();
    made->title = title;
    made->artist = artist;
    made->imageUrl = artUrl(title);
    MRPreviewDataSource source;
    source.sourceID = MRPreviewSourceIDITunes;
    source.previewUrl = previewUrl(title);
    made->previewDataSourceSet = {source};
    return made;
  }
  std::shared_ptr<TestMix> testMix(const std::vector<std::string>& titles) {
    auto mix = std::make_shared<TestMix>();
    for (const auto& title : titles)
      mix->add(item(title));
    return mix;
  }

  void storeArtist(const std::string& name) {
    CDArtistEntityController artists(store.get());
    if (artists.findWithArtistName(name)) return;
    LastfmArtist artist;
    artist.name = name;
    artist.tag = {"rock"};
    artists.insertNewObjectWithLastfmArtist(artist);
    ASSERT_TRUE(artists.save().ok());
  }
  // A recommendation with an iTunes preview, found from the seed given.
  void storeRecommendation(const std::string& title, const std::string& artistName,
                           const std::string& seedTitle = "Seed Song",
                           const std::string& seedArtist = "Seed Band") {
    storeArtist(artistName);
    auto shared = store->newContext();
    CDArtistEntityController artists(shared);
    CDRecommendTrackEntityController tracks(shared);
    CDPreviewDataSourceEntityController sources(shared);
    auto track = tracks.insertNewObject();
    track->setArtist(artists.findWithArtistName(artistName).get());
    track->setTitle(title);
    track->setImageUrl(artUrl(title));
    track->setPrimaryGenreName("Rock");
    track->setSourceTitle(seedTitle);
    track->setSourceArtist(seedArtist);
    track->setItemHash(CDRecommendTrackEntityController::calcItemHashWithTrack(*track));
    MRPreviewDataSource preview;
    preview.sourceID = MRPreviewSourceIDITunes;
    preview.previewUrl = previewUrl(title);
    auto stored = sources.insertNewObject();
    assignPreviewDataSourceToManagedObject(preview, *stored);
    stored->setRecommendTrack(track.get());
    ASSERT_TRUE(tracks.save().ok());
  }
  void storeFavorite(const MRPlaylistTrackItem& favorite) {
    CDFavoriteTrackEntityController favorites(store.get());
    ASSERT_TRUE(favorites.addWithPlaylistTrack(favorite, testEnv.clock().currentDate()).ok());
  }
  std::shared_ptr<MRRecommendMix> recommendMix() {
    auto mix = std::make_shared<MRRecommendMix>(
        context.mix.recommend, std::vector<std::shared_ptr<MRRecommendMixTrackItem>>{},
        std::nullopt);
    return mix;
  }
  bool run(const std::shared_ptr<MRPlaylistBuildOperation>& mix) {
    mix->loadTracks(*serviceQueue);
    const bool done = testEnv.pumpUntil([&mix] { return mix->isFinished(); });
    pump();
    return done;
  }

  std::shared_ptr<MRPlaylistViewController> open(std::shared_ptr<MRPlaylist> mix) {
    auto screen = std::make_shared<MRPlaylistViewController>(context, host, std::move(mix));
    page.load(screen->channel());
    return screen;
  }
  void request(const MRPlaylistViewController& screen, const std::string& url) {
    page.navigate(screen.channel(), "app://" + url);
    pump();
  }
  // The argument(s) of the last call to `call`, as a JSON array.
  Value lastCall(const MRPlaylistViewController& screen, const std::string& call) {
    const std::string script = page.last(screen.channel(), "app." + call + "(");
    if (script.empty()) return Value(nullptr);
    const size_t open = call.size() + 5;
    auto parsed = parseJson("[" + script.substr(open, script.size() - open - 1) + "]");
    EXPECT_TRUE(parsed.ok()) << script;
    return parsed.ok() ? parsed.value() : Value(nullptr);
  }
  int countCalls(const MRPlaylistViewController& screen, const std::string& call) {
    int count = 0;
    for (const auto& script : page.scripts(screen.channel()))
      count += script.rfind("app." + call + "(", 0) == 0 ? 1 : 0;
    return count;
  }
  static size_t rowOf(const MRPlaylist& mix, const std::string& title) {
    const auto tracks = mix.tracks();
    for (size_t i = 0; i < tracks.size(); ++i) {
      if (tracks[i]->title == title) return i;
    }
    ADD_FAILURE() << "no row " << title;
    return 0;
  }
  std::string openMenu(const MRPlaylistViewController& screen, size_t row) {
    request(screen, "menuDidOpen?index=" + std::to_string(row));
    return toJson(lastCall(screen, "revealMenu"));
  }
  void act(const MRPlaylistViewController& screen, size_t row, const std::string& action) {
    request(screen, "rowAction?index=" + std::to_string(row) + "&action=" + action);
  }
};

// ---------------------------------------------------------------- rows and texts

TEST_F(PlaylistScreenTest, TheMixIsSentWholeOnLoadAndFollowedWhileItBuilds) {
  storeRecommendation("Found Song", "Found Band", "Seed Song", "Seed Band");
  storeRecommendation("Second Song", "Found Band", "Other Seed", "Other Band");
  auto mix = recommendMix();
  auto screen = open(mix);
  EXPECT_EQ(screen->kind(), "playlist");
  EXPECT_EQ(screen->channel().rfind("playlist-", 0), 0u);
  EXPECT_EQ(screen->mixKind(), MRPlaylistViewController::MixKind::Recommend);
  ASSERT_TRUE(run(mix));
  // Each track as it came, and the progress row gone at the end.
  EXPECT_EQ(countCalls(*screen, "insertRow"), 2);
  // The listener's first row ever flashes its play indicator; no later one
  // (nor the whole list sent again below) does.
  std::vector<bool> flashed;
  for (const auto& script : page.scripts(screen->channel())) {
    if (script.rfind("app.insertRow(", 0) == 0)
      flashed.push_back(script.find(R"("flushPlayableIndicator":true)") != std::string::npos);
  }
  EXPECT_EQ(flashed, (std::vector<bool>{true, false}));
  EXPECT_GE(countCalls(*screen, "setProgress"), 1);
  EXPECT_EQ(page.last(screen->channel(), "app.setProgress("), "app.setProgress(null)");

  {
    MRPlaylistTrackItem favorite;
    favorite.title = "Second Song";
    favorite.artist = "Found Band";
    storeFavorite(favorite);
  }
  page.clear();
  page.load(screen->channel());
  const Value call = lastCall(*screen, "setPlaylist");
  ASSERT_TRUE(call.isArray());
  const Value& playlist = call.asArray()->at(0);
  EXPECT_EQ(playlist.stringForKey("title", ""), "Recommend Mix");
  EXPECT_EQ(playlist.stringForKey("kind", ""), "recommend");
  EXPECT_TRUE(playlist.get("playing")->isNull());
  EXPECT_EQ(playlist.stringForKey("playState", ""), "none");
  EXPECT_TRUE(playlist.get("progress")->isNull());
  const Value& rows = *playlist.get("rows");
  ASSERT_EQ(rows.asArray()->size(), 2u);
  const Value& found = rows.asArray()->at(rowOf(*mix, "Found Song"));
  EXPECT_EQ(toJson(found),
            toJson(Value(Dictionary{
                {"title", Value("Found Song")},
                {"artist", Value("Found Band")},
                {"artwork", Value(artUrl("Found Song"))},
                {"reason", Value("because you have Seed Song by Seed Band")},
                {"sources", Value(Array{Value(Dictionary{{"id", Value(10)},
                                                         {"label", Value("iTunes Store")}})})},
                {"favorite", Value(false)},
                {"cached", Value(false)},
            })));
  const Value& second = rows.asArray()->at(rowOf(*mix, "Second Song"));
  EXPECT_TRUE(second.boolForKey("favorite", false));
  EXPECT_EQ(second.stringForKey("reason", ""), "because you have Other Seed by Other Band");

  // Rows of other mixes carry no reason; a cached file shows as a source.
  auto cached = item("Kept");
  MRPreviewDataSource local;
  local.sourceID = MRPreviewSourceIDLocalCache;
  local.previewUrl = "file://localhost/tmp/x-audio.m4a";
  cached->previewDataSourceSet.push_back(local);
  const Value row = screen->rowForTrackItem(*cached, true);
  EXPECT_EQ(row.stringForKey("reason", "x"), "");
  EXPECT_TRUE(row.boolForKey("cached", false));
  EXPECT_EQ(row.get("sources")->asArray()->size(), 2u);
  EXPECT_EQ(row.get("sources")->asArray()->at(1).intForKey("id", 0), 255);
}

TEST(PlaylistTextsTest, BothLanguagesHaveEveryKeyAndArgumentsGoWhereTheyAreNamed) {
  const auto en = loadStrings("en");
  const auto ja = loadStrings("ja");
  ASSERT_FALSE(en.empty());
  for (const char* key :
       {"MRPlaylistViewController_Offline", "MRPlaylistViewController_Action_DontPlay",
        "MRPlaylistViewController_Unfavorite", "MRPlaylistViewController_Action_MoreArtist",
        "MRPlaylistViewController_Action_SimilarTracks",
        "MRPlaylistViewController_Action_RelatedArtists",
        "MRPlaylistViewController_DontPlayConfirmTitle", "MRPlaylistViewController_DontPlayConfirm",
        "MRPlaylistViewController_Reason", "MRPlaylistViewController_Locating",
        "MRPlaylistViewController_Loading", "Cancel", "OK"}) {
    EXPECT_FALSE(en.count(key) == 0 || en.at(key).empty()) << key;
    EXPECT_FALSE(ja.count(key) == 0 || ja.at(key).empty()) << key;
  }
  for (const auto& [key, text] : en)
    EXPECT_TRUE(ja.count(key)) << key;
  EXPECT_EQ(ja.size(), en.size());
  EXPECT_EQ(formatLocalized(ja.at("MRPlaylistViewController_Reason"), {"Song", "Band"}),
            "Band の「Song」を持っているため");
  EXPECT_EQ(formatLocalized("%@ / %@", {"T", "A"}), "T / A");
  EXPECT_EQ(formatLocalized("100% %@ %3$@", {"x"}), "100% x ");
}

// ---------------------------------------------------------------- playing

TEST_F(PlaylistScreenTest, TheRowPlayingIsNotRestartedAndPlayerNoticesMoveTheIndicator) {
  auto mix = testMix({"One", "Two", "Three"});
  auto screen = open(mix);
  request(*screen, "rowDidSelect?index=1");
  ASSERT_EQ(media->players().size(), 1u);
  EXPECT_EQ(player->playlist(), mix);
  EXPECT_EQ(player->delegate().get(), screen.get());
  EXPECT_EQ(screen->playingIndexPath(), 1u);
  EXPECT_EQ(toJson(lastCall(*screen, "setPlaying")).substr(0, 3), "[1,");

  request(*screen, "rowDidSelect?index=1");  // already playing
  EXPECT_EQ(media->players().size(), 1u);
  EXPECT_EQ(screen->playingIndexPath(), 1u);
  EXPECT_FALSE(screen->prepareToPlayTrackWithIndexPath(1));
  EXPECT_EQ(player->currentTrackPlayer()->trackItem(), mix->trackItemForIndex(1));

  request(*screen, "rowDidSelect?index=2");
  EXPECT_EQ(media->players().size(), 2u);
  EXPECT_EQ(screen->playingIndexPath(), 2u);
  // The status of the track playing redraws its row's button.
  testEnv.clock().advance(seconds(0.1));
  pump();
  EXPECT_EQ(toJson(lastCall(*screen, "setPlaying")), R"([2,"playing"])");
  // ... and the tip about the controls comes once.
  EXPECT_EQ(host.tips, std::vector<std::string>{"playbackControl"});

  // The player goes back on its own: the indicator follows.
  ASSERT_TRUE(player->backward());
  pump();
  EXPECT_EQ(screen->playingIndexPath(), 1u);
  EXPECT_EQ(toJson(lastCall(*screen, "setPlaying")).substr(0, 3), "[1,");
  page.clear();
  screen->scrollToPlayingRow();
  EXPECT_EQ(page.scripts(screen->channel()), std::vector<std::string>{"app.scrollToRow(1)"});
}

TEST_F(PlaylistScreenTest, ANewTrackAboveThePlayingRowMovesItDown) {
  auto mix = testMix({"One", "Two", "Three"});
  auto screen = open(mix);
  request(*screen, "rowDidSelect?index=1");
  openMenu(*screen, 2);
  mix->insert(item("New"), 0);
  EXPECT_EQ(screen->playingIndexPath(), 2u);
  EXPECT_EQ(screen->revealedIndexPath(), 3u);
  const Value inserted = lastCall(*screen, "insertRow");
  EXPECT_EQ(*inserted.asArray()->at(0).asInteger(), 0);
  EXPECT_EQ(inserted.asArray()->at(1).stringForKey("title", ""), "New");
  mix->insert(item("Last"), 9);  // at the end: nothing moves
  EXPECT_EQ(screen->playingIndexPath(), 2u);
  EXPECT_EQ(screen->revealedIndexPath(), 3u);
  EXPECT_EQ(*lastCall(*screen, "insertRow").asArray()->at(0).asInteger(), 4);
  // A new track at the playing row's own index pushes it down too.
  mix->insert(item("Middle"), 2);
  EXPECT_EQ(screen->playingIndexPath(), 3u);
}

// ---------------------------------------------------------------- favorites

TEST_F(PlaylistScreenTest, FavoritingSeedsRecommendationOnceCachesAndReportsIt) {
  storeRecommendation("Used Song", "Band");
  storeRecommendation("Fresh Song", "Band");
  {
    // "Used Song" already seeded recommendations.
    CDTrackUsedForRecommendationEntityController used(store.get());
    CDTrackRecommendationQueueEntityController queue(used.context());
    auto seed = queue.enqueueTrackForRecommendationWithTitle("Used Song", "", "Band", 1, false);
    used.insertNewObjectWithTrackRecommendationQueueItem(*seed);
    queue.deleteObject(*seed);
    ASSERT_TRUE(queue.save().ok());
  }
  auto mix = recommendMix();
  ASSERT_TRUE(run(mix));
  auto screen = open(mix);

  const size_t used = rowOf(*mix, "Used Song");
  EXPECT_EQ(openMenu(*screen, used),
            R"([)" + std::to_string(used) +
                R"(,{"favorite":true,"favorited":false,"trash":false,"cache":false,"uncache":false}])");
  act(*screen, used, "favorite");
  CDFavoriteTrackEntityController favorites(store.get());
  EXPECT_TRUE(favorites.findOneWithArtist("Band", "Used Song"));
  EXPECT_TRUE(CDTrackRecommendationQueueEntityController(store.get()).findAll().empty());
  EXPECT_TRUE(lastCall(*screen, "updateRow").asArray()->at(1).boolForKey("favorite", false));
  EXPECT_EQ(openMenu(*screen, used),
            R"([)" + std::to_string(used) +
                R"(,{"favorite":false,"favorited":true,"trash":false,"cache":false,"uncache":false}])");

  const size_t fresh = rowOf(*mix, "Fresh Song");
  bool caching = false;
  EXPECT_TRUE(screen->favoriteOrRemoveTrackItem(mix->trackItemForIndex(fresh), caching));
  EXPECT_TRUE(caching);
  const auto queued = CDTrackRecommendationQueueEntityController(store.get()).findAll();
  ASSERT_EQ(queued.size(), 1u);
  EXPECT_EQ(queued[0]->title(), "Fresh Song");
  EXPECT_EQ(queued[0]->album(), "");
  EXPECT_EQ(queued[0]->artist(), "Band");
  EXPECT_EQ(queued[0]->priority(), 1000);
  EXPECT_EQ(queued[0]->isUserTrack(), false);
  EXPECT_TRUE(CDTrackUsedForRecommendationEntityController(store.get())
                  .findWithItemHash(CDUtility::itemHashWithTitle("Fresh Song", "Band")));
  // The caching job reports to this screen, to its end (no preview there).
  const std::string done = "app.setCacheProgress(" + std::to_string(fresh) + ",null)";
  EXPECT_TRUE(testEnv.pumpUntil([&] {
    const auto scripts = page.scripts(screen->channel());
    return std::find(scripts.begin(), scripts.end(), done) != scripts.end();
  }));

  EXPECT_EQ(host.tips, std::vector<std::string>{"caching"});  // once, for the first

  // Favoriting it again takes it back, and does not seed again.
  EXPECT_FALSE(screen->favoriteOrRemoveTrackItem(mix->trackItemForIndex(fresh), caching));
  EXPECT_FALSE(caching);
  EXPECT_FALSE(favorites.findOneWithArtist("Band", "Fresh Song"));
  EXPECT_EQ(mix->numberOfTracks(), 2u);  // not the favorites mix: the row stays
  EXPECT_EQ(CDTrackRecommendationQueueEntityController(store.get()).findAll().size(), 1u);
}

TEST_F(PlaylistScreenTest, UnfavoritingRemovesTheRowOnlyInTheFavoritesMix) {
  for (const char* title : {"Keep", "Drop", "Other"}) {
    auto favorite = item(title);
    storeFavorite(*favorite);
  }
  auto favorites = std::make_shared<MRFavoriteTrackMix>(context.mix);
  ASSERT_TRUE(run(favorites));
  ASSERT_EQ(favorites->numberOfTracks(), 3u);
  auto screen = open(favorites);
  EXPECT_EQ(lastCall(*screen, "setPlaylist").asArray()->at(0).stringForKey("kind", ""),
            "favorites");
  const size_t keep = rowOf(*favorites, "Keep");
  const size_t drop = rowOf(*favorites, "Drop");
  request(*screen, "rowDidSelect?index=" + std::to_string(keep));
  EXPECT_EQ(openMenu(*screen, drop),
            R"([)" + std::to_string(drop) +
                R"(,{"favorite":false,"favorited":true,"trash":true,"cache":true,"uncache":false}])");
  act(*screen, drop, "trash");
  EXPECT_EQ(favorites->numberOfTracks(), 2u);
  EXPECT_EQ(toJson(lastCall(*screen, "removeRows")), "[[" + std::to_string(drop) + "]]");
  EXPECT_FALSE(CDFavoriteTrackEntityController(store.get()).findOneWithArtist("Band", "Drop"));
  EXPECT_FALSE(screen->revealedIndexPath());
  EXPECT_EQ(screen->playingIndexPath(), keep > drop ? keep - 1 : keep);

  // The unfavorite of the action sheet does the same.
  const size_t other = rowOf(*favorites, "Other");
  openMenu(*screen, other);
  act(*screen, other, "action");
  ASSERT_EQ(host.alerts.size(), 1u);
  EXPECT_EQ(host.alerts[0].buttons[0], "Remove from Favorites");
  EXPECT_EQ(host.alerts[0].destructiveButton, 0);
  host.press(0);
  EXPECT_EQ(favorites->numberOfTracks(), 1u);

  // From another mix the row stays, drawn as no favorite.
  auto mix = testMix({"Keep", "Elsewhere"});
  auto elsewhere = open(mix);
  openMenu(*elsewhere, 0);
  act(*elsewhere, 0, "trash");  // trash belongs to the favorites mix
  EXPECT_TRUE(CDFavoriteTrackEntityController(store.get()).findOneWithArtist("Band", "Keep"));
  act(*elsewhere, 0, "favorited");
  EXPECT_FALSE(CDFavoriteTrackEntityController(store.get()).findOneWithArtist("Band", "Keep"));
  EXPECT_EQ(mix->numberOfTracks(), 2u);
  EXPECT_EQ(countCalls(*elsewhere, "removeRows"), 0);
  EXPECT_FALSE(lastCall(*elsewhere, "updateRow").asArray()->at(1).boolForKey("favorite", true));
}

TEST_F(PlaylistScreenTest, CachingOfflineAlertsAndQueuesNothingOnlineItCachesAndUncaches) {
  const auto& catalogue = sandbox.server().catalogue();
  const sandbox::CatalogueTrack* song = nullptr;
  for (const auto& track : catalogue.tracks()) {
    if (track.store == sandbox::StoreListing::Song) {
      song = &track;
      break;
    }
  }
  ASSERT_TRUE(song);
  MRPlaylistTrackItem favorite;
  favorite.title = song->title;
  favorite.artist = catalogue.artistOf(*song).name;
  MRPreviewDataSource source;
  source.sourceID = MRPreviewSourceIDITunes;
  source.previewUrl = sandbox.server().baseUrl() + "/itunes/preview/" +
                      std::to_string(song->storeTrackId) + ".m4a";
  source.additionalInfo = std::make_shared<MRiTunesAdditionalInfo>();
  favorite.previewDataSourceSet = {source};
  storeFavorite(favorite);
  auto favorites = std::make_shared<MRFavoriteTrackMix>(context.mix);
  ASSERT_TRUE(run(favorites));
  auto screen = open(favorites);

  testEnv.reachability().setStatus(NetworkStatus::NotReachable);
  openMenu(*screen, 0);
  act(*screen, 0, "cache");
  ASSERT_EQ(host.alerts.size(), 1u);
  EXPECT_EQ(host.alerts[0].title, "Error");
  EXPECT_EQ(host.alerts[0].message,
            "You are offline. Connect to the Internet to cache this track.");
  EXPECT_EQ(host.alerts[0].buttons, std::vector<std::string>{"OK"});
  EXPECT_FALSE(serviceQueue->operationRunningForClass<MRCacheFavoriteTrackOperation>());

  testEnv.reachability().setStatus(NetworkStatus::ReachableViaWiFi);
  pump();
  // A job that has not run yet shows on a page loaded anew.
  serviceQueue->setMaxConcurrentOperationCount(0);
  act(*screen, 0, "cache");
  page.clear();
  page.load(screen->channel());
  EXPECT_EQ(page.last(screen->channel(), "app.setCacheProgress("), "app.setCacheProgress(0,0.0)");
  serviceQueue->cancelAllOperations();
  serviceQueue->setMaxConcurrentOperationCount(MRServiceOperationQueue::kWidth);
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    return !serviceQueue->operationRunningForClass<MRCacheFavoriteTrackOperation>();
  }));
  pump();
  page.clear();
  act(*screen, 0, "cache");
  EXPECT_TRUE(testEnv.pumpUntil([&] {
    return page.last(screen->channel(), "app.setCacheProgress(") == "app.setCacheProgress(0,null)";
  }));
  EXPECT_GE(countCalls(*screen, "setCacheProgress"), 3);  // started, steps, done
  EXPECT_TRUE(lastCall(*screen, "updateRow").asArray()->at(1).boolForKey("cached", false));
  EXPECT_NE(openMenu(*screen, 0).find(R"("cache":false,"uncache":true)"), std::string::npos);
  {
    CDFavoriteTrackEntityController favoritesNow(store.get());
    auto record = favoritesNow.findOneWithArtist(favorite.artist, favorite.title);
    ASSERT_TRUE(record && record->localCachePreviewDataSource());
  }

  act(*screen, 0, "uncache");
  EXPECT_FALSE(lastCall(*screen, "updateRow").asArray()->at(1).boolForKey("cached", true));
  CDFavoriteTrackEntityController favoritesAfter(store.get());
  auto record = favoritesAfter.findOneWithArtist(favorite.artist, favorite.title);
  ASSERT_TRUE(record);
  EXPECT_FALSE(record->localCachePreviewDataSource());
  EXPECT_FALSE(favorites->trackItemForIndex(0)->localCachePreviewDataSource());
}

// ---------------------------------------------------------------- banning

TEST_F(PlaylistScreenTest, BanningAnArtistRemovesItsRowsAndMovesThePlayingRowUp) {
  for (const char* title : {"Gone 1", "Gone 2", "Gone 3"})
    storeRecommendation(title, "Gone Band");
  for (const char* title : {"Stay 1", "Stay 2", "Stay 3"})
    storeRecommendation(title, "Stay Band");
  auto mix = recommendMix();
  ASSERT_TRUE(run(mix));
  ASSERT_EQ(mix->numberOfTracks(), 6u);
  auto screen = open(mix);

  // Play the last row of the band that stays, and count the rows above it
  // that go.
  size_t playing = 0;
  for (size_t i = 0; i < 6; ++i) {
    if (mix->trackItemForIndex(i)->artist == "Stay Band") playing = i;
  }
  size_t goneBefore = 0;
  std::vector<int64_t> goneRows;
  for (size_t i = 0; i < 6; ++i) {
    if (mix->trackItemForIndex(i)->artist != "Gone Band") continue;
    goneRows.push_back(static_cast<int64_t>(i));
    if (i < playing) ++goneBefore;
  }
  request(*screen, "rowDidSelect?index=" + std::to_string(playing));
  ASSERT_EQ(screen->playingIndexPath(), playing);

  const size_t gone = static_cast<size_t>(goneRows[0]);
  openMenu(*screen, gone);
  act(*screen, gone, "action");
  ASSERT_EQ(host.alerts.size(), 1u);
  const MRAlert& sheet = host.alerts[0];
  EXPECT_TRUE(sheet.actionSheet);
  EXPECT_EQ(sheet.title, mix->trackItemForIndex(gone)->title + " / Gone Band");
  EXPECT_EQ(sheet.buttons,
            (std::vector<std::string>{"Don't Play This Artist", "More by This Artist",
                                      "Similar Tracks", "Related Artists", "Cancel"}));
  EXPECT_EQ(sheet.destructiveButton, 0);
  EXPECT_EQ(sheet.cancelButton, 4);
  host.press(0);
  ASSERT_EQ(host.alerts.size(), 2u);
  EXPECT_EQ(host.alerts[1].title, "Don't play this artist?");
  EXPECT_EQ(host.alerts[1].message,
            "Gone Band will no longer be recommended, and its tracks leave this mix.");
  EXPECT_EQ(host.alerts[1].buttons, (std::vector<std::string>{"Cancel", "OK"}));
  host.press(0);  // cancelled: nothing goes
  EXPECT_EQ(mix->numberOfTracks(), 6u);
  host.press(1);

  EXPECT_EQ(mix->numberOfTracks(), 3u);
  for (const auto& left : mix->tracks())
    EXPECT_EQ(left->artist, "Stay Band");
  EXPECT_EQ(screen->playingIndexPath(), playing - goneBefore);
  EXPECT_FALSE(screen->revealedIndexPath());
  EXPECT_EQ(countCalls(*screen, "removeRows"), 1);
  Value expected = Value::array();
  for (auto row : goneRows)
    expected.append(Value(row));
  EXPECT_EQ(toJson(lastCall(*screen, "removeRows")), "[" + toJson(expected) + "]");
  EXPECT_TRUE(CDArtistBlackListEntityController(store.get())
                  .checkIfBlacklistedWithArtistName("Gone Band"));
  EXPECT_EQ(CDRecommendTrackEntityController(store.get()).findAll().size(), 3u);
}

// ---------------------------------------------------------------- every request

TEST_F(PlaylistScreenTest, EveryRequestReachesItsLogicAndARowWithoutATrackDoesNothing) {
  auto mix = testMix({"One", "Two"});
  auto video = item("Clip", "Singer");
  {
    auto sources = video->previewDataSourceSet;
    auto listing = std::make_shared<MRiTunesAdditionalInfo>();
    listing->setTrackViewUrl("https://store.test/album/clip?i=1&x=a b");
    sources[0].additionalInfo = listing;
    MRPreviewDataSource watch;
    watch.sourceID = MRPreviewSourceIDYouTube;
    auto info = std::make_shared<MRYouTubeAdditionalInfo>();
    info->setLink("https://video.test/watch?v=abc");
    watch.additionalInfo = info;
    sources.push_back(watch);
    video->previewDataSourceSet = sources;
  }
  mix->add(video);
  auto screen = open(mix);
  EXPECT_EQ(lastCall(*screen, "setPlaylist").asArray()->at(0).stringForKey("kind", ""), "other");

  request(*screen, "sourceButton?index=2&sourceId=10");
  request(*screen, "sourceButton?index=2&sourceId=20");
  request(*screen, "sourceButton?index=2&sourceId=30");
  request(*screen, "sourceButton?index=0&sourceId=20");  // it has no video
  EXPECT_EQ(opened, (std::vector<std::string>{
                        testEnv.env().config().affiliatePrefix +
                            "https%3A%2F%2Fstore.test%2Falbum%2Fclip%3Fi%3D1%26x%3Da%20b",
                        "https://video.test/watch?v=abc"}));
  EXPECT_TRUE(host.hostOpened.empty());

  openMenu(*screen, 2);
  act(*screen, 2, "info");
  ASSERT_EQ(host.detail.items.size(), 1u);
  EXPECT_EQ(host.detail.items[0], video);
  EXPECT_TRUE(host.detail.autoload);
  act(*screen, 2, "comment");
  ASSERT_EQ(host.comments.size(), 1u);
  EXPECT_EQ(host.comments[0], video);

  // The action sheet of a mix with nothing to destroy, and where it leads.
  act(*screen, 2, "action");
  ASSERT_EQ(host.alerts.size(), 1u);
  EXPECT_EQ(host.alerts[0].title, "Clip / Singer");
  EXPECT_EQ(host.alerts[0].destructiveButton, -1);
  EXPECT_EQ(host.alerts[0].buttons.size(), 4u);
  host.press(0);
  ASSERT_EQ(host.pushed.size(), 1u);
  auto artistMix = std::dynamic_pointer_cast<MRArtistTopTrackMix>(host.mixes.at(0));
  ASSERT_TRUE(artistMix);
  EXPECT_EQ(artistMix->artistName(), "Singer");
  EXPECT_TRUE(serviceQueue->operationCount() > 0 || artistMix->isFinished());  // started
  EXPECT_EQ(host.pushed[0]->kind(), "playlist");
  host.press(1);
  auto similarMix = std::dynamic_pointer_cast<MRSimilarTrackMix>(host.mixes.at(1));
  ASSERT_TRUE(similarMix);
  EXPECT_EQ(similarMix->trackTitle(), "Clip");
  EXPECT_EQ(similarMix->artistName(), "Singer");
  host.press(2);
  EXPECT_EQ(host.similar, std::vector<std::string>{"Singer"});
  host.press(3);  // cancel
  host.press(-1);
  EXPECT_EQ(host.pushed.size(), 2u);

  // Actions belong to the row whose menu is open.
  act(*screen, 1, "info");
  EXPECT_EQ(host.detail.items.size(), 1u);
  request(*screen, "menuDidClose");
  EXPECT_FALSE(screen->revealedIndexPath());
  act(*screen, 2, "comment");
  EXPECT_EQ(host.comments.size(), 1u);

  // Rows that are not there.
  page.clear();
  request(*screen, "menuDidOpen?index=7");
  EXPECT_FALSE(screen->revealedIndexPath());
  act(*screen, 7, "favorite");
  request(*screen, "rowDidSelect?index=7");
  request(*screen, "rowDidSelect?index=-1");
  request(*screen, "rowDidSelect");
  request(*screen, "sourceButton?index=9&sourceId=10");
  request(*screen, "noSuchRequest?index=0");
  EXPECT_TRUE(page.sent.empty());
  EXPECT_TRUE(media->players().empty());
  EXPECT_TRUE(CDFavoriteTrackEntityController(store.get()).findAll().empty());
  EXPECT_EQ(opened.size(), 2u);
}

TEST_F(PlaylistScreenTest, EventsAfterTheScreenWentAreIgnored) {
  auto mix = testMix({"One", "Two"});
  auto screen = open(mix);
  request(*screen, "rowDidSelect?index=0");
  openMenu(*screen, 1);
  act(*screen, 1, "action");
  ASSERT_EQ(host.alerts.size(), 1u);
  const std::string channel = screen->channel();

  screen->screenWillDisappear();
  page.clear();
  page.load(channel);
  request(*screen, "rowDidSelect?index=1");
  mix->add(item("Three"));
  ASSERT_TRUE(player->forward());  // the player plays on without it
  pump();
  host.press(2);  // the sheet answered late
  EXPECT_TRUE(page.sent.empty());
  EXPECT_TRUE(host.similar.empty());
  EXPECT_EQ(player->currentTrackPlayer()->trackItem(), mix->trackItemForIndex(1));

  // Gone altogether: the mix, the player and the alert find nobody.
  std::weak_ptr<MRPlaylistViewController> weak = screen;
  screen.reset();
  EXPECT_TRUE(weak.expired());
  mix->add(item("Four"));
  ASSERT_TRUE(player->forward());
  pump();
  host.press(1);
  EXPECT_TRUE(page.sent.empty());
  EXPECT_TRUE(host.pushed.empty());
}

}  // namespace
}  // namespace mr
