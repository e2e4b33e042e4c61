#include <zlib.h>

#include "base/Json.h"
#include "model/MRArtistDocument.h"
#include "model/MRBadgeDocument.h"
#include "model/MRFanDocument.h"
#include "model/MRFavoriteTrackDocument.h"
#include "model/MRListenerProfileDocument.h"
#include "model/MRMessageDocument.h"
#include "model/MRPushNotificationDocument.h"
#include "model/MRTrackDocument.h"
#include "sandbox/MireluneProtocol.h"
#include "sandbox/PngWriter.h"
#include "sandbox/SandboxEnvelope.h"
#include "sandbox/SandboxTestSupport.h"

namespace mr {
namespace {

using sandbox::SandboxError;
using test::SandboxAccount;

constexpr int64_t code(SandboxError error) {
  return static_cast<int64_t>(error);
}

// The picture of a PNG: width, height and the raw rows of its one IDAT chunk.
struct DecodedPng {
  uint32_t width = 0;
  uint32_t height = 0;
  std::string rows;
};

uint32_t bigEndian(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

std::optional<DecodedPng> decodePng(const std::string& png) {
  if (!png.starts_with("\x89PNG\r\n\x1a\n") || png.substr(12, 4) != "IHDR") return std::nullopt;
  DecodedPng decoded{bigEndian(png, 16), bigEndian(png, 20), {}};
  const size_t idat = png.find("IDAT");
  if (idat == std::string::npos) return std::nullopt;
  const uint32_t length = bigEndian(png, idat - 4);
  uLongf size = uLongf{decoded.height} * (decoded.width * 4 + 1);
  decoded.rows.resize(size);
  if (uncompress(reinterpret_cast<Bytef*>(decoded.rows.data()), &size,
                 reinterpret_cast<const Bytef*>(png.data() + idat + 4), length) != Z_OK) {
    return std::nullopt;
  }
  decoded.rows.resize(size);
  return decoded;
}

std::string artistJson(const std::string& name, const std::string& language,
                       const std::string& summary) {
  Value artist = Value::dictionary();
  artist.set("name", Value(name));
  artist.set("url", Value("https://www.last.fm/music/" + name));
  artist.set("mbid", Value());
  artist.set("bioLanguage", Value(language));
  artist.set("bioContent", Value(summary + " (long)"));
  artist.set("bioSummary", Value(summary));
  artist.set("imageMega", Value("https://img.example/" + name + "/mega.png"));
  artist.set("imageSmall", Value());
  artist.set("tags", Value(Array{Value("rock"), Value("indie")}));
  artist.set("variants", Value::array());
  artist.set("similars", Value::array());
  return toJson(artist);
}

std::string trackJson(const std::string& artist, const std::string& title) {
  Value track = Value::dictionary();
  track.set("trackTitle", Value(title));
  track.set("artistName", Value(artist));
  track.set("artworkUrl", Value("https://img.example/" + title + ".jpg"));
  track.set("youTubeVideoId", Value("vid-" + title));
  return toJson(track);
}

class MireluneProtocolTest : public test::SandboxFixture {
 protected:
  void SetUp() override {
    SandboxFixture::SetUp();
    if (HasFatalFailure()) return;
    me = signUp("listener");
  }

  // The envelope's result of a call that must succeed.
  Value result(const std::string& path, const Dictionary& parameters = {}) {
    const Value envelope = callSigned(path, me, parameters);
    EXPECT_EQ(errorCode(envelope), 0) << path << ": " << toJson(envelope);
    const Value* member = envelope.get("result");
    return member != nullptr ? *member : Value();
  }
  int64_t failure(const std::string& path, const Dictionary& parameters = {}) {
    return errorCode(callSigned(path, me, parameters));
  }
  std::string addTrack(const std::string& artist, const std::string& title) {
    return result("/track/update", {{"track", Value(trackJson(artist, title))}})
        .stringForKey("wtid", "");
  }

  SandboxAccount me;
};

TEST_F(MireluneProtocolTest, ArtistUpdateAnswersTheWaidAndTheArtistIsReadBack) {
  const Value updated =
      callSigned("/artist/update", me, {{"artist", Value(artistJson("Mono", "en", "Post-rock"))}});
  const std::string waid = updated.stringForKey("waid", "");
  ASSERT_FALSE(waid.empty()) << toJson(updated);
  EXPECT_FALSE(updated.contains("error"));  // a bare object, not the envelope
  // A second language adds to the biography; the same name is the same artist.
  const Value again = callSigned("/artist/update", me,
                                 {{"artist", Value(artistJson("mono", "ja", "ポストロック"))}});
  EXPECT_EQ(again.stringForKey("waid", ""), waid);

  const MRArtistDocument artist(
      result("/artist/get_with_waid", {{"waid", Value(waid)}, {"fields", Value("{}")}}));
  EXPECT_EQ(artist.waid(), waid);
  EXPECT_EQ(artist.name(), "Mono");
  EXPECT_EQ(artist.mbid(), "");
  EXPECT_EQ(artist.imageLargest(), "https://img.example/mono/mega.png");
  EXPECT_EQ(artist.tags(), (std::vector<std::string>{"rock", "indie"}));
  ASSERT_TRUE(artist.bio());
  EXPECT_EQ(artist.bio()->bioSummaryForLang("en"), "Post-rock");
  EXPECT_EQ(artist.bio()->bioSummaryForCurrentLang("ja"), "ポストロック");
  EXPECT_EQ(artist.lastModifiedAt(), Date{1700000000.0});
  ASSERT_TRUE(artist.stats());
  EXPECT_EQ(artist.stats()->numOfBadges(), 1);

  EXPECT_EQ(failure("/artist/get_with_waid", {{"waid", Value("wa999")}}),
            code(SandboxError::NotFound));
  EXPECT_EQ(failure("/artist/get_with_waid"), code(SandboxError::MissingParameter));
  EXPECT_EQ(errorCode(callSigned("/artist/update", me, {{"artist", Value("{not json")}})),
            code(SandboxError::InvalidParameter));
  EXPECT_EQ(errorCode(callSigned("/artist/update", me, {{"artist", Value("{\"url\":\"u\"}")}})),
            code(SandboxError::InvalidParameter));
}

TEST_F(MireluneProtocolTest, TracksCarryTheirPreviewsCommentsAndPage) {
  const Value updated = result("/track/update", {{"track", Value(trackJson("Mono", "Ashes"))}});
  const std::string wtid = updated.stringForKey("wtid", "");
  ASSERT_FALSE(wtid.empty());
  EXPECT_FALSE(updated.stringForKey("waid", "").empty());
  EXPECT_EQ(updated.stringForKey("trackViewUrl", ""), server->baseUrl() + "/track/" + wtid);

  auto page = client->Get("/track/" + wtid);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_NE(page->body.find("Ashes"), std::string::npos);

  const Value commented =
      result("/track/add_comment",
             {{"comment", Value("Lovely")}, {"wtid", Value(wtid)}, {"shareOn", Value("[]")}});
  EXPECT_EQ(commented.stringForKey("wtid", ""), wtid);
  EXPECT_EQ(server->commentCount(me.aid), 1);

  const MRTrackDocument byNames(
      result("/track/get", {{"artistName", Value("MONO")}, {"trackTitle", Value("ashes")}}));
  EXPECT_EQ(byNames.wtid(), wtid);
  EXPECT_EQ(byNames.trackTitle(), "Ashes");
  ASSERT_TRUE(byNames.previewOnYouTube());
  EXPECT_EQ(byNames.previewOnYouTube()->document().stringForKey("videoId", ""), "vid-Ashes");
  ASSERT_TRUE(byNames.comments());
  ASSERT_EQ(byNames.comments()->size(), 1u);
  EXPECT_EQ(byNames.comments()->front().comment(), "Lovely");
  EXPECT_EQ(byNames.comments()->front().document().stringForKeyPath("createdBy/aname", ""),
            "listener");

  const MRTrackDocument byWtid(result("/track/get", {{"wtid", Value(wtid)}}));
  EXPECT_EQ(byWtid.artistName(), "Mono");
  const Value list =
      result("/track/get_with_waid", {{"waid", Value(byWtid.waid())}, {"fields", Value("{}")}});
  EXPECT_EQ(list.size(), 1u);

  EXPECT_EQ(failure("/track/get", {{"wtid", Value("wt404")}}), code(SandboxError::NotFound));
  EXPECT_EQ(failure("/track/get"), code(SandboxError::MissingParameter));
  // Sharing on a connection that is not the account's.
  EXPECT_EQ(failure("/track/add_comment",
                    {{"comment", Value("x")}, {"wtid", Value(wtid)}, {"shareOn", Value("[77]")}}),
            code(SandboxError::UnknownConnection));
  EXPECT_EQ(server->commentCount(me.aid), 1);  // the refused call stored nothing
}

TEST_F(MireluneProtocolTest, UpdateWithArtistAndMixesFileTracksUnderTheArtist) {
  const Value track = result("/track/update_with_artist",
                             {{"track", Value(trackJson("Someone Else", "Halcyon"))},
                              {"artist", Value(artistJson("Orbital", "en", "Techno"))}});
  const MRTrackDocument document(
      result("/track/get", {{"wtid", Value(track.stringForKey("wtid", ""))}}));
  EXPECT_EQ(document.artistName(), "Orbital");

  Value mix = Value::dictionary();
  Value artist = parseJson(artistJson("Boards", "en", "IDM")).value();
  mix.set("artist", artist);
  mix.set("tracks", Value(Array{parseJson(trackJson("Boards", "Roygbiv")).value(),
                                parseJson(trackJson("Boards", "Olson")).value()}));
  EXPECT_TRUE(result("/artist_top_track_mix/update", {{"mix", Value(toJson(mix))}}).isNull());
  const MRTrackDocument olson(
      result("/track/get", {{"artistName", Value("Boards")}, {"trackTitle", Value("Olson")}}));
  EXPECT_FALSE(olson.wtid().empty());
  EXPECT_EQ(failure("/artist_top_track_mix/update", {{"mix", Value("{}")}}),
            code(SandboxError::InvalidParameter));
}

TEST_F(MireluneProtocolTest, FavouritesAreAddedListedSharedAndRemoved) {
  const Dictionary item{{"artistName", Value("Mono")},
                        {"trackTitle", Value("Ashes")},
                        {"artworkUrl", Value("https://img.example/a.jpg")},
                        {"favoritedAt", Value(1690000000)}};
  const Value added = result("/favorite_track/add", item);
  EXPECT_EQ(added.stringForKey("trackTitle", ""), "Ashes");
  EXPECT_EQ(server->favoriteCount(me.aid), 1);
  result("/favorite_track/add", item);  // once only
  EXPECT_EQ(server->favoriteCount(me.aid), 1);

  const Value list = result("/favorite_track/get");
  ASSERT_EQ(list.size(), 1u);
  const MRFavoriteTrackDocument favorite(list.asArray()->front());
  EXPECT_EQ(favorite.favoritedAt(), Date{1690000000.0});
  EXPECT_EQ(favorite.artworkUrl(), "https://img.example/a.jpg");

  EXPECT_EQ(failure("/favorite_track/share",
                    {{"wtid", Value(favorite.wtid())}, {"shareOn", Value("[]")}}),
            code(SandboxError::InvalidParameter));
  const Value connection = callSigned(
      "/connect/add", me, {{"service_name", Value("facebook")}, {"access_token", Value("fb")}});
  const int64_t cid = connection.intForKeyPath("result/cid", 0);
  EXPECT_TRUE(result("/favorite_track/share", {{"wtid", Value(favorite.wtid())},
                                               {"shareOn", Value("[" + std::to_string(cid) + "]")}})
                  .isNull());

  EXPECT_TRUE(result("/favorite_track/remove", item).isNull());
  EXPECT_EQ(server->favoriteCount(me.aid), 0);
  result("/favorite_track/remove", item);  // removing again is fine
  EXPECT_EQ(result("/favorite_track/get").size(), 0u);
}

TEST_F(MireluneProtocolTest, FansEarnTheArtistsBadgeAndAreNotified) {
  const std::string wtid = addTrack("Mono", "Ashes");
  const std::string waid = result("/track/get", {{"wtid", Value(wtid)}}).stringForKey("waid", "");
  // Playing as a listener who is not a fan counts, but answers no fan.
  EXPECT_TRUE(result("/track/playback", {{"wtid", Value(wtid)}}).isNull());

  const MRFanDocument fan(result("/fan/add", {{"waid", Value(waid)}}));
  EXPECT_EQ(fan.aid(), me.aid);
  EXPECT_EQ(fan.aname(), "listener");
  EXPECT_TRUE(fan.active());
  ASSERT_TRUE(fan.artist());
  EXPECT_EQ(fan.artist()->name(), "Mono");
  EXPECT_EQ(fan.badges()->size(), 0u);

  const Value badges =
      result("/badge/get_with_waid", {{"waid", Value(waid)}, {"fields", Value("{}")}});
  ASSERT_EQ(badges.size(), 1u);
  const MRBadgeDocument badge(badges.asArray()->front());
  EXPECT_EQ(badge.stock(), 1000);
  EXPECT_EQ(badge.currentStock(), 1000);
  ASSERT_TRUE(badge.requisteItems());
  EXPECT_EQ(badge.requisteItems()->front().type(), MRRequisiteItem::kTypePlaybackNum);
  ASSERT_TRUE(badge.grantAt());
  EXPECT_TRUE(badge.grantAt()->isInfinite());

  result("/track/playback", {{"wtid", Value(wtid)}});
  const MRFanDocument earned(result("/track/playback", {{"wtid", Value(wtid)}}));
  ASSERT_TRUE(earned.badges());
  ASSERT_EQ(earned.badges()->size(), 1u);
  EXPECT_EQ(earned.badges()->front().badgeId(), badge.badgeId());
  ASSERT_TRUE(earned.status());
  EXPECT_EQ(earned.status()->playbackNum()->valueForAll()->value(), 3);
  EXPECT_EQ(earned.status()->playbackNum()->valueForKey(wtid)->trackTitle(), "Ashes");
  const MRBadgeDocument afterwards(
      result("/badge/get_with_badge_id", {{"badgeId", Value(badge.badgeId())}}));
  EXPECT_EQ(afterwards.currentStock(), 999);
  EXPECT_EQ(failure("/badge/get_with_badge_id", {{"badgeId", Value(999)}}),
            code(SandboxError::NotFound));

  // The welcome message first, then the badge; newest first.
  const Value notifications =
      result("/notification/get", {{"from", Value(0)}, {"count", Value(10)}});
  ASSERT_EQ(notifications.size(), 2u);
  const MRPushNotificationDocument badgeNotice(notifications.asArray()->at(0));
  const MRPushNotificationDocument welcome(notifications.asArray()->at(1));
  EXPECT_EQ(badgeNotice.type(), "badge");
  EXPECT_EQ(badgeNotice.badge()->badgeId(), badge.badgeId());
  EXPECT_EQ(welcome.type(), "message");
  EXPECT_EQ(welcome.message()->sender(), "artist");
  EXPECT_FALSE(welcome.read());
  EXPECT_EQ(result("/notification/get", {{"from", Value(badgeNotice.notifId())}}).size(), 1u);

  EXPECT_TRUE(result("/notification/read", {{"notifId", Value(welcome.notifId())}}).isNull());
  const MRPushNotificationDocument read(
      result("/notification/get", {{"count", Value(10)}}).asArray()->at(1));
  EXPECT_TRUE(read.read());
  EXPECT_EQ(failure("/notification/read", {{"notifId", Value(12345)}}),
            code(SandboxError::NotFound));
  EXPECT_EQ(failure("/notification/get", {{"count", Value(0)}}),
            code(SandboxError::InvalidParameter));

  const Value mine = result("/fan/get", {{"fields", Value("{}")}});
  EXPECT_EQ(mine.size(), 1u);
  const SandboxAccount other = signUp("second-fan");
  EXPECT_EQ(errorCode(callSigned("/fan/add", other, {{"waid", Value(waid)}})), 0);
  const Value fans = result(
      "/fan/get_with_waid",
      {{"waid", Value(waid)}, {"from", Value(1)}, {"count", Value(5)}, {"fields", Value("{}")}});
  ASSERT_EQ(fans.size(), 1u);
  EXPECT_EQ(MRFanDocument(fans.asArray()->front()).aname(), "second-fan");
}

TEST_F(MireluneProtocolTest, MessagesGoToTheArtistsThread) {
  const std::string waid =
      callSigned("/artist/update", me, {{"artist", Value(artistJson("Mono", "en", "x"))}})
          .stringForKey("waid", "");
  const MRMessageDocument sent(
      result("/message/send_to_waid", {{"waid", Value(waid)}, {"text", Value("Hello!")}}));
  EXPECT_EQ(sent.text(), "Hello!");
  EXPECT_EQ(sent.sender(), "fan");
  EXPECT_EQ(sent.fan()->aname(), "listener");
  EXPECT_EQ(sent.artist()->waid(), waid);
  ASSERT_TRUE(sent.displayTo());
  result("/message/send_to_waid", {{"waid", Value(waid)}, {"text", Value("Again")}});

  const Value thread = result(
      "/message/get_with_waid",
      {{"waid", Value(waid)}, {"older", Value(0)}, {"count", Value(10)}, {"fields", Value("{}")}});
  ASSERT_EQ(thread.size(), 2u);
  EXPECT_EQ(MRMessageDocument(thread.asArray()->front()).text(), "Again");
  const Value older =
      result("/message/get_with_waid",
             {{"waid", Value(waid)},
              {"older", Value(MRMessageDocument(thread.asArray()->front()).msgId())},
              {"count", Value(10)}});
  ASSERT_EQ(older.size(), 1u);
  EXPECT_EQ(MRMessageDocument(older.asArray()->front()).text(), "Hello!");
  EXPECT_EQ(failure("/message/send_to_waid", {{"waid", Value(waid)}}),
            code(SandboxError::MissingParameter));
}

TEST_F(MireluneProtocolTest, ProfilesTakeAPictureByMultipart) {
  const std::string picture = sandbox::PngWriter::encodeRgba(1, 1, {255, 0, 0, 255});
  auto updated = postSignedMultipart("/listener_profile/update", me,
                                     {{"screenName", Value("Lis")}, {"bio", Value("Hi there")}},
                                     {{"profileImage", picture, "profileImage", "image/png"}});
  ASSERT_TRUE(updated);
  const Value envelope = bodyJson(updated);
  ASSERT_EQ(errorCode(envelope), 0) << toJson(envelope);
  const MRListenerProfileDocument profile(*envelope.get("result"));
  EXPECT_EQ(profile.screenName(), "Lis");
  EXPECT_EQ(profile.bio(), "Hi there");
  ASSERT_TRUE(profile.profileImageUrl());
  auto image = client->Get(profile.profileImageUrl()->substr(server->baseUrl().size()));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->body, picture);
  EXPECT_EQ(image->get_header_value("Content-Type"), "image/png");

  // Without a picture the call is a plain form; what it leaves out stays.
  const MRListenerProfileDocument renamed(
      result("/listener_profile/update", {{"screenName", Value("L")}}));
  EXPECT_EQ(renamed.screenName(), "L");
  EXPECT_EQ(renamed.bio(), "Hi there");

  const SandboxAccount other = signUp("viewer");
  const Value seen = callSigned("/listener_profile/get", other, {{"aid", Value(me.aid)}});
  EXPECT_EQ(MRListenerProfileDocument(*seen.get("result")).aname(), "listener");
  EXPECT_EQ(errorCode(callSigned("/listener_profile/get", other, {{"aid", Value(9999)}})),
            code(SandboxError::NotFound));
  auto notPng = postSignedMultipart("/listener_profile/update", me, {},
                                    {{"profileImage", "GIF89a", "profileImage", "image/png"}});
  EXPECT_EQ(errorCode(bodyJson(notPng)), code(SandboxError::InvalidParameter));
}

TEST_F(MireluneProtocolTest, LogsAreKeptForTests) {
  EXPECT_TRUE(result("/usage_log/launch").isNull());
  result("/usage_log/launch");
  EXPECT_EQ(server->launchCount(me.aid), 2);
  result("/usage_log/search_keyword", {{"artistName", Value("Mono")}});
  result("/usage_log/search_keyword");
  result("/listener_profile/add_device_token", {{"deviceToken", Value("0a1b2c")}});
  result("/listener_profile/add_device_token", {{"deviceToken", Value("0a1b2c")}});
  EXPECT_EQ(server->deviceTokens(me.aid), std::vector<std::string>{"0a1b2c"});
  EXPECT_EQ(failure("/listener_profile/add_device_token"), code(SandboxError::MissingParameter));

  result("/playback_history/add", {{"artistName", Value("Mono")},
                                   {"trackTitle", Value("Ashes")},
                                   {"playlistName", Value("Recommend mix")}});
  const auto history = server->playbackHistory(me.aid);
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].stringForKey("playlistName", ""), "Recommend mix");
  EXPECT_FALSE(history[0].contains("artworkUrl"));
}

std::string uploadLine(const std::string& artist, const std::string& title, int playCount) {
  Value line = Value::dictionary();
  line.set("artistName", Value(artist));
  line.set("trackTitle", Value(title));
  line.set("albumTitle", Value("Album"));
  line.set("playCount", Value(playCount));
  Value metaData = Value::dictionary();
  metaData.set("name", Value(title));
  metaData.set("dateAdded", Value(0));
  line.set("iTunes", metaData);
  return toJson(line) + "\n";
}

TEST_F(MireluneProtocolTest, TheLibraryUploadIsStoredLineByLine) {
  const std::string file = uploadLine("Mono", "Ashes", 3) + uploadLine("Björk", "Jóga", 0);
  auto uploaded = postSignedMultipart("/user_track/update2", me, {},
                                      {{"tracks", file, "tracks", "text/plain"}});
  ASSERT_TRUE(uploaded);
  EXPECT_EQ(errorCode(bodyJson(uploaded)), 0) << uploaded->body;
  const auto tracks = server->uploadedTracks(me.aid);
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].stringForKey("trackTitle", ""), "Ashes");
  EXPECT_EQ(tracks[0].intForKey("playCount", -1), 3);
  EXPECT_EQ(tracks[1].stringForKey("artistName", ""), "Björk");
  EXPECT_EQ(tracks[1].stringForKeyPath("iTunes/name", ""), "Jóga");
  EXPECT_TRUE(server->uploadedTracks(me.aid + 1).empty());

  // Refused whole: a malformed line, a missing final line feed, an extra form field.
  const auto refused = [&](const std::string& content, const Dictionary& fields = {}) {
    return errorCode(bodyJson(postSignedMultipart("/user_track/update2", me, fields,
                                                  {{"tracks", content, "tracks", "text/plain"}})));
  };
  EXPECT_EQ(refused(uploadLine("A", "B", 1) + "{\"artistName\":\"x\"}\n"),
            code(SandboxError::InvalidParameter));
  std::string unterminated = uploadLine("A", "B", 1);
  unterminated.pop_back();
  EXPECT_EQ(refused(unterminated), code(SandboxError::InvalidParameter));
  EXPECT_EQ(refused(uploadLine("A", "B", 1), {{"extra", Value("1")}}),
            code(SandboxError::InvalidParameter));
  EXPECT_EQ(errorCode(callSigned("/user_track/update2", me)), code(SandboxError::MissingParameter));
  EXPECT_EQ(server->uploadedTracks(me.aid).size(), 2u);

  // The older tab-separated upload keeps its columns.
  auto tsv = postSignedMultipart(
      "/user_track/update", me, {},
      {{"tracks", "Mono\tAshes\t3\r\nAir\tLa femme\t1\n", "tracks", "text/plain"}});
  EXPECT_EQ(errorCode(bodyJson(tsv)), 0);
  const auto all = server->uploadedTracks(me.aid);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[3], parseJson(R"({"columns":["Air","La femme","1"]})").value());
}

TEST(MireluneUploadLinesTest, ChecksEachMember) {
  using sandbox::MireluneProtocol;
  EXPECT_TRUE(MireluneProtocol::userTrackLines("").value().empty());
  const auto check = [](const std::string& line) {
    auto lines = MireluneProtocol::userTrackLines(line + "\n");
    return lines.ok() ? std::string() : lines.error().description();
  };
  const std::string good =
      R"({"artistName":"a","trackTitle":"t","albumTitle":"","playCount":0,"iTunes":{}})";
  EXPECT_EQ(check(good), "");
  EXPECT_EQ(
      check(R"({"artistName":"a","trackTitle":"t","albumTitle":"","playCount":-1,"iTunes":{}})"),
      "line 1: \"playCount\" must be a non-negative integer");
  EXPECT_EQ(
      check(R"({"artistName":"a","trackTitle":"t","albumTitle":"","playCount":1.5,"iTunes":{}})"),
      "line 1: \"playCount\" must be a non-negative integer");
  EXPECT_EQ(check(R"({"artistName":1,"trackTitle":"t","albumTitle":"","playCount":0,"iTunes":{}})"),
            "line 1: \"artistName\" must be a string");
  EXPECT_EQ(
      check(R"({"artistName":"a","trackTitle":"t","albumTitle":"","playCount":0,"iTunes":[]})"),
      "line 1: the library member \"iTunes\" must be an object");
  EXPECT_EQ(check(R"({"artistName":"a","trackTitle":"t","albumTitle":"","playCount":0})"),
            "line 1: a track has exactly five members");
  EXPECT_EQ(check(good + "\n[]"), "line 2: not a JSON object");
}

TEST_F(MireluneProtocolTest, TheTagCloudIsAPngOfTheTags) {
  const auto generate = [&](const std::string& tags, const std::string& shape) {
    return postSigned("/genre_tagcloud/generate", me,
                      {{"tags", Value(tags)}, {"shape", Value(shape)}});
  };
  auto rock = generate(R"([{"weight":0.5,"name":"rock"}])", "star");
  ASSERT_TRUE(rock);
  EXPECT_EQ(rock->get_header_value("Content-Type"), "image/png");
  const auto rockPicture = decodePng(rock->body);
  ASSERT_TRUE(rockPicture);
  EXPECT_EQ(rockPicture->width, 144u);  // the picture grows with the tags
  EXPECT_EQ(rockPicture->height, 144u);
  EXPECT_EQ(rockPicture->rows.size(), 144u * (144u * 4 + 1));

  auto jazz = generate(R"([{"weight":0.5,"name":"jazz"}])", "star");
  ASSERT_TRUE(jazz);
  const auto jazzPicture = decodePng(jazz->body);
  ASSERT_TRUE(jazzPicture);
  EXPECT_TRUE(jazzPicture->rows != rockPicture->rows);  // colours follow the names
  EXPECT_NE(rockPicture->rows.find(std::string("\xEC\xEC\xEC\xFF", 4)), std::string::npos);

  auto two = generate(R"([{"weight":1,"name":"rock"},{"weight":0.2,"name":"pop"}])", "heart");
  ASSERT_TRUE(two);
  EXPECT_EQ(decodePng(two->body)->width, 160u);

  // Failures are envelopes, which the client does not take for a picture.
  EXPECT_EQ(errorCode(bodyJson(generate("[]", "circle"))), code(SandboxError::InvalidParameter));
  EXPECT_EQ(errorCode(bodyJson(generate(R"([{"name":"rock"}])", "star"))),
            code(SandboxError::InvalidParameter));

  // The listener's profile now shows the last cloud.
  const MRListenerProfileDocument profile(
      result("/listener_profile/get", {{"aid", Value(me.aid)}}));
  ASSERT_TRUE(profile.profileTagCloud());
  EXPECT_EQ(profile.profileTagCloud()->shape(), "heart");
  auto shown = client->Get(profile.profileTagCloud()->imageUrl()->substr(server->baseUrl().size()));
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->body, two->body);
}

}  // namespace
}  // namespace mr
