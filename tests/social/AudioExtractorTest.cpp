#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "base/Clock.h"
#include "base/FileUtil.h"
#include "sandbox/MediaMaker.h"
#include "sandbox/MediaProbe.h"
#include "social/MRConversionThreadState.h"
#include "social/MRFFmpegAudioExtractor.h"
#include "support/FakeAudioExtractor.h"
#include "support/FileFaults.h"
#include "support/TempDir.h"

namespace mr {
namespace {

using Code = MRAudioExtractorError;

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

// The payloads of the file's first sound track, packet by packet.
std::vector<std::string> audioPackets(const std::string& path) {
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return {};
  std::unique_ptr<AVFormatContext, InputCloser> input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return {};
  const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  std::vector<std::string> packets;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.get(), packet) >= 0) {
    if (packet->stream_index == audio) {
      packets.emplace_back(reinterpret_cast<const char*>(packet->data),
                           static_cast<size_t>(packet->size));
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  return packets;
}

// Copies only the picture of `source` into a new MP4: a video without sound.
void writeSilentVideo(const std::string& source, const std::string& destination) {
  AVFormatContext* opened = nullptr;
  ASSERT_GE(avformat_open_input(&opened, source.c_str(), nullptr, nullptr), 0);
  std::unique_ptr<AVFormatContext, InputCloser> input(opened);
  ASSERT_GE(avformat_find_stream_info(input.get(), nullptr), 0);
  const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  ASSERT_GE(video, 0);
  AVFormatContext* output = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, "mp4", destination.c_str()), 0);
  AVStream* stream = avformat_new_stream(output, nullptr);
  ASSERT_GE(avcodec_parameters_copy(stream->codecpar, input->streams[video]->codecpar), 0);
  stream->codecpar->codec_tag = 0;
  stream->time_base = input->streams[video]->time_base;
  ASSERT_GE(avio_open(&output->pb, destination.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(output, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input.get(), packet) >= 0) {
    if (packet->stream_index == video) {
      packet->stream_index = 0;
      av_packet_rescale_ts(packet, input->streams[video]->time_base, stream->time_base);
      EXPECT_GE(av_interleaved_write_frame(output, packet), 0);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  EXPECT_GE(av_write_trailer(output), 0);
  avio_closep(&output->pb);
  avformat_free_context(output);
}

std::set<std::string> filesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

struct AudioExtractorTest : ::testing::Test {
  test::TempDir dir;
  FakeClock clock;
  MRConversionThreadState threadState{clock};
  MRFFmpegAudioExtractor extractor{threadState};
  std::string m4a = dir.file("track-audio.m4a");

  std::string makeVideo(const std::string& name, int sampleRate, double seconds = 4.0) {
    sandbox::VideoClip clip;
    clip.tone.sampleRate = sampleRate;
    clip.tone.seconds = seconds;
    const std::string path = dir.file(name);
    Status made = sandbox::MediaMaker::writeVideo(path, clip);
    EXPECT_TRUE(made.ok()) << made.error().toString();
    return path;
  }

  Result<test::ProbedMedia> probe(const std::string& path) {
    Result<std::string> bytes = readFileToString(path);
    if (!bytes.ok()) return bytes.error();
    return test::probeMediaBytes(*bytes, dir.file("probe.scratch"));
  }

  // The extraction made a playable M4A: AAC at 44,100 Hz, as long as the
  // video's sound track, readable by all; the video is still there.
  void expectGoodM4A(const std::string& video) {
    auto source = probe(video);
    ASSERT_TRUE(source.ok()) << source.error().toString();
    auto result = probe(m4a);
    ASSERT_TRUE(result.ok()) << result.error().toString();
    EXPECT_EQ(result->brand, "M4A ");
    ASSERT_EQ(result->streams.size(), 1u);
    const test::ProbedStream& sound = result->streams[0];
    EXPECT_TRUE(sound.audio);
    EXPECT_EQ(sound.codec, "aac");
    EXPECT_EQ(sound.sampleRate, 44100);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_NEAR(sound.decodedSeconds, source->firstAudio()->decodedSeconds, 0.05);
    struct stat info {};
    ASSERT_EQ(::stat(m4a.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
    EXPECT_TRUE(fileExists(video));
  }

  // A failed extraction leaves the folder as it was.
  void expectNothingWritten(const std::set<std::string>& before) {
    EXPECT_FALSE(fileExists(m4a));
    std::set<std::string> after = filesIn(dir.path());
    after.erase("probe.scratch");
    EXPECT_EQ(after, before);
  }
};

TEST_F(AudioExtractorTest, CopiesAnAacTrackAt44100WithoutReencoding) {
  const std::string video = makeVideo("a.mp4", 44100);
  std::vector<double> fractions;
  Status done = extractor.convert(
      video, m4a, [&](double fraction, bool&) { fractions.push_back(fraction); }, nullptr);
  ASSERT_TRUE(done.ok()) << done.error().toString();
  expectGoodM4A(video);
  // Packet for packet the same bytes: nothing was decoded or encoded again.
  const std::vector<std::string> copied = audioPackets(m4a);
  EXPECT_FALSE(copied.empty());
  EXPECT_EQ(copied, audioPackets(video));
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_EQ(filesIn(dir.path()),
            (std::set<std::string>{"a.mp4", "track-audio.m4a", "probe.scratch"}));
  EXPECT_EQ(threadState.state(), MRConversionThreadState::State::Done);
}

TEST_F(AudioExtractorTest, ReencodesA48kHzTrackTo44100) {
  const std::string video = makeVideo("a.mp4", 48000);
  std::vector<double> fractions;
  Status done = extractor.convert(
      video, m4a, [&](double fraction, bool&) { fractions.push_back(fraction); }, nullptr);
  ASSERT_TRUE(done.ok()) << done.error().toString();
  expectGoodM4A(video);
  EXPECT_NE(audioPackets(m4a), audioPackets(video));
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
}

TEST_F(AudioExtractorTest, ReplacesAStaleFileAtTheDestination) {
  const std::string video = makeVideo("a.mp4", 44100);
  test::writeFile(m4a, "an older, broken extraction");
  ASSERT_TRUE(extractor.convert(video, m4a, {}, nullptr).ok());
  expectGoodM4A(video);
}

// The stop is asked for at some point of the stream; the work must end
// within 100 ms of sound after it, in both ways of working.
TEST_F(AudioExtractorTest, StopsWithin100MillisecondsOfStream) {
  constexpr double kSeconds = 10.0;
  for (int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    const std::string video = makeVideo("a.mp4", rate, kSeconds);
    const std::set<std::string> before = filesIn(dir.path());

    // From the callback.
    double stopAt = -1;
    double last = -1;
    Status done = extractor.convert(
        video, m4a,
        [&](double fraction, bool& stop) {
          last = fraction;
          if (fraction >= 0.5 && stopAt < 0) {
            stopAt = fraction;
            stop = true;
          }
        },
        nullptr);
    ASSERT_FALSE(done.ok());
    EXPECT_TRUE(isAudioExtractorError(done.error(), Code::Stopped)) << done.error().toString();
    ASSERT_GE(stopAt, 0.5);
    EXPECT_LE((last - stopAt) * kSeconds, 0.1);
    expectNothingWritten(before);

    // Through the flag, as another thread would set it.
    std::atomic<bool> flag{false};
    stopAt = -1;
    done = extractor.convert(
        video, m4a,
        [&](double fraction, bool&) {
          last = fraction;
          if (fraction >= 0.3 && stopAt < 0) {
            stopAt = fraction;
            flag = true;
          }
        },
        &flag);
    ASSERT_FALSE(done.ok());
    EXPECT_TRUE(isAudioExtractorError(done.error(), Code::Stopped)) << done.error().toString();
    EXPECT_LE((last - stopAt) * kSeconds, 0.1);
    expectNothingWritten(before);
  }
}

TEST_F(AudioExtractorTest, RefusesWhatHoldsNoCompleteSoundTrack) {
  const std::string video = makeVideo("a.mp4", 44100);
  Result<std::string> bytes = readFileToString(video);
  ASSERT_TRUE(bytes.ok());

  const std::string text = dir.file("page.mp4");
  test::writeFile(text, "<html><body>This video is not available.</body></html>\n");
  const std::string empty = dir.file("empty.mp4");
  test::writeFile(empty, "");
  const std::string silent = dir.file("silent.mp4");
  writeSilentVideo(video, silent);
  const std::string cut = dir.file("cut.mp4");
  test::writeFile(cut, bytes->substr(0, bytes->size() * 6 / 10));

  struct Case {
    std::string source;
    Code code;
  };
  for (const Case& item : {Case{text, Code::NotMedia}, Case{empty, Code::NotMedia},
                           Case{dir.file("missing.mp4"), Code::NotMedia},
                           Case{silent, Code::NoSoundTrack}, Case{cut, Code::Truncated}}) {
    SCOPED_TRACE(item.source);
    const std::set<std::string> before = filesIn(dir.path());
    Status done = extractor.convert(item.source, m4a, {}, nullptr);
    ASSERT_FALSE(done.ok());
    EXPECT_TRUE(isAudioExtractorError(done.error(), item.code)) << done.error().toString();
    EXPECT_NE(done.error().description().find(item.source), std::string::npos);
    expectNothingWritten(before);
  }
  EXPECT_EQ(readFileToString(video).valueOr(""), *bytes);
}

// Whatever the point the download broke off at, the answer is an error and
// never a crash or a file.
TEST_F(AudioExtractorTest, AVideoCutAnywhereIsAnError) {
  for (int rate : {44100, 48000}) {
    const std::string video = makeVideo("a.mp4", rate);
    Result<std::string> bytes = readFileToString(video);
    ASSERT_TRUE(bytes.ok());
    const std::string cut = dir.file("cut.mp4");
    for (int tenth = 1; tenth <= 9; ++tenth) {
      SCOPED_TRACE(std::to_string(rate) + " Hz, cut at " + std::to_string(tenth) + "/10");
      test::writeFile(cut, bytes->substr(0, bytes->size() * tenth / 10));
      const std::set<std::string> before = filesIn(dir.path());
      Status done = extractor.convert(cut, m4a, {}, nullptr);
      ASSERT_FALSE(done.ok());
      EXPECT_TRUE(isAudioExtractorError(done.error(), Code::Truncated) ||
                  isAudioExtractorError(done.error(), Code::NotMedia))
          << done.error().toString();
      expectNothingWritten(before);
    }
  }
}

TEST_F(AudioExtractorTest, AFullDiskIsAClearErrorAndLeavesNoPart) {
  for (int rate : {44100, 48000}) {
    SCOPED_TRACE(rate);
    const std::string video = makeVideo("a.mp4", rate);
    const std::set<std::string> before = filesIn(dir.path());
    Status done = [&] {
      test::FullDisk full;
      return extractor.convert(video, m4a, {}, nullptr);
    }();
    ASSERT_FALSE(done.ok());
    EXPECT_TRUE(isAudioExtractorError(done.error(), Code::DiskFull)) << done.error().toString();
    EXPECT_NE(done.error().description().find("No room"), std::string::npos);
    expectNothingWritten(before);
    EXPECT_TRUE(fileExists(video));
  }
}

TEST_F(AudioExtractorTest, NeverWritesOverItsOwnSource) {
  const std::string video = makeVideo("a.m4a", 44100);
  Result<std::string> bytes = readFileToString(video);
  Status done = extractor.convert(video, video, {}, nullptr);
  ASSERT_FALSE(done.ok());
  EXPECT_TRUE(isAudioExtractorError(done.error(), Code::WriteFailed));
  EXPECT_EQ(readFileToString(video).valueOr(""), bytes.valueOr("?"));
}

// One conversion at a time per thread state; a paused one waits for the end
// of the interruption and then completes.
TEST_F(AudioExtractorTest, FollowsTheConversionThreadState) {
  const std::string video = makeVideo("a.mp4", 44100);
  ASSERT_TRUE(threadState.setRunning());
  Status busy = extractor.convert(video, m4a, {}, nullptr);
  EXPECT_TRUE(isAudioExtractorError(busy.error(), Code::Busy));
  EXPECT_FALSE(fileExists(m4a));
  threadState.setDone();

  std::atomic<bool> sawPause{false};
  std::atomic<bool> finished{false};
  std::thread resumer([&] {
    while (clock.waiterCount() == 0 && !finished)
      std::this_thread::yield();
    if (finished) return;
    sawPause = threadState.state() == MRConversionThreadState::State::Paused && !fileExists(m4a);
    threadState.endInterruption();
  });
  bool interrupted = false;
  Status done = extractor.convert(
      video, m4a,
      [&](double, bool&) {
        if (!interrupted) threadState.beginInterruption();
        interrupted = true;
      },
      nullptr);
  finished = true;
  resumer.join();
  ASSERT_TRUE(done.ok()) << done.error().toString();
  EXPECT_TRUE(sawPause);
  expectGoodM4A(video);
}

TEST(FakeAudioExtractorTest, WritesReportsStopsAndFails) {
  test::TempDir dir;
  test::FakeAudioExtractor fake;
  const std::string source = dir.file("a.mp4");
  const std::string m4a = dir.file("a.m4a");
  test::writeFile(source, "video");
  fake.setContents("sound");
  fake.setSteps(2);
  std::vector<double> fractions;
  ASSERT_TRUE(fake.convert(
                      source, m4a, [&](double f, bool&) { fractions.push_back(f); }, nullptr)
                  .ok());
  EXPECT_EQ(fractions, (std::vector<double>{0.5, 1.0}));
  EXPECT_EQ(readFileToString(m4a).valueOr(""), "sound");
  ASSERT_TRUE(::unlink(m4a.c_str()) == 0);

  Status stopped = fake.convert(
      source, m4a, [](double, bool& stop) { stop = true; }, nullptr);
  EXPECT_TRUE(isAudioExtractorError(stopped.error(), Code::Stopped));
  EXPECT_FALSE(fileExists(m4a));

  fake.setFailure(audioExtractorError(Code::Codec, "broken"));
  EXPECT_TRUE(isAudioExtractorError(fake.convert(source, m4a, {}, nullptr).error(), Code::Codec));
  EXPECT_EQ(fake.calls().size(), 3u);
  EXPECT_EQ(fake.calls()[0].destination, m4a);
}

}  // namespace
}  // namespace mr
