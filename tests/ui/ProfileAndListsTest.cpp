// The music profile, the favorite and similar artist lists, the comment
// form and the processing status screen, against the sandbox.
#include <gtest/gtest.h>

#include <atomic>

#include "base/MRUserDefaults.h"
#include "playback/MRArtistTopTrackMix.h"
#include "playback/MRFavoriteTrackMix.h"
#include "service/MRAPITrack.h"
#include "service/ovloAccount.h"
#include "social/MRSubmitCommentForTrackOperation.h"
#include "store/CDArtist.h"
#include "store/CDFavoriteTrack.h"
#include "ui/MRCommentFormWindowController.h"
#include "ui/MRFavoriteArtistListViewController.h"
#include "ui/MRMusicProfileViewController.h"
#include "ui/MRProcessingStatusViewController.h"
#include "ui/MRSimilarArtistViewController.h"
#include "ui/UiWorld.h"

namespace mr {
namespace {

using test::UiWorld;

// The JSON argument of the last `call` on `channel`.
Value lastArgument(const test::FakePage& page, const std::string& channel, const std::string& call) {
  const std::string script = page.last(channel, call + "(");
  if (script.empty()) return Value();
  auto parsed = parseJson(script.substr(call.size() + 1, script.size() - call.size() - 2));
  return parsed.ok() ? parsed.value() : Value();
}

size_t itemCount(const Value& list) {
  const Value* items = list.get("items");
  return items && items->asArray() ? items->asArray()->size() : 0;
}

std::string itemTitle(const Value& list, size_t index) {
  const Value* items = list.get("items");
  if (!items || !items->asArray() || index >= items->asArray()->size()) return {};
  const Value* title = (*items->asArray())[index].get("title");
  return title && title->asString() ? *title->asString() : std::string();
}

std::string parameter(const sandbox::SandboxServer::RecordedRequest& request, const char* key) {
  const Value* value = request.parameters.find(key);
  return value && value->asString() ? *value->asString() : std::string();
}

// ---- Music profile

struct MusicProfileTest : UiWorld {
  MusicProfileTest() {
    auto storeContext = store->newContext();
    CDArtistEntityController artists(storeContext);
    CDUserArtistEntityController users(storeContext);
    const std::vector<std::pair<std::string, std::vector<std::string>>> library = {
        {"Alpha", {"rock", "indie"}}, {"Beta", {"rock", "jazz"}}, {"Gamma", {"rock"}}};
    for (const auto& [name, tags] : library) {
      LastfmArtist lastfm;
      lastfm.name = name;
      lastfm.tag = tags;
      auto artist = artists.insertNewObjectWithLastfmArtist(lastfm);
      users.insertNewObject()->setArtist(artist.get());
    }
    EXPECT_TRUE(artists.save().ok());
  }
  std::shared_ptr<MRMusicProfileViewController> openProfile() {
    auto& window = openWindow();
    main("app://sideMenuDidSelect?index=3");
    return std::dynamic_pointer_cast<MRMusicProfileViewController>(window.modalViewController());
  }
  bool loaded(const MRMusicProfileViewController& profile) {
    return testEnv.pumpUntil([&] { return !profile.isLoading() && profile.tagCloudImage(); });
  }
};

TEST_F(MusicProfileTest, StarFirstThenTheChosenShapeWithTheSameTags) {
  auto profile = openProfile();
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->selectedShape(), "star");
  ASSERT_TRUE(loaded(*profile));
  ASSERT_EQ(profile->tagWeights().size(), 3u);
  EXPECT_EQ(profile->tagWeights()[0].name, "rock");
  auto sent = sandbox.server().recordedRequests("/genre_tagcloud/generate");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(parameter(sent[0], "shape"), "star");
  const std::string tags = parameter(sent[0], "tags");
  EXPECT_NE(tags.find("\"rock\""), std::string::npos) << tags;
  const MRImage star = *profile->tagCloudImage();
  EXPECT_EQ(star.format, "png");

  page.load(profile->channel());
  Value list = lastArgument(page, profile->channel(), "app.setList");
  ASSERT_EQ(itemCount(list), 8u);
  EXPECT_EQ(itemTitle(list, 0), "MRMusicProfileViewController_Shape_star");
  EXPECT_EQ(*list.get("selected")->asInteger(), 0);
  const std::string image = list.get("image") && list.get("image")->asString()
                                ? *list.get("image")->asString()
                                : std::string();
  EXPECT_EQ(image, MRMusicProfileViewController::dataURLOfImage(star));
  EXPECT_EQ(image.rfind("data:image/png;base64,", 0), 0u);

  request(profile->channel(), "app://itemDidSelect?index=7");
  EXPECT_EQ(profile->selectedShape(), "apple");
  EXPECT_TRUE(profile->isLoading());
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !profile->isLoading(); }));
  sent = sandbox.server().recordedRequests("/genre_tagcloud/generate");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(parameter(sent[1], "shape"), "apple");
  EXPECT_EQ(parameter(sent[1], "tags"), tags);
  ASSERT_TRUE(profile->tagCloudImage());
  EXPECT_NE(profile->tagCloudImage()->data, star.data);  // two shapes, two pictures
  EXPECT_EQ(*lastArgument(page, profile->channel(), "app.setList").get("selected")->asInteger(), 7);

  request(profile->channel(), "app://itemDidSelect?index=8");  // no such shape
  EXPECT_EQ(profile->selectedShape(), "apple");
}

TEST_F(MusicProfileTest, AFailureKeepsThePreviousPicture) {
  auto profile = openProfile();
  ASSERT_TRUE(profile);
  ASSERT_TRUE(loaded(*profile));
  const MRImage star = *profile->tagCloudImage();
  page.load(profile->channel());

  sandbox.server().stop();
  request(profile->channel(), "app://itemDidSelect?index=1");
  EXPECT_TRUE(profile->isLoading());
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !profile->isLoading(); }));
  EXPECT_EQ(profile->selectedShape(), "drop");
  ASSERT_TRUE(profile->tagCloudImage());
  EXPECT_EQ(*profile->tagCloudImage(), star);
  const Value list = lastArgument(page, profile->channel(), "app.setList");
  EXPECT_TRUE(list.get("progress")->isNull());
  EXPECT_EQ(*list.get("image")->asString(), MRMusicProfileViewController::dataURLOfImage(star));
  const std::string alert = page.last("main", "app.showAlert");
  EXPECT_NE(alert.find(R"("title":"Error")"), std::string::npos) << alert;
}

TEST_F(MusicProfileTest, ReportsAfterTheScreenWentAreDropped) {
  auto& window = openWindow();
  main("app://sideMenuDidSelect?index=3");
  std::weak_ptr<MRScreen> profile = window.modalViewController();
  const std::string channel = window.modalViewController()->channel();
  main("app://sideMenuDidSelect?index=0");  // the home page replaces it
  page.clear();
  for (int i = 0; i < 20; ++i)
    advance(0.1);
  testEnv.pool().waitIdle();
  pump();
  EXPECT_TRUE(profile.expired());
  EXPECT_TRUE(page.scripts(channel).empty());
  EXPECT_EQ(page.last("main", "app.showAlert"), "");
}

// ---- Favorite artists

struct FavoriteArtistListTest : UiWorld {
  std::shared_ptr<MRFavoriteArtistListViewController> openList() {
    auto& window = openWindow();
    main("app://sideMenuDidSelect?index=1");
    auto list = std::dynamic_pointer_cast<MRFavoriteArtistListViewController>(
        window.navigationStack().back());
    if (list) testEnv.pumpUntil([&] { return !list->isLoading(); });
    return list;
  }
};

TEST_F(FavoriteArtistListTest, WithoutFavoritesOnlyTheTwoRowsOfAllTracks) {
  auto list = openList();
  ASSERT_TRUE(list);
  ASSERT_FALSE(list->isLoading());
  page.load(list->channel());
  const Value sent = lastArgument(page, list->channel(), "app.setList");
  ASSERT_EQ(itemCount(sent), 2u);
  EXPECT_EQ(itemTitle(sent, 0), "MRFavoriteArtistListViewController_allTracks");
  EXPECT_EQ(itemTitle(sent, 1), "MRFavoriteArtistListViewController_random");

  request(list->channel(), "app://itemDidSelect?index=0");
  request(list->channel(), "app://itemDidSelect?index=1");
  request(list->channel(), "app://itemDidSelect?index=2");  // no artist row
  ASSERT_EQ(playlistScreens.size(), 2u);
  auto all = std::dynamic_pointer_cast<MRFavoriteTrackMix>(playlistScreens[0]->playlist);
  auto shuffled = std::dynamic_pointer_cast<MRFavoriteTrackMix>(playlistScreens[1]->playlist);
  ASSERT_TRUE(all && shuffled);
  EXPECT_FALSE(all->subjectArtist());
  EXPECT_FALSE(all->shuffled());
  EXPECT_FALSE(shuffled->subjectArtist());
  EXPECT_TRUE(shuffled->shuffled());
}

TEST_F(FavoriteArtistListTest, ArtistRowsWithArtworkAndTheFavoritesPage) {
  CDFavoriteTrackEntityController favorites(store.get());
  ASSERT_TRUE(favorites.addWithPlaylistTrack(*test::playableItem("Song", "Zed"), Date{1.0e9}).ok());
  ASSERT_TRUE(favorites.addWithPlaylistTrack(*test::playableItem("Tune", "Abe"), Date{1.0e9}).ok());
  {
    CDArtistEntityController artists(store.get());
    LastfmArtist zed;
    zed.name = "Zed";
    auto artist = artists.insertNewObjectWithLastfmArtist(zed);
    artist->setImageLarge(std::string("http://art.test/zed.jpg"));
    ASSERT_TRUE(artists.save().ok());
  }
  auto list = openList();
  ASSERT_TRUE(list);
  page.load(list->channel());
  const Value sent = lastArgument(page, list->channel(), "app.setList");
  ASSERT_EQ(itemCount(sent), 4u);
  const Array& items = *sent.get("items")->asArray();
  EXPECT_EQ(*items[0].get("section")->asString(), "");
  EXPECT_EQ(*items[2].get("section")->asString(),
            "MRFavoriteArtistListViewController_artistSectionTitle");
  EXPECT_EQ(itemTitle(sent, 2), "Abe");
  EXPECT_TRUE(items[2].get("artwork")->isNull());
  EXPECT_EQ(*items[3].get("artwork")->asString(), "http://art.test/zed.jpg");

  request(list->channel(), "app://itemDidSelect?index=2");
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto abe = std::dynamic_pointer_cast<MRFavoriteTrackMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(abe);
  EXPECT_EQ(abe->subjectArtist(), "Abe");

  // The action sheet: "view on the web" opens the listener's favorites page.
  main("app://navigateBack");
  request(list->channel(), "app://listAction?index=0");
  const Value sheet = lastArgument(page, "main", "app.showAlert");
  EXPECT_EQ(*sheet.get("title")->asString(), "MRFavoriteArtistListViewController_favoriteTracks");
  EXPECT_TRUE(*sheet.get("sheet")->asBool());
  const int id = static_cast<int>(*sheet.get("id")->asInteger());
  main("app://alertDidEnd?id=" + std::to_string(id) + "&button=1");  // cancel
  EXPECT_TRUE(browsed.empty());
  request(list->channel(), "app://listAction?index=0");
  main("app://alertDidEnd?id=" + std::to_string(id + 1) + "&button=0");
  const auto name = ovloAccount(testEnv.settings()).accountName();
  ASSERT_TRUE(name);
  ASSERT_EQ(browsed.size(), 1u);
  EXPECT_EQ(browsed[0], testEnv.env().config().mireluneWebBaseUrl + "/user/" + *name + "/favorites");
}

// ---- Similar artists

struct SimilarArtistTest : UiWorld {};

TEST_F(SimilarArtistTest, ListedFromLastfmAndChosen) {
  auto& window = openWindow();
  const std::string subject = sandbox.server().catalogue().artists().front().name;
  window.showSimilarArtists(subject);
  auto screen =
      std::dynamic_pointer_cast<MRSimilarArtistViewController>(window.navigationStack().back());
  ASSERT_TRUE(screen);
  EXPECT_TRUE(screen->isLoading());
  page.load(screen->channel());
  EXPECT_NE(page.last(screen->channel(), "app.setList").find(R"("progress":{"text":"Loading"})"),
            std::string::npos);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !screen->isLoading(); }));
  ASSERT_FALSE(screen->similarArtists().empty());
  EXPECT_LE(screen->similarArtists().size(), 20u);
  const auto asked = sandbox.server().recordedRequests("/2.0");
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(parameter(asked.back(), "method"), "artist.getsimilar");
  EXPECT_EQ(parameter(asked.back(), "limit"), "20");
  EXPECT_EQ(parameter(asked.back(), "autocorrect"), "1");

  const Value list = lastArgument(page, screen->channel(), "app.setList");
  ASSERT_EQ(itemCount(list), screen->similarArtists().size());
  EXPECT_EQ(itemTitle(list, 0), screen->similarArtists()[0].name);
  EXPECT_TRUE(list.get("progress")->isNull());
  const std::string largest = screen->similarArtists()[0].imageUrl.largest();
  const Value* artwork = (*list.get("items")->asArray())[0].get("artwork");
  if (largest.empty()) {
    EXPECT_TRUE(artwork->isNull());
  } else {
    EXPECT_EQ(*artwork->asString(), largest);
  }

  request(screen->channel(), "app://itemDidSelect?index=0");
  ASSERT_EQ(playlistScreens.size(), 1u);
  auto mix = std::dynamic_pointer_cast<MRArtistTopTrackMix>(playlistScreens[0]->playlist);
  ASSERT_TRUE(mix);
  EXPECT_EQ(mix->artistName(), screen->similarArtists()[0].name);
}

TEST_F(SimilarArtistTest, AFailureIsAlerted) {
  auto& window = openWindow();
  sandbox.server().stop();
  window.showSimilarArtists("Anyone");
  auto screen =
      std::dynamic_pointer_cast<MRSimilarArtistViewController>(window.navigationStack().back());
  ASSERT_TRUE(screen);
  ASSERT_TRUE(testEnv.pumpUntil([&] { return !screen->isLoading(); }));
  EXPECT_TRUE(screen->similarArtists().empty());
  EXPECT_NE(page.last("main", "app.showAlert").find(R"("title":"Error")"), std::string::npos);
}

// ---- Comment form

struct CommentFormTest : UiWorld {
  std::shared_ptr<MRPlaylistTrackItem> item = std::make_shared<MRPlaylistTrackItem>();
  int64_t facebookCid = 0;

  CommentFormTest() {
    const auto& catalogue = sandbox.server().catalogue();
    const auto& track = catalogue.tracks().front();
    item->artist = catalogue.artists()[static_cast<size_t>(track.artist)].name;
    item->title = track.title;
    item->imageUrl = "http://art.test/cover.jpg";
    // Facebook is connected, Twitter is not.
    auto facebook = sandbox.server().addConnection(sandbox.accountId(), "facebook", "listener");
    EXPECT_TRUE(facebook.ok());
    facebookCid = facebook->integerForKey("cid", 0);
    ovloConnectionList connections(testEnv.settings());
    connections.upsertWithItem({"facebook", "listener", sandbox.accountId(), facebookCid, {}});
    connections.save();
  }
  std::shared_ptr<MRCommentFormWindowController> openForm() {
    auto& window = openWindow();
    window.showCommentForm(item);
    auto form = std::dynamic_pointer_cast<MRCommentFormWindowController>(window.commentFormSheet());
    if (form) page.load(form->channel());
    return form;
  }
  std::shared_ptr<MRSubmitCommentForTrackOperation> finished(MRCommentFormWindowController& form) {
    auto operation = form.submittedOperation();
    if (operation) testEnv.pumpUntil([&] { return operation->isFinished(); });
    return operation;
  }
};

TEST_F(CommentFormTest, WithoutTwitterItsBoxIsDisabledAndItsSettingKept) {
  MRUserDefaults defaults(testEnv.settings(), testEnv.dir().path());
  ASSERT_TRUE(defaults.shareOnTwitter());
  auto form = openForm();
  ASSERT_TRUE(form);
  EXPECT_NE(page.last("main", "app.showSheet").find(R"("kind":"commentForm")"), std::string::npos);
  const Value shown = lastArgument(page, form->channel(), "app.setCommentForm");
  EXPECT_EQ(*shown.get("title")->asString(), item->title);
  EXPECT_EQ(*shown.get("artist")->asString(), item->artist);
  EXPECT_EQ(*shown.get("artwork")->asString(), item->imageUrl);
  EXPECT_TRUE(*shown.get("facebook")->get("enabled")->asBool());
  EXPECT_TRUE(*shown.get("facebook")->get("checked")->asBool());
  EXPECT_FALSE(*shown.get("twitter")->get("enabled")->asBool());
  EXPECT_FALSE(*shown.get("twitter")->get("checked")->asBool());

  // The page cannot tick a disabled box; a forged tick counts for nothing.
  request(form->channel(), "app://commentDidSubmit?text=%20%20So%20good%0A%20&facebook=1&twitter=1");
  auto operation = finished(*form);
  ASSERT_TRUE(operation);
  EXPECT_EQ(operation->subjectComment(), "So good");
  EXPECT_EQ(operation->subjectShareOn(), (std::vector<int64_t>{facebookCid}));
  EXPECT_EQ(operation->status(), kMRServiceOperationStatusCompleted);
  EXPECT_TRUE(defaults.shareOnTwitter());
  EXPECT_TRUE(defaults.shareOnFacebook());
  pump();
  EXPECT_FALSE(window->commentFormSheet());
  EXPECT_EQ(page.last("main", "app.closeSheet"), "app.closeSheet()");

  // The comment reached the service: the track's page shows it.
  const auto sent = sandbox.server().recordedRequests("/track/add_comment");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(parameter(sent[0], "shareOn"), "[" + std::to_string(facebookCid) + "]");
  std::atomic<bool> answered{false};
  std::vector<std::string> comments;
  MRAPITrack(sandbox.mirelune())
      .getWithArtistName(
          item->artist, item->title,
          [&](bool, const MRTrackDocument& track) {
            for (const auto& comment : track.comments().value_or(std::vector<MRTrackCommentDocument>{}))
              comments.push_back(comment.comment());
            answered = true;
          },
          [&](const Error&) { answered = true; });
  ASSERT_TRUE(testEnv.pumpUntil([&] { return answered.load(); }));
  EXPECT_EQ(comments, std::vector<std::string>{"So good"});
}

TEST_F(CommentFormTest, EmptyCommentUntickedBoxAndCancel) {
  MRUserDefaults defaults(testEnv.settings(), testEnv.dir().path());
  auto form = openForm();
  ASSERT_TRUE(form);
  request(form->channel(), "app://commentDidSubmit?text=%20%0A%20&facebook=0&twitter=0");
  auto operation = finished(*form);
  ASSERT_TRUE(operation);
  EXPECT_EQ(operation->subjectComment(), "");
  EXPECT_EQ(operation->subjectShareOn(), std::vector<int64_t>{});
  EXPECT_FALSE(defaults.shareOnFacebook());  // the connected box's state is kept
  EXPECT_TRUE(defaults.shareOnTwitter());
  request(form->channel(), "app://commentDidSubmit?text=again");  // ended: nothing more
  EXPECT_EQ(form->submittedOperation(), operation);

  sandbox.server().clearRecordedRequests();
  auto cancelled = openForm();
  ASSERT_TRUE(cancelled);
  EXPECT_NE(cancelled, form);
  const Value shown = lastArgument(page, cancelled->channel(), "app.setCommentForm");
  EXPECT_FALSE(*shown.get("facebook")->get("checked")->asBool());
  request(cancelled->channel(), "app://commentDidCancel");
  EXPECT_TRUE(cancelled->hasEnded());
  EXPECT_FALSE(cancelled->submittedOperation());
  pump();
  EXPECT_FALSE(window->commentFormSheet());
  advance(1.0);
  EXPECT_TRUE(sandbox.server().recordedRequests("/track").empty());
  EXPECT_FALSE(defaults.shareOnFacebook());
}

// ---- Processing status

// A job that reports a quarter done and waits to be let go.
class HeldOperation final : public MRServiceOperation {
 public:
  using MRServiceOperation::MRServiceOperation;
  void main() override {
    MRServiceOperation::main();
    setStatus(kMRServiceOperationStatusProcessing);
    setProgress(0.25F);
    waitFor(env().clock(), kNoDeadline, [this] { return released_.load(); });
    setStatus(kMRServiceOperationStatusCompleted);
  }
  void release() {
    released_ = true;
    wake();
  }

 private:
  std::atomic<bool> released_{false};
};

struct ProcessingStatusTest : UiWorld {};

TEST_F(ProcessingStatusTest, ARunningJobIsListedWithItsProgressAndDroppedWhenItEnds) {
  registerLocalizedStrings({{"MRProcessingStatusViewController_HeldOperation", "Held job"},
                            {"MRProcessingStatusViewController_NoTask", "Nothing to do"}});
  auto& window = openWindow();
  main("app://sideMenuDidSelect?index=4");
  auto status = window.navigationStack().back();
  page.load(status->channel());
  EXPECT_NE(page.last(status->channel(), "app.setList").find(R"("items":[],"empty":"Nothing to do")"),
            std::string::npos)
      << page.last(status->channel(), "app.setList");

  auto job = std::make_shared<HeldOperation>(testEnv.env());
  serviceQueue->addOperation(job);
  const std::string running =
      R"({"title":"Held job","subtitle":"Processing","progress":0.25})";
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    advance(0.5);
    return page.last(status->channel(), "app.setList").find(running) != std::string::npos;
  })) << page.last(status->channel(), "app.setList");

  job->release();
  ASSERT_TRUE(testEnv.pumpUntil([&] {
    advance(0.5);
    return page.last(status->channel(), "app.setList").find(R"("items":[])") != std::string::npos;
  })) << page.last(status->channel(), "app.setList");
}

}  // namespace
}  // namespace mr
