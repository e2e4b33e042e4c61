// The favorites' audio extraction on a 30-second video against the ffmpeg
// command line doing the same job on the same file: a copy of an AAC track
// at 44,100 Hz, and a re-encode of one at 48,000 Hz. Prints the median times
// and their ratios (goals: at most 1.0x for the copy, 1.1x for the re-encode).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "sandbox/MediaMaker.h"
#include "social/MRConversionThreadState.h"
#include "social/MRFFmpegAudioExtractor.h"

namespace {

constexpr int kRuns = 7;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

template <class Work>
double medianSeconds(Work&& work) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    if (!work()) return -1;
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return median(times);
}

}  // namespace

int main() {
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "extract_bench: the ffmpeg command is needed (tools/install-deps.sh)\n");
    return 1;
  }
  char folderName[] = "/tmp/extract_bench.XXXXXX";
  if (::mkdtemp(folderName) == nullptr) return 1;
  const std::string folder = folderName;

  mr::MRConversionThreadState state(mr::Clock::real());
  mr::MRFFmpegAudioExtractor extractor(state);
  int failures = 0;
  struct Job {
    const char* name;
    int sampleRate;
    const char* ffmpegCodec;
    double goal;
  };
  for (const Job& job :
       {Job{"copy", 44100, "-c:a copy", 1.0}, Job{"re-encode", 48000, "-c:a aac -ar 44100", 1.1}}) {
    mr::sandbox::VideoClip clip;
    clip.tone.seconds = 30;
    clip.tone.sampleRate = job.sampleRate;
    clip.width = 320;
    clip.height = 180;
    clip.framesPerSecond = 25;
    const std::string video = folder + "/video-" + std::to_string(job.sampleRate) + ".mp4";
    if (mr::Status made = mr::sandbox::MediaMaker::writeVideo(video, clip); !made.ok()) {
      std::fprintf(stderr, "cannot make the video: %s\n", made.error().toString().c_str());
      return 1;
    }
    const std::string ours = folder + "/ours.m4a";
    const std::string theirs = folder + "/theirs.m4a";
    const double oursSeconds = medianSeconds([&] {
      mr::Status done = extractor.convert(video, ours, {}, nullptr);
      if (!done.ok()) std::fprintf(stderr, "%s\n", done.error().toString().c_str());
      return done.ok();
    });
    const std::string command = "ffmpeg -nostdin -loglevel error -y -i '" + video + "' -vn " +
                                job.ffmpegCodec + " '" + theirs + "'";
    const double ffmpegSeconds = medianSeconds([&] { return std::system(command.c_str()) == 0; });
    if (oursSeconds < 0 || ffmpegSeconds <= 0) {
      std::fprintf(stderr, "%s: a run failed\n", job.name);
      ++failures;
      continue;
    }
    const double ratio = oursSeconds / ffmpegSeconds;
    std::printf("%-10s extractor %7.1f ms   ffmpeg %7.1f ms   ratio %.2fx (goal <= %.1fx)%s\n",
                job.name, oursSeconds * 1000, ffmpegSeconds * 1000, ratio, job.goal,
                ratio <= job.goal ? "" : "  MISSED");
  }
  std::filesystem::remove_all(folder);
  return failures == 0 ? 0 : 1;
}
