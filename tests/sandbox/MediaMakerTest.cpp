#include "sandbox/MediaMaker.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "base/FileUtil.h"
#include "sandbox/MediaProbe.h"
#include "sandbox/SandboxMedia.h"
#include "support/TempDir.h"

namespace mr {
namespace {

using sandbox::MediaMaker;
using sandbox::SandboxMedia;
using sandbox::Tone;
using sandbox::VideoClip;

TEST(MediaMakerTest, WritesAnM4aWithAStereoAacToneOfTheLengthAsked) {
  test::TempDir dir;
  const std::string path = dir.file("tone.m4a");
  const Status made = MediaMaker::writeAudio(path, Tone{3.5, 330.0, 44100});
  ASSERT_TRUE(made.ok()) << made.error().toString();
  auto media = test::probeMedia(path);
  ASSERT_TRUE(media.ok()) << media.error().toString();
  EXPECT_NE(media->format.find("m4a"), std::string::npos);
  EXPECT_EQ(media->brand, "M4A ");
  ASSERT_EQ(media->streams.size(), 1u);
  const test::ProbedStream& audio = media->streams[0];
  EXPECT_EQ(audio.codec, "aac");
  EXPECT_EQ(audio.sampleRate, 44100);
  EXPECT_EQ(audio.channels, 2);
  EXPECT_NEAR(audio.decodedSeconds, 3.5, 0.05);
  // Nothing is left beside it.
  EXPECT_FALSE(fileExists(dir.file("tone.partial.m4a")));
}

TEST(MediaMakerTest, WritesAnMp4WithAPictureAndAnAacSoundTrack) {
  test::TempDir dir;
  const std::string path = dir.file("clip.mp4");
  VideoClip video;
  video.width = 96;
  video.height = 54;
  video.framesPerSecond = 8;
  video.tone.seconds = 2.0;
  const Status made = MediaMaker::writeVideo(path, video);
  ASSERT_TRUE(made.ok()) << made.error().toString();
  auto media = test::probeMedia(path);
  ASSERT_TRUE(media.ok()) << media.error().toString();
  const test::ProbedStream* picture = media->firstVideo();
  const test::ProbedStream* sound = media->firstAudio();
  ASSERT_NE(picture, nullptr);
  ASSERT_NE(sound, nullptr);
  EXPECT_EQ(picture->codec, "mpeg4");
  EXPECT_EQ(picture->width, 96);
  EXPECT_EQ(picture->height, 54);
  EXPECT_EQ(picture->decodedFrames, 16);
  EXPECT_EQ(sound->codec, "aac");
  EXPECT_NEAR(sound->decodedSeconds, 2.0, 0.05);
}

TEST(MediaMakerTest, TheIndexComesFirstSoPlayersCanStartEarly) {
  test::TempDir dir;
  const std::string path = dir.file("tone.m4a");
  ASSERT_TRUE(MediaMaker::writeAudio(path, Tone{1.0, 440.0, 44100}).ok());
  const std::string bytes = readFileToString(path).valueOr("");
  const size_t moov = bytes.find("moov");
  const size_t mdat = bytes.find("mdat");
  ASSERT_NE(moov, std::string::npos);
  ASSERT_NE(mdat, std::string::npos);
  EXPECT_LT(moov, mdat);
}

TEST(MediaMakerTest, FailuresAreStatusesAndLeaveNoFile) {
  test::TempDir dir;
  const Status unwritable = MediaMaker::writeAudio(dir.file("missing/folder/tone.m4a"), Tone{});
  EXPECT_FALSE(unwritable.ok());
  EXPECT_FALSE(fileExists(dir.file("missing")));
  EXPECT_FALSE(MediaMaker::writeAudio(dir.file("silence.m4a"), Tone{0.0, 440.0, 44100}).ok());
  EXPECT_FALSE(fileExists(dir.file("silence.m4a")));
  VideoClip odd;
  odd.width = 97;
  EXPECT_FALSE(MediaMaker::writeVideo(dir.file("odd.mp4"), odd).ok());
  EXPECT_FALSE(fileExists(dir.file("odd.mp4")));
}

TEST(SandboxMediaTest, MakesEachFileOnceOnFirstUseAndKeepsItForLaterRuns) {
  test::TempDir dir;
  SandboxMedia media(dir.file("media"));
  EXPECT_FALSE(fileExists(media.previewPath(3)));
  // Requests that arrive together share one encoding.
  std::vector<std::shared_ptr<const std::string>> seen(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] {
      auto bytes = media.preview(3);
      if (bytes.ok()) seen[i] = *bytes;
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (const auto& bytes : seen) {
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes.get(), seen[0].get());
  }
  EXPECT_TRUE(fileExists(media.previewPath(3)));
  EXPECT_FALSE(fileExists(media.previewPath(4)));

  SandboxMedia again(dir.file("media"));
  auto reread = again.preview(3);
  ASSERT_TRUE(reread.ok());
  EXPECT_EQ(**reread, *seen[0]);
  EXPECT_FALSE(again.preview(SandboxMedia::kPreviewCount).ok());
  EXPECT_FALSE(again.stream(-1).ok());
}

TEST(SandboxMediaTest, PreviewsLastAsLongAsTheStoresDifferInPitchAndStreamsShrinkWithQuality) {
  for (int i = 0; i < SandboxMedia::kPreviewCount; ++i)
    EXPECT_EQ(SandboxMedia::previewTone(i).seconds, 30.0);
  for (int i = 1; i < SandboxMedia::kPreviewCount; ++i)
    EXPECT_GT(SandboxMedia::previewTone(i).frequency, SandboxMedia::previewTone(i - 1).frequency);
  for (int i = 0; i < SandboxMedia::kStreamCount; ++i)
    EXPECT_GE(SandboxMedia::streamClip(i).tone.seconds, 30.0);
  for (int i = 1; i < SandboxMedia::kStreamCount; ++i)
    EXPECT_LT(SandboxMedia::streamClip(i).width, SandboxMedia::streamClip(i - 1).width);
}

}  // namespace
}  // namespace mr
