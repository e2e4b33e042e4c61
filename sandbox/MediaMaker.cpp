#include "sandbox/MediaMaker.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>

#include "sandbox/SandboxEnvelope.h"

namespace mr::sandbox {
namespace {

constexpr int kAudioBitRate = 128000;
constexpr int kVideoBitRate = 150000;
constexpr double kFadeSeconds = 0.05;  // no click at either end

Error mediaError(const std::string& what, int code = 0) {
  std::string message = "sandbox media: " + what;
  if (code != 0) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    message += std::string(": ") + reason;
  }
  return sandboxError(SandboxError::InternalFailure, message);
}

struct CodecContextFree {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// The output file and its muxer; the file is closed (and the partial file
// removed unless committed) when it goes.
class Output {
 public:
  ~Output() {
    if (context_ != nullptr) {
      if (context_->pb != nullptr) avio_closep(&context_->pb);
      avformat_free_context(context_);
    }
    if (!committed_ && !partialPath_.empty()) std::remove(partialPath_.c_str());
  }

  Status open(const char* muxer, const std::string& path) {
    path_ = path;
    // The muxer warns about names without the usual extension, so keep it last.
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    partialPath_ = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                       ? path + ".partial"
                       : path.substr(0, dot) + ".partial" + path.substr(dot);
    const int made =
        avformat_alloc_output_context2(&context_, nullptr, muxer, partialPath_.c_str());
    if (made < 0 || context_ == nullptr) return mediaError("no muxer " + std::string(muxer), made);
    return {};
  }

  AVFormatContext* context() const { return context_; }
  bool wantsGlobalHeader() const { return (context_->oformat->flags & AVFMT_GLOBALHEADER) != 0; }

  Status begin() {
    const int opened = avio_open(&context_->pb, partialPath_.c_str(), AVIO_FLAG_WRITE);
    if (opened < 0) return mediaError("cannot write " + partialPath_, opened);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int written = avformat_write_header(context_, &options);
    av_dict_free(&options);
    if (written < 0) return mediaError("cannot write the header", written);
    return {};
  }

  Status finish() {
    const int ended = av_write_trailer(context_);
    if (ended < 0) return mediaError("cannot write the trailer", ended);
    avio_closep(&context_->pb);
    if (std::rename(partialPath_.c_str(), path_.c_str()) != 0) {
      return mediaError("cannot rename " + partialPath_);
    }
    committed_ = true;
    return {};
  }

 private:
  AVFormatContext* context_ = nullptr;
  std::string path_;
  std::string partialPath_;
  bool committed_ = false;
};

// One encoder feeding one stream of the output.
class Track {
 public:
  Status openAudio(Output& output, const Tone& tone) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (codec == nullptr) return mediaError("no AAC encoder");
    if (Status made = make(output, codec); !made.ok()) return made;
    encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = tone.sampleRate;
    av_channel_layout_default(&encoder_->ch_layout, 2);
    encoder_->bit_rate = kAudioBitRate;
    encoder_->time_base = AVRational{1, tone.sampleRate};
    return open(output);
  }

  Status openVideo(Output& output, const VideoClip& video) {
    const AVCodec* codec = avcodec_find_encoder_by_name("mpeg4");
    if (codec == nullptr) return mediaError("no MPEG-4 video encoder");
    if (Status made = make(output, codec); !made.ok()) return made;
    encoder_->width = video.width;
    encoder_->height = video.height;
    encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder_->time_base = AVRational{1, video.framesPerSecond};
    encoder_->framerate = AVRational{video.framesPerSecond, 1};
    encoder_->gop_size = video.framesPerSecond;
    encoder_->max_b_frames = 0;
    encoder_->bit_rate = kVideoBitRate;
    return open(output);
  }

  AVCodecContext* encoder() const { return encoder_.get(); }

  // Encodes the frame (null drains the encoder) and writes what comes out.
  Status encode(Output& output, AVFrame* frame) {
    const int sent = avcodec_send_frame(encoder_.get(), frame);
    if (sent < 0) return mediaError("the encoder refused a frame", sent);
    while (true) {
      const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return {};
      if (received < 0) return mediaError("the encoder failed", received);
      // The picture encoder leaves durations out, and the muxer would then
      // end the track's edit list before the last frame shows.
      if (packet_->duration == 0 && encoder_->codec_type == AVMEDIA_TYPE_VIDEO)
        packet_->duration = 1;
      av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
      packet_->stream_index = stream_->index;
      const int written = av_interleaved_write_frame(output.context(), packet_.get());
      if (written < 0) return mediaError("cannot write a packet", written);
    }
  }

 private:
  Status make(Output& output, const AVCodec* codec) {
    encoder_.reset(avcodec_alloc_context3(codec));
    packet_.reset(av_packet_alloc());
    stream_ = avformat_new_stream(output.context(), nullptr);
    if (!encoder_ || !packet_ || stream_ == nullptr) return mediaError("out of memory");
    if (output.wantsGlobalHeader()) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    return {};
  }

  Status open(Output&) {
    const int opened = avcodec_open2(encoder_.get(), encoder_->codec, nullptr);
    if (opened < 0) return mediaError("cannot open the encoder", opened);
    const int copied = avcodec_parameters_from_context(stream_->codecpar, encoder_.get());
    if (copied < 0) return mediaError("cannot describe the stream", copied);
    stream_->time_base = encoder_->time_base;
    return {};
  }

  CodecContextPtr encoder_;
  PacketPtr packet_;
  AVStream* stream_ = nullptr;
};

// Produces the tone frame by frame.
class ToneSource {
 public:
  ToneSource(const Tone& tone, AVCodecContext* encoder)
      : tone_(tone),
        encoder_(encoder),
        total_(static_cast<int64_t>(std::llround(tone.seconds * tone.sampleRate))) {}

  bool done() const { return next_ >= total_; }
  int64_t nextPts() const { return next_; }

  Result<FramePtr> nextFrame() {
    const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
    const int count = static_cast<int>(std::min<int64_t>(frameSize, total_ - next_));
    FramePtr frame(av_frame_alloc());
    if (!frame) return mediaError("out of memory");
    frame->format = encoder_->sample_fmt;
    frame->sample_rate = encoder_->sample_rate;
    frame->nb_samples = count;
    if (int copied = av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout); copied < 0) {
      return mediaError("no channel layout", copied);
    }
    if (int got = av_frame_get_buffer(frame.get(), 0); got < 0) {
      return mediaError("no audio buffer", got);
    }
    const double rate = tone_.sampleRate;
    const double frequencies[2] = {tone_.frequency, tone_.frequency * 1.5};
    for (int channel = 0; channel < 2; ++channel) {
      auto* samples = reinterpret_cast<float*>(frame->data[channel]);
      for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(next_ + i) / rate;
        const double fade = std::min({1.0, t / kFadeSeconds, (tone_.seconds - t) / kFadeSeconds});
        samples[i] = static_cast<float>(0.25 * std::max(0.0, fade) *
                                        std::sin(2 * M_PI * frequencies[channel] * t));
      }
    }
    frame->pts = next_;
    next_ += count;
    return frame;
  }

 private:
  Tone tone_;
  AVCodecContext* encoder_;
  int64_t total_;
  int64_t next_ = 0;
};

// Produces the picture frame by frame: the background colour with a light
// vertical bar moving across it.
class PictureSource {
 public:
  PictureSource(const VideoClip& video, AVCodecContext* encoder)
      : video_(video),
        encoder_(encoder),
        total_(static_cast<int64_t>(std::llround(video.tone.seconds * video.framesPerSecond))) {}

  bool done() const { return next_ >= total_; }
  int64_t nextPts() const { return next_; }

  Result<FramePtr> nextFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) return mediaError("out of memory");
    frame->format = encoder_->pix_fmt;
    frame->width = encoder_->width;
    frame->height = encoder_->height;
    if (int got = av_frame_get_buffer(frame.get(), 0); got < 0) {
      return mediaError("no picture buffer", got);
    }
    // BT.601 studio range.
    const double r = video_.red, g = video_.green, b = video_.blue;
    const auto y = static_cast<uint8_t>(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255);
    const auto u = static_cast<uint8_t>(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255);
    const auto v = static_cast<uint8_t>(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255);
    const int width = frame->width;
    const int barWidth = std::max(2, width / 10);
    const int barLeft = static_cast<int>((next_ * width) / std::max<int64_t>(1, total_));
    for (int row = 0; row < frame->height; ++row) {
      uint8_t* line = frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0];
      for (int column = 0; column < width; ++column) {
        line[column] = column >= barLeft && column < barLeft + barWidth ? 235 : y;
      }
    }
    for (int row = 0; row < frame->height / 2; ++row) {
      uint8_t* uLine = frame->data[1] + static_cast<ptrdiff_t>(row) * frame->linesize[1];
      uint8_t* vLine = frame->data[2] + static_cast<ptrdiff_t>(row) * frame->linesize[2];
      for (int column = 0; column < width / 2; ++column) {
        uLine[column] = u;
        vLine[column] = v;
      }
    }
    frame->pts = next_++;
    return frame;
  }

 private:
  VideoClip video_;
  AVCodecContext* encoder_;
  int64_t total_;
  int64_t next_ = 0;
};

// FFmpeg reports every file it writes at its default level; the sandbox
// wants to hear only of trouble.
void quietLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (av_log_get_level() > AV_LOG_WARNING) av_log_set_level(AV_LOG_WARNING);
  });
}

Status checkTone(const Tone& tone) {
  quietLibraries();
  if (tone.seconds <= 0 || tone.seconds > 60 || tone.sampleRate < 8000 || tone.frequency <= 0) {
    return mediaError("unusable tone");
  }
  return {};
}

// Encodes both sources in time order so the muxer interleaves little.
Status encodeAll(Output& output, Track& audio, ToneSource& tone, Track* video,
                 PictureSource* picture) {
  while (!tone.done() || (picture != nullptr && !picture->done())) {
    const bool audioNext =
        picture == nullptr || picture->done() ||
        (!tone.done() && av_compare_ts(tone.nextPts(), audio.encoder()->time_base,
                                       picture->nextPts(), video->encoder()->time_base) <= 0);
    Track& track = audioNext ? audio : *video;
    auto frame = audioNext ? tone.nextFrame() : picture->nextFrame();
    if (!frame.ok()) return frame.error();
    if (Status encoded = track.encode(output, frame->get()); !encoded.ok()) return encoded;
  }
  if (Status drained = audio.encode(output, nullptr); !drained.ok()) return drained;
  if (video != nullptr) return video->encode(output, nullptr);
  return {};
}

}  // namespace

Status MediaMaker::writeAudio(const std::string& path, const Tone& tone) {
  if (Status checked = checkTone(tone); !checked.ok()) return checked;
  Output output;
  if (Status opened = output.open("ipod", path); !opened.ok()) return opened;
  Track audio;
  if (Status opened = audio.openAudio(output, tone); !opened.ok()) return opened;
  if (Status begun = output.begin(); !begun.ok()) return begun;
  ToneSource source(tone, audio.encoder());
  if (Status encoded = encodeAll(output, audio, source, nullptr, nullptr); !encoded.ok()) {
    return encoded;
  }
  return output.finish();
}

Status MediaMaker::writeVideo(const std::string& path, const VideoClip& video) {
  if (Status checked = checkTone(video.tone); !checked.ok()) return checked;
  if (video.width < 16 || video.height < 16 || video.width % 2 != 0 || video.height % 2 != 0 ||
      video.framesPerSecond < 1) {
    return mediaError("unusable picture size");
  }
  Output output;
  if (Status opened = output.open("mp4", path); !opened.ok()) return opened;
  Track picture;
  if (Status opened = picture.openVideo(output, video); !opened.ok()) return opened;
  Track audio;
  if (Status opened = audio.openAudio(output, video.tone); !opened.ok()) return opened;
  if (Status begun = output.begin(); !begun.ok()) return begun;
  ToneSource tone(video.tone, audio.encoder());
  PictureSource frames(video, picture.encoder());
  if (Status encoded = encodeAll(output, audio, tone, &picture, &frames); !encoded.ok()) {
    return encoded;
  }
  return output.finish();
}

}  // namespace mr::sandbox
