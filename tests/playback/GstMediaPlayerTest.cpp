// The GStreamer media player on real media: twelve seconds of AAC in M4A and
// of an MP4 video with an AAC sound track, made with the sandbox's media
// maker, served over loopback and played to files. The sinks run without
// the clock (filesink does not sync), so nothing here waits for the media's
// own time: what was played is read back from the samples.
#include "playback/GstMediaPlayer.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <spdlog/sinks/ostream_sink.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <sstream>

#include "base/FileUtil.h"
#include "base/Log.h"
#include "playback/MediaServer.h"
#include "sandbox/MediaMaker.h"
#include "sandbox/SandboxServer.h"
#include "support/TempDir.h"

namespace mr {
namespace {

using Property = MRMediaPlayer::Property;

constexpr double kSeconds = 12.0;
constexpr int kSampleRate = 44100;
constexpr double kFade = 5.0;

// Made once per test process.
struct TwelveSeconds {
  test::TempDir dir;
  std::string audio;  // M4A bytes
  std::string video;  // MP4 bytes
};

const TwelveSeconds& twelveSeconds() {
  static const TwelveSeconds* media = [] {
    auto* made = new TwelveSeconds;
    sandbox::Tone tone{kSeconds, 440.0, kSampleRate};
    sandbox::VideoClip clip;
    clip.tone = tone;
    const std::string audioPath = made->dir.file("tone.m4a");
    const std::string videoPath = made->dir.file("clip.mp4");
    EXPECT_TRUE(sandbox::MediaMaker::writeAudio(audioPath, tone).ok());
    EXPECT_TRUE(sandbox::MediaMaker::writeVideo(videoPath, clip).ok());
    made->audio = readFileToString(audioPath).valueOr("");
    made->video = readFileToString(videoPath).valueOr("");
    return made;
  }();
  return *media;
}

// Runs GLib's main context (the program's main thread) until `done`; the
// limit only guards against a hanging test.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(30)) {
  GSource* wake = g_timeout_source_new(10);
  g_source_set_callback(
      wake, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
  g_source_attach(wake, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline)
    g_main_context_iteration(nullptr, TRUE);
  g_source_destroy(wake);
  g_source_unref(wake);
  return done();
}

// Delivers what is already due, without waiting.
void drain() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// What the observer saw, with the value each change brought.
struct Watcher {
  struct Seen {
    Property property;
    double rate;
    bool bufferEmpty;
    bool likelyToKeepUp;
    std::vector<MediaTimeRange> ranges;
  };
  std::vector<Seen> seen;

  void watch(MRMediaPlayer& player) {
    player.setObserver([this, &player](Property property) {
      seen.push_back({property, player.rate(), player.playbackBufferEmpty(),
                      player.playbackLikelyToKeepUp(), player.loadedTimeRanges()});
    });
  }
  size_t count(Property property) const {
    return static_cast<size_t>(std::count_if(
        seen.begin(), seen.end(), [&](const Seen& s) { return s.property == property; }));
  }
  std::optional<size_t> first(Property property) const {
    for (size_t i = 0; i < seen.size(); ++i)
      if (seen[i].property == property) return i;
    return std::nullopt;
  }
};

// Interleaved stereo 32-bit floats, as the test sink writes them.
struct Samples {
  std::vector<float> values;

  static Samples read(const std::string& path) {
    Samples samples;
    const std::string bytes = readFileToString(path).valueOr("");
    samples.values.resize(bytes.size() / sizeof(float));
    std::memcpy(samples.values.data(), bytes.data(), samples.values.size() * sizeof(float));
    return samples;
  }
  double seconds() const { return static_cast<double>(values.size()) / 2 / kSampleRate; }
  // Root mean square over [from, to) seconds, both channels.
  double loudness(double from, double to) const {
    const auto first = static_cast<size_t>(from * kSampleRate) * 2;
    const auto last = std::min(values.size(), static_cast<size_t>(to * kSampleRate) * 2);
    double sum = 0;
    for (size_t i = first; i < last; ++i)
      sum += static_cast<double>(values[i]) * values[i];
    return last > first ? std::sqrt(sum / static_cast<double>(last - first)) : 0;
  }
};

std::vector<MediaVolumeRamp> fades(double duration) {
  return {{0, 1, 0, kFade}, {1, 0, duration - kFade, kFade}};
}

class GstMediaPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GstMediaPlayerFactory::initialize().ok());
    server.add("/tone.m4a", twelveSeconds().audio);
    server.add("/clip.mp4", twelveSeconds().video, "video/mp4");
    server.add("/notes.m4a", std::string(200000, 'x') + "these are no media", "audio/mp4");
  }

  // Players whose sound goes, as floats, to out-<n>.f32 in the test folder.
  GstMediaPlayerFactory factoryWritingFiles() {
    const std::string sink =
        "audioconvert ! audio/x-raw,format=F32LE,channels=2 ! filesink location=" +
        dir.file("out-{n}.f32");
    return GstMediaPlayerFactory([sink](const std::string& name) -> std::optional<std::string> {
      if (name == "MIRELUNE_AUDIO_SINK") return sink;
      return std::nullopt;
    });
  }

  // As the track player starts an item: play, then the fades once the asset
  // is known. Returns what the asset said.
  Result<MediaAssetInfo> start(MRMediaPlayer& player) {
    std::optional<Result<MediaAssetInfo>> loaded;
    player.play();
    player.loadAsset([&](Result<MediaAssetInfo> info) {
      if (info.ok()) player.setVolumeRamps(fades(info->duration));
      loaded = std::move(info);
    });
    EXPECT_TRUE(pumpUntil([&] { return loaded.has_value(); }));
    return loaded.value_or(Error("test", 0, "never loaded"));
  }

  static bool atEnd(const MRMediaPlayer& player) {
    return player.rate() == 0 && player.duration() && player.currentTime() >= *player.duration();
  }

  test::TempDir dir;
  test::MediaServer server;
};

class GstMediaPlayerMediaTest : public GstMediaPlayerTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(GstMediaPlayerMediaTest, PlaysFromLoopbackToTheEndWithTheFadesOnTheSamples) {
  auto factory = factoryWritingFiles();
  auto player = factory.playerForUrl(server.url(GetParam()));
  Watcher watcher;
  watcher.watch(*player);
  EXPECT_EQ(player->readiness(), MediaPlayerReadiness::Unknown);
  EXPECT_EQ(player->itemStatus(), MediaItemStatus::Unknown);
  EXPECT_FALSE(player->duration());

  auto asset = start(*player);
  // Asked to play: the rate says so before the first sample.
  EXPECT_EQ(player->rate(), 1.0);
  ASSERT_TRUE(asset.ok()) << asset.error().toString();
  EXPECT_NEAR(asset->duration, kSeconds, 0.05);
  EXPECT_EQ(asset->audioTrackIds, std::vector<int>{1});
  EXPECT_EQ(player->readiness(), MediaPlayerReadiness::ReadyToPlay);
  EXPECT_EQ(player->itemStatus(), MediaItemStatus::ReadyToPlay);

  ASSERT_TRUE(pumpUntil([&] { return atEnd(*player); }));
  drain();
  EXPECT_DOUBLE_EQ(player->currentTime(), *player->duration());
  EXPECT_FALSE(player->itemError());
  EXPECT_FALSE(player->playbackBufferEmpty());
  EXPECT_TRUE(player->playbackLikelyToKeepUp());
  ASSERT_EQ(player->loadedTimeRanges().size(), 1u);
  EXPECT_NEAR(player->loadedTimeRanges()[0].end(), *player->duration(), 0.05);

  // Loading, playing, finished as a track player sees them: the rate first
  // (1 before the item is ready), then readiness, and the rate falling to 0
  // at the end.
  ASSERT_FALSE(watcher.seen.empty());
  EXPECT_EQ(watcher.seen.front().property, Property::Rate);
  EXPECT_EQ(watcher.seen.front().rate, 1.0);
  EXPECT_LT(watcher.first(Property::Rate), watcher.first(Property::Readiness));
  EXPECT_EQ(watcher.count(Property::ItemStatus), 1u);
  EXPECT_EQ(watcher.seen.back().property, Property::Rate);
  EXPECT_EQ(watcher.seen.back().rate, 0.0);

  // Every sample was played once, the fades on them.
  const Samples samples = Samples::read(dir.file("out-1.f32"));
  EXPECT_NEAR(samples.seconds(), kSeconds, 0.05);
  const double full = samples.loudness(5.9, 6.1);
  EXPECT_GT(full, 0.1);
  EXPECT_LT(samples.loudness(0, 0.1), 0.05 * full);
  EXPECT_LT(samples.loudness(kSeconds - 0.1, kSeconds), 0.05 * full);
  // Half way through each fade, half the volume.
  EXPECT_NEAR(samples.loudness(2.45, 2.55) / full, 0.5, 0.05);
  EXPECT_NEAR(samples.loudness(9.45, 9.55) / full, 0.5, 0.05);
}

TEST_F(GstMediaPlayerTest, LoadedRangesAndBufferFlagsFollowAStreamThatRunsDry) {
  // The server stops after two fifths of the file until let go.
  server.holdFrom(twelveSeconds().audio.size() * 2 / 5);
  auto factory = factoryWritingFiles();
  auto player = factory.playerForUrl(server.url("/tone.m4a"));
  Watcher watcher;
  watcher.watch(*player);
  EXPECT_TRUE(player->playbackBufferEmpty());
  EXPECT_FALSE(player->playbackLikelyToKeepUp());
  auto asset = start(*player);
  ASSERT_TRUE(asset.ok()) << asset.error().toString();

  // It stalls on what arrived: waiting, not playing, part of it loaded.
  ASSERT_TRUE(pumpUntil(
      [&] { return server.holding() && player->playbackBufferEmpty() && player->rate() == 0; }));
  drain();
  EXPECT_FALSE(player->playbackLikelyToKeepUp());
  ASSERT_EQ(player->loadedTimeRanges().size(), 1u);
  const MediaTimeRange held = player->loadedTimeRanges()[0];
  EXPECT_NEAR(held.start, 0, 0.01);
  EXPECT_GT(held.end(), 0.2 * kSeconds);
  EXPECT_LT(held.end(), 0.6 * kSeconds);
  EXPECT_LT(player->currentTime(), held.end());
  EXPECT_EQ(watcher.seen.back().rate, 0.0);

  // Once the rest arrives it goes on by itself and plays everything.
  const size_t beforeRelease = watcher.seen.size();
  server.release();
  ASSERT_TRUE(pumpUntil([&] { return atEnd(*player); }));
  drain();
  EXPECT_FALSE(player->playbackBufferEmpty());
  EXPECT_TRUE(player->playbackLikelyToKeepUp());
  ASSERT_EQ(player->loadedTimeRanges().size(), 1u);
  EXPECT_NEAR(player->loadedTimeRanges()[0].end(), kSeconds, 0.05);

  double loaded = 0;
  bool resumed = false;
  for (size_t i = 0; i < watcher.seen.size(); ++i) {
    const auto& seen = watcher.seen[i];
    if (seen.property == Property::LoadedTimeRanges) {
      ASSERT_EQ(seen.ranges.size(), 1u);
      EXPECT_GE(seen.ranges[0].end(), loaded) << "what is loaded only grows";
      loaded = seen.ranges[0].end();
    }
    if (i >= beforeRelease && seen.property == Property::Rate && seen.rate == 1.0) resumed = true;
  }
  EXPECT_TRUE(resumed);
  EXPECT_GT(watcher.count(Property::PlaybackLikelyToKeepUp), 2u);
  EXPECT_GT(watcher.count(Property::PlaybackBufferEmpty), 2u);
  const Samples samples = Samples::read(dir.file("out-1.f32"));
  EXPECT_NEAR(samples.seconds(), kSeconds, 0.05);
}

TEST_F(GstMediaPlayerTest, A404IsAFailedStart) {
  auto factory = factoryWritingFiles();
  auto player = factory.playerForUrl(server.url("/missing.m4a"));
  Watcher watcher;
  watcher.watch(*player);
  auto asset = start(*player);
  ASSERT_FALSE(asset.ok());
  EXPECT_EQ(asset.error().domain(), kMediaErrorDomain);
  EXPECT_EQ(asset.error().code(), static_cast<int64_t>(MediaErrorCode::NotFound));
  EXPECT_NE(asset.error().description().find("/missing.m4a"), std::string::npos);
  drain();
  EXPECT_EQ(player->itemStatus(), MediaItemStatus::Failed);
  ASSERT_TRUE(player->itemError());
  EXPECT_EQ(*player->itemError(), asset.error());
  EXPECT_EQ(player->readiness(), MediaPlayerReadiness::Failed);
  EXPECT_EQ(player->rate(), 0.0);
  EXPECT_EQ(watcher.count(Property::ItemStatus), 1u);
  EXPECT_FALSE(player->duration());

  // Asking again answers the same; playing starts nothing.
  std::optional<Result<MediaAssetInfo>> again;
  player->loadAsset([&](Result<MediaAssetInfo> info) { again = std::move(info); });
  player->play();
  ASSERT_TRUE(pumpUntil([&] { return again.has_value(); }));
  EXPECT_FALSE(again->ok());
  EXPECT_EQ(player->rate(), 0.0);
  EXPECT_FALSE(fileExists(dir.file("out-1.f32")) &&
               !readFileToString(dir.file("out-1.f32")).valueOr("").empty());
}

TEST_F(GstMediaPlayerTest, WhatIsNotMediaFailsCleanly) {
  test::writeFile(dir.file("notes.txt"), "plain words, no sound at all\n");
  const std::string& audio = twelveSeconds().audio;
  test::writeFile(dir.file("cut.m4a"), audio.substr(0, audio.size() / 20));
  struct Case {
    std::string url;
    MediaErrorCode code;
  };
  const std::vector<Case> cases = {
      {server.url("/notes.m4a"), MediaErrorCode::NotMedia},
      {"file://" + dir.file("notes.txt"), MediaErrorCode::NotMedia},
      {"file://" + dir.file("absent.m4a"), MediaErrorCode::NotFound},
      {"not an address", MediaErrorCode::NotFound},
  };
  auto factory = factoryWritingFiles();
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.url);
    auto player = factory.playerForUrl(bad.url);
    auto asset = start(*player);
    ASSERT_FALSE(asset.ok());
    EXPECT_EQ(asset.error().code(), static_cast<int64_t>(bad.code)) << asset.error().toString();
    drain();
    EXPECT_EQ(player->itemStatus(), MediaItemStatus::Failed);
    EXPECT_EQ(player->rate(), 0.0);
  }
  // A file cut short plays what it has, or fails; either way it ends.
  auto cut = factory.playerForUrl("file://" + dir.file("cut.m4a"));
  auto asset = start(*cut);
  ASSERT_TRUE(
      pumpUntil([&] { return cut->itemStatus() == MediaItemStatus::Failed || atEnd(*cut); }));
}

TEST_F(GstMediaPlayerTest, TwoPlayersOfACrossFadeWriteTwoFiles) {
  auto factory = factoryWritingFiles();
  auto first = factory.playerForUrl(server.url("/tone.m4a"));
  auto second = factory.playerForUrl(server.url("/clip.mp4"));
  ASSERT_TRUE(start(*first).ok());
  ASSERT_TRUE(start(*second).ok());
  ASSERT_TRUE(pumpUntil([&] { return atEnd(*first) && atEnd(*second); }));
  EXPECT_NEAR(Samples::read(dir.file("out-1.f32")).seconds(), kSeconds, 0.05);
  EXPECT_NEAR(Samples::read(dir.file("out-2.f32")).seconds(), kSeconds, 0.05);
}

TEST_F(GstMediaPlayerTest, PausedItSeeksAndPlaysFromThereAgainAfterTheEnd) {
  auto factory = factoryWritingFiles();
  auto player = factory.playerForUrl(server.url("/tone.m4a"));
  std::optional<Result<MediaAssetInfo>> loaded;
  player->loadAsset([&](Result<MediaAssetInfo> info) { loaded = std::move(info); });
  ASSERT_TRUE(pumpUntil([&] { return loaded.has_value(); }));
  ASSERT_TRUE(loaded->ok());
  // Ready but not asked to play: nothing is played.
  drain();
  EXPECT_EQ(player->readiness(), MediaPlayerReadiness::ReadyToPlay);
  EXPECT_EQ(player->rate(), 0.0);
  EXPECT_EQ(player->currentTime(), 0.0);

  player->seekToTime(9);
  EXPECT_NEAR(player->currentTime(), 9, 0.01);
  player->play();
  ASSERT_TRUE(pumpUntil([&] { return atEnd(*player); }));
  EXPECT_NEAR(Samples::read(dir.file("out-1.f32")).seconds(), kSeconds - 9, 0.05);

  // At the end, play alone stays there; a seek back plays the rest again.
  player->play();
  drain();
  EXPECT_EQ(player->rate(), 0.0);
  player->seekToTime(kSeconds - 2);
  player->play();
  EXPECT_EQ(player->rate(), 1.0);
  ASSERT_TRUE(pumpUntil([&] { return atEnd(*player); }));
  // filesink starts its file anew at a seek.
  EXPECT_NEAR(Samples::read(dir.file("out-1.f32")).seconds(), 2, 0.05);
}

TEST_F(GstMediaPlayerTest, ACachedPreviewPlaysFromItsFileWithTheSandboxStopped) {
  // A favorite's preview, fetched from the sandbox into the cache folder.
  sandbox::SandboxServer::Options options;
  options.dataFolder = dir.file("sandbox");
  sandbox::SandboxServer sandbox(options);
  ASSERT_TRUE(sandbox.start().ok());
  const auto& tracks = sandbox.catalogue().tracks();
  auto listed =
      std::find_if(tracks.begin(), tracks.end(),
                   [](const sandbox::CatalogueTrack& track) { return track.storeTrackId != 0; });
  ASSERT_NE(listed, tracks.end());
  httplib::Client client(sandbox.baseUrl());
  auto preview = client.Get("/itunes/preview/" + std::to_string(listed->storeTrackId) + ".m4a");
  ASSERT_TRUE(preview);
  ASSERT_EQ(preview->status, 200);
  const std::string cached = dir.file("cache-preview.m4a");
  test::writeFile(cached, preview->body);
  sandbox.stop();

  auto factory = factoryWritingFiles();
  auto player = factory.playerForUrl("file://" + cached);
  auto asset = start(*player);
  ASSERT_TRUE(asset.ok()) << asset.error().toString();
  // The sandbox's previews last as long as the store's.
  EXPECT_NEAR(asset->duration, 30, 0.05);
  ASSERT_TRUE(pumpUntil([&] { return atEnd(*player); }));
  drain();
  EXPECT_FALSE(player->itemError());
  ASSERT_EQ(player->loadedTimeRanges().size(), 1u);
  EXPECT_NEAR(player->loadedTimeRanges()[0].end(), 30, 0.05);
  const Samples samples = Samples::read(dir.file("out-1.f32"));
  EXPECT_NEAR(samples.seconds(), 30, 0.05);
  EXPECT_LT(samples.loudness(0, 0.1), 0.05 * samples.loudness(14.9, 15.1));
}

TEST_F(GstMediaPlayerTest, AnUnusableSinkDescriptionIsAClearError) {
  GstMediaPlayerFactory factory([](const std::string& name) -> std::optional<std::string> {
    if (name == "MIRELUNE_AUDIO_SINK") return "nosuchsink ! !";
    return std::nullopt;
  });
  auto player = factory.playerForUrl(server.url("/tone.m4a"));
  auto asset = start(*player);
  ASSERT_FALSE(asset.ok());
  EXPECT_EQ(asset.error().code(), static_cast<int64_t>(MediaErrorCode::AudioOutput));
  EXPECT_NE(asset.error().description().find("MIRELUNE_AUDIO_SINK"), std::string::npos);
}

// Without MIRELUNE_AUDIO_SINK the sound goes to the card, or, on a machine
// without one, to a null sink kept at the clock's pace; that is said once.
TEST_F(GstMediaPlayerTest, WithoutASoundDeviceItPlaysSilentlyAndSaysSoOnce) {
  std::ostringstream said;
  auto logged = std::make_shared<spdlog::sinks::ostream_sink_mt>(said);
  log::warning("media player test: listening to the log");
  auto logger = spdlog::get("mirelune");
  ASSERT_TRUE(logger);
  logger->sinks().push_back(logged);
  GstMediaPlayerFactory factory([](const std::string&) { return std::nullopt; });
  auto first = factory.playerForUrl(server.url("/tone.m4a"));
  auto second = factory.playerForUrl(server.url("/clip.mp4"));
  ASSERT_TRUE(start(*first).ok());
  ASSERT_TRUE(start(*second).ok());
  logger->sinks().pop_back();
  const std::string text = said.str();
  const size_t notice = text.find("No sound device: playing silently");
  if (notice != std::string::npos) {
    EXPECT_EQ(text.find("No sound device", notice + 1), std::string::npos);
  }
  // Playing in real time: still at the start, not at the end.
  EXPECT_EQ(first->readiness(), MediaPlayerReadiness::ReadyToPlay);
  EXPECT_EQ(first->rate(), 1.0);
  EXPECT_LT(first->currentTime(), kSeconds / 2);
}

INSTANTIATE_TEST_SUITE_P(AacInM4aAndMp4Video, GstMediaPlayerMediaTest,
                         ::testing::Values("/tone.m4a", "/clip.mp4"));

}  // namespace
}  // namespace mr
