#include "social/MRFFmpegAudioExtractor.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libswresample/swresample.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/Log.h"

namespace mr {
namespace {

using E = MRAudioExtractorError;

constexpr int kBitRatePerChannel = 64000;
// Stated lengths round up to whole packets and edit lists; a track that
// stops more than this short of its length was cut.
constexpr double kShortfallToleranceSeconds = 0.1;

std::string avText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool isNoRoom(int code) {
  return code == AVERROR(ENOSPC) || code == AVERROR(EFBIG) || code == AVERROR(EDQUOT);
}

Error writeError(const std::string& destination, int code) {
  if (isNoRoom(code)) {
    return audioExtractorError(
        E::DiskFull, "No room left on the disk to write " + destination + ".", avText(code));
  }
  return audioExtractorError(E::WriteFailed, "Cannot write " + destination + ".", avText(code));
}

Error codecError(const std::string& what, int code = 0) {
  return audioExtractorError(E::Codec, what, code != 0 ? avText(code) : std::string());
}

struct InputClose {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrFree {
  void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoFree {
  void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;

// The M4A under a temporary name beside the destination. It is renamed into
// place by finish(); in every other case the partial file goes with it.
class PartialM4A {
 public:
  explicit PartialM4A(std::string destination) : destination_(std::move(destination)) {}
  PartialM4A(const PartialM4A&) = delete;
  PartialM4A& operator=(const PartialM4A&) = delete;
  ~PartialM4A() {
    if (context_ != nullptr) {
      if (context_->pb != nullptr) avio_closep(&context_->pb);
      avformat_free_context(context_);
    }
    if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
  }

  Status open() {
    // The muxer warns about names that do not end in ".m4a".
    std::string pattern = destination_ + ".partial-XXXXXX.m4a";
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) return writeError(destination_, AVERROR(errno));
    ::close(fd);
    tempPath_ = pattern;
    const int made = avformat_alloc_output_context2(&context_, nullptr, "ipod", tempPath_.c_str());
    if (made < 0 || context_ == nullptr) return codecError("No M4A writer is available.", made);
    const int opened = avio_open(&context_->pb, tempPath_.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) return writeError(destination_, opened);
    return {};
  }

  AVFormatContext* context() const { return context_; }

  Status begin() {
    const int written = avformat_write_header(context_, nullptr);
    if (written < 0) return failure(written);
    return {};
  }

  Status write(AVPacket* packet) {
    const int written = av_interleaved_write_frame(context_, packet);
    if (written < 0) return failure(written);
    return {};
  }

  Status finish() {
    const int ended = av_write_trailer(context_);
    if (ended < 0) return failure(ended);
    avio_flush(context_->pb);
    if (context_->pb->error < 0) return failure(context_->pb->error);
    // Data the kernel took may still fail to reach the disk; sync before
    // the rename makes the file visible.
    const int fd = ::open(tempPath_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
      const bool synced = ::fsync(fd) == 0;
      const int err = errno;
      ::close(fd);
      if (!synced) return writeError(destination_, AVERROR(err));
    }
    const int closed = avio_closep(&context_->pb);
    if (closed < 0) return failure(closed);
    if (::chmod(tempPath_.c_str(), kMRAudioExtractorFileMode) != 0 ||
        ::rename(tempPath_.c_str(), destination_.c_str()) != 0) {
      return writeError(destination_, AVERROR(errno));
    }
    committed_ = true;
    return {};
  }

 private:
  // The muxer's own code is often generic; the file's error says more.
  Error failure(int code) const {
    if (context_->pb != nullptr && context_->pb->error < 0) code = context_->pb->error;
    return writeError(destination_, code);
  }

  std::string destination_;
  std::string tempPath_;
  AVFormatContext* context_ = nullptr;
  bool committed_ = false;
};

class Extraction {
 public:
  Extraction(const std::string& source, const std::string& destination,
             const MRAudioExtractorProgress& progress, const std::atomic<bool>* stopFlag,
             MRConversionThreadState& threadState)
      : source_(source),
        destination_(destination),
        progress_(progress),
        stopFlag_(stopFlag),
        threadState_(threadState),
        output_(destination) {}

  Status run() {
    if (Status opened = openInput(); !opened.ok()) return opened;
    if (Status opened = output_.open(); !opened.ok()) return opened;
    const AVCodecParameters* parameters = input_->streams[audioIndex_]->codecpar;
    copy_ = parameters->codec_id == AV_CODEC_ID_AAC &&
            parameters->sample_rate == kMRAudioExtractorSampleRate;
    if (Status made = copy_ ? makeCopiedStream() : makeEncodedStream(); !made.ok()) return made;
    log::debug("Destination file format: aac, {} Hz, {} channels{}", kMRAudioExtractorSampleRate,
               parameters->ch_layout.nb_channels, copy_ ? " (copied)" : "");
    if (Status begun = output_.begin(); !begun.ok()) return begun;
    outTimeBase_ = output_.context()->streams[0]->time_base;

    PacketPtr packet(av_packet_alloc());
    if (!packet) return codecError("Out of memory.");
    bool sawAudio = false;
    while (true) {
      if (stopRequested()) return stopped();
      const int read = av_read_frame(input_.get(), packet.get());
      if (read == AVERROR_EOF) break;
      if (read < 0) return cutShort(avText(read));
      if (packet->stream_index != audioIndex_) {
        av_packet_unref(packet.get());
        continue;
      }
      if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) return cutShort("a packet is incomplete");
      sawAudio = true;
      threadState_.pausedCheck();
      const double end = packetEnd(*packet);
      Status handled = copy_ ? writeCopied(packet.get()) : decode(packet.get());
      av_packet_unref(packet.get());
      if (!handled.ok()) return handled;
      reached_ = std::max(reached_, end);
      if (report(fraction())) return stopped();
    }
    if (!sawAudio) return cutShort("no sound data");
    if (length_ > 0 && reached_ < length_ - kShortfallToleranceSeconds) {
      return cutShort("the sound stops at " + std::to_string(reached_) + " s of " +
                      std::to_string(length_) + " s");
    }
    if (!copy_) {
      if (Status drained = drain(); !drained.ok()) return drained;
    }
    if (Status finished = output_.finish(); !finished.ok()) return finished;
    report(1.0);
    return {};
  }

 private:
  Status openInput() {
    AVFormatContext* context = nullptr;
    const int opened = avformat_open_input(&context, source_.c_str(), nullptr, nullptr);
    if (opened < 0) return notMedia(avText(opened));
    input_.reset(context);
    // Text files probe as terminal art; nothing we would extract from.
    if (std::string_view(input_->iformat->name) == "tty") return notMedia("not a media format");
    const int found = avformat_find_stream_info(input_.get(), nullptr);
    if (found < 0) return notMedia(avText(found));
    const int best = av_find_best_stream(input_.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (best < 0) {
      return audioExtractorError(E::NoSoundTrack, source_ + " has no sound track.");
    }
    audioIndex_ = best;
    for (unsigned i = 0; i < input_->nb_streams; ++i) {
      if (static_cast<int>(i) != audioIndex_) input_->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVStream* stream = input_->streams[audioIndex_];
    inTimeBase_ = stream->time_base;
    if (stream->start_time != AV_NOPTS_VALUE) start_ = stream->start_time * av_q2d(inTimeBase_);
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
      length_ = stream->duration * av_q2d(inTimeBase_);
    } else if (input_->duration != AV_NOPTS_VALUE && input_->duration > 0) {
      length_ = static_cast<double>(input_->duration) / AV_TIME_BASE;
    }
    log::debug("Source file format: {}, {} Hz, {} channels, {:.3f} s",
               avcodec_get_name(stream->codecpar->codec_id), stream->codecpar->sample_rate,
               stream->codecpar->ch_layout.nb_channels, length_);
    return {};
  }

  Status makeCopiedStream() {
    AVStream* stream = avformat_new_stream(output_.context(), nullptr);
    if (stream == nullptr) return codecError("Out of memory.");
    const int copied =
        avcodec_parameters_copy(stream->codecpar, input_->streams[audioIndex_]->codecpar);
    if (copied < 0) return codecError("Cannot describe the sound track.", copied);
    stream->codecpar->codec_tag = 0;
    stream->time_base = inTimeBase_;
    return {};
  }

  Status makeEncodedStream() {
    const AVCodecParameters* parameters = input_->streams[audioIndex_]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
      return codecError("No decoder for the sound track's format (" +
                        std::string(avcodec_get_name(parameters->codec_id)) + ").");
    }
    decoder_.reset(avcodec_alloc_context3(decoder));
    if (!decoder_) return codecError("Out of memory.");
    if (int set = avcodec_parameters_to_context(decoder_.get(), parameters); set < 0) {
      return codecError("Cannot read the sound track's format.", set);
    }
    decoder_->pkt_timebase = inTimeBase_;
    if (int opened = avcodec_open2(decoder_.get(), decoder, nullptr); opened < 0) {
      return codecError("Cannot open the sound track's decoder.", opened);
    }
    const int channels = std::clamp(parameters->ch_layout.nb_channels, 1, 8);

    const AVCodec* encoder = avcodec_find_encoder_by_name("aac");
    if (encoder == nullptr) return codecError("No AAC encoder is available.");
    encoder_.reset(avcodec_alloc_context3(encoder));
    if (!encoder_) return codecError("Out of memory.");
    encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = kMRAudioExtractorSampleRate;
    av_channel_layout_default(&encoder_->ch_layout, channels);
    encoder_->bit_rate = static_cast<int64_t>(kBitRatePerChannel) * channels;
    encoder_->time_base = AVRational{1, kMRAudioExtractorSampleRate};
    if ((output_.context()->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
      encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (int opened = avcodec_open2(encoder_.get(), encoder, nullptr); opened < 0) {
      return codecError("Cannot open the AAC encoder.", opened);
    }
    AVStream* stream = avformat_new_stream(output_.context(), nullptr);
    if (stream == nullptr) return codecError("Out of memory.");
    if (int copied = avcodec_parameters_from_context(stream->codecpar, encoder_.get());
        copied < 0) {
      return codecError("Cannot describe the AAC track.", copied);
    }
    stream->time_base = encoder_->time_base;
    fifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, encoder_->frame_size));
    decoded_.reset(av_frame_alloc());
    resampled_.reset(av_frame_alloc());
    encoded_.reset(av_packet_alloc());
    if (!fifo_ || !decoded_ || !resampled_ || !encoded_) return codecError("Out of memory.");
    return {};
  }

  Status writeCopied(AVPacket* packet) {
    packet->stream_index = 0;
    packet->pos = -1;
    av_packet_rescale_ts(packet, inTimeBase_, outTimeBase_);
    return output_.write(packet);
  }

  Status decode(const AVPacket* packet) {
    const int sent = avcodec_send_packet(decoder_.get(), packet);
    if (sent < 0 && sent != AVERROR_EOF) {
      return codecError("The sound track cannot be decoded.", sent);
    }
    while (true) {
      const int received = avcodec_receive_frame(decoder_.get(), decoded_.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return {};
      if (received < 0) return codecError("The sound track cannot be decoded.", received);
      Status resampled = resample(decoded_.get());
      av_frame_unref(decoded_.get());
      if (!resampled.ok()) return resampled;
      if (Status encoded = encodeQueued(false); !encoded.ok()) return encoded;
    }
  }

  // Null drains what the resampler holds back.
  Status resample(const AVFrame* frame) {
    if (!resampler_) {
      if (frame == nullptr) return {};
      AVChannelLayout layout{};
      if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
        av_channel_layout_default(&layout, std::max(1, frame->ch_layout.nb_channels));
      } else if (int copied = av_channel_layout_copy(&layout, &frame->ch_layout); copied < 0) {
        return codecError("Out of memory.", copied);
      }
      SwrContext* context = nullptr;
      const int made = swr_alloc_set_opts2(
          &context, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate, &layout,
          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
      av_channel_layout_uninit(&layout);
      resampler_.reset(context);
      if (made < 0 || frame->sample_rate <= 0) {
        return codecError("The sound track's format cannot be converted.", made);
      }
      if (int opened = swr_init(resampler_.get()); opened < 0) {
        return codecError("The sound track's format cannot be converted.", opened);
      }
    }
    const int capacity = swr_get_out_samples(resampler_.get(), frame ? frame->nb_samples : 0);
    if (capacity <= 0) return {};
    if (resampled_->nb_samples < capacity) {
      av_frame_unref(resampled_.get());
      resampled_->format = encoder_->sample_fmt;
      resampled_->sample_rate = encoder_->sample_rate;
      resampled_->nb_samples = capacity;
      if (int copied = av_channel_layout_copy(&resampled_->ch_layout, &encoder_->ch_layout);
          copied < 0) {
        return codecError("Out of memory.", copied);
      }
      if (int got = av_frame_get_buffer(resampled_.get(), 0); got < 0) {
        return codecError("Out of memory.", got);
      }
    }
    const int converted =
        swr_convert(resampler_.get(), resampled_->data, capacity,
                    frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr,
                    frame ? frame->nb_samples : 0);
    if (converted < 0) return codecError("The sound track cannot be resampled.", converted);
    if (converted > 0 &&
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(resampled_->data), converted) <
            converted) {
      return codecError("Out of memory.");
    }
    return {};
  }

  // Encodes whole encoder frames from the queue; `all` also sends the rest.
  Status encodeQueued(bool all) {
    const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
    while (av_audio_fifo_size(fifo_.get()) >= frameSize ||
           (all && av_audio_fifo_size(fifo_.get()) > 0)) {
      const int count = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
      FramePtr frame(av_frame_alloc());
      if (!frame) return codecError("Out of memory.");
      frame->format = encoder_->sample_fmt;
      frame->sample_rate = encoder_->sample_rate;
      frame->nb_samples = count;
      if (int copied = av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
          copied < 0) {
        return codecError("Out of memory.", copied);
      }
      if (int got = av_frame_get_buffer(frame.get(), 0); got < 0) {
        return codecError("Out of memory.", got);
      }
      if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), count) < count) {
        return codecError("The sound queue failed.");
      }
      frame->pts = nextPts_;
      nextPts_ += count;
      if (Status encoded = encode(frame.get()); !encoded.ok()) return encoded;
    }
    return {};
  }

  // Null drains the encoder.
  Status encode(const AVFrame* frame) {
    const int sent = avcodec_send_frame(encoder_.get(), frame);
    if (sent < 0) return codecError("The AAC encoder refused the sound.", sent);
    while (true) {
      const int received = avcodec_receive_packet(encoder_.get(), encoded_.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return {};
      if (received < 0) return codecError("The AAC encoder failed.", received);
      av_packet_rescale_ts(encoded_.get(), encoder_->time_base, outTimeBase_);
      encoded_->stream_index = 0;
      if (Status written = output_.write(encoded_.get()); !written.ok()) return written;
    }
  }

  Status drain() {
    if (Status decoded = decode(nullptr); !decoded.ok()) return decoded;
    if (Status resampled = resample(nullptr); !resampled.ok()) return resampled;
    if (Status encoded = encodeQueued(true); !encoded.ok()) return encoded;
    return encode(nullptr);
  }

  double packetEnd(const AVPacket& packet) const {
    const int64_t time = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (time == AV_NOPTS_VALUE) return reached_;
    return (time + std::max<int64_t>(0, packet.duration)) * av_q2d(inTimeBase_) - start_;
  }

  double fraction() const {
    if (length_ <= 0) return 0;
    return std::clamp(reached_ / length_, 0.0, 1.0);
  }

  bool stopRequested() const {
    return stop_ || (stopFlag_ != nullptr && stopFlag_->load(std::memory_order_relaxed));
  }

  // Returns whether the work should stop.
  bool report(double fraction) {
    if (progress_) progress_(fraction, stop_);
    return stopRequested();
  }

  Error notMedia(const std::string& reason) const {
    return audioExtractorError(E::NotMedia, source_ + " is not a media file that can be read.",
                               reason);
  }
  Error cutShort(const std::string& reason) const {
    return audioExtractorError(E::Truncated,
                               source_ + " is cut short: its sound track is incomplete.", reason);
  }
  Error stopped() const {
    return audioExtractorError(E::Stopped, "The extraction of " + source_ + " was stopped.");
  }

  std::string source_;
  std::string destination_;
  const MRAudioExtractorProgress& progress_;
  const std::atomic<bool>* stopFlag_;
  MRConversionThreadState& threadState_;
  PartialM4A output_;
  InputPtr input_;
  int audioIndex_ = -1;
  AVRational inTimeBase_{1, 1};
  AVRational outTimeBase_{1, 1};
  double start_ = 0;
  double length_ = 0;
  double reached_ = 0;
  bool copy_ = false;
  bool stop_ = false;
  CodecContextPtr decoder_;
  CodecContextPtr encoder_;
  SwrPtr resampler_;
  FifoPtr fifo_;
  FramePtr decoded_;
  FramePtr resampled_;
  PacketPtr encoded_;
  int64_t nextPts_ = 0;
};

// The source and the destination must differ, or the rename would replace
// the video being read.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

Status MRFFmpegAudioExtractor::convert(const std::string& source, const std::string& destination,
                                       const MRAudioExtractorProgress& progress,
                                       const std::atomic<bool>* stopFlag) {
  if (sameFile(source, destination)) {
    return audioExtractorError(E::WriteFailed,
                               "Cannot write " + destination + " over its own source.");
  }
  if (!threadState_.setRunning()) {
    return audioExtractorError(E::Busy, "Another sound track is being extracted.");
  }
  Status result = Extraction(source, destination, progress, stopFlag, threadState_).run();
  threadState_.setDone();
  if (!result.ok()) {
    log::warning("Error: {} ({})", result.error().description(), result.error().failureReason());
  }
  return result;
}

}  // namespace mr
