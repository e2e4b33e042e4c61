#include "sandbox/MediaProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include <memory>

#include "base/FileUtil.h"

namespace mr::test {
namespace {

Error probeError(const std::string& what) {
  return Error("mirelune.test", 1, what);
}

struct Decoder {
  AVCodecContext* context = nullptr;
  ~Decoder() { avcodec_free_context(&context); }
};

}  // namespace

const ProbedStream* ProbedMedia::firstAudio() const {
  for (const ProbedStream& stream : streams) {
    if (stream.audio) return &stream;
  }
  return nullptr;
}

const ProbedStream* ProbedMedia::firstVideo() const {
  for (const ProbedStream& stream : streams) {
    if (!stream.audio) return &stream;
  }
  return nullptr;
}

Result<ProbedMedia> probeMedia(const std::string& path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
    return probeError("cannot open " + path);
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> closer(&format,
                                                                        avformat_close_input);
  if (avformat_find_stream_info(format, nullptr) < 0) return probeError("no stream info");
  ProbedMedia media;
  media.format = format->iformat->name;
  if (const AVDictionaryEntry* brand = av_dict_get(format->metadata, "major_brand", nullptr, 0))
    media.brand = brand->value;

  std::vector<std::unique_ptr<Decoder>> decoders;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* parameters = format->streams[i]->codecpar;
    ProbedStream stream;
    stream.codec = avcodec_get_name(parameters->codec_id);
    stream.audio = parameters->codec_type == AVMEDIA_TYPE_AUDIO;
    stream.sampleRate = parameters->sample_rate;
    stream.channels = parameters->ch_layout.nb_channels;
    stream.width = parameters->width;
    stream.height = parameters->height;
    media.streams.push_back(stream);
    auto decoder = std::make_unique<Decoder>();
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) return probeError("no decoder for " + stream.codec);
    decoder->context = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(decoder->context, parameters) < 0 ||
        avcodec_open2(decoder->context, codec, nullptr) < 0) {
      return probeError("cannot open the decoder for " + stream.codec);
    }
    decoders.push_back(std::move(decoder));
  }

  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<int64_t> samples(media.streams.size(), 0);
  auto drain = [&](size_t index) {
    while (avcodec_receive_frame(decoders[index]->context, frame) == 0) {
      if (media.streams[index].audio) {
        samples[index] += frame->nb_samples;
      } else {
        ++media.streams[index].decodedFrames;
      }
      av_frame_unref(frame);
    }
  };
  bool failed = false;
  while (!failed && av_read_frame(format, packet) >= 0) {
    const auto index = static_cast<size_t>(packet->stream_index);
    if (avcodec_send_packet(decoders[index]->context, packet) < 0) failed = true;
    av_packet_unref(packet);
    if (!failed) drain(index);
  }
  for (size_t index = 0; index < decoders.size(); ++index) {
    avcodec_send_packet(decoders[index]->context, nullptr);
    drain(index);
    if (media.streams[index].audio && media.streams[index].sampleRate > 0) {
      media.streams[index].decodedSeconds =
          static_cast<double>(samples[index]) / media.streams[index].sampleRate;
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  if (failed) return probeError("a packet did not decode");
  return media;
}

Result<ProbedMedia> probeMediaBytes(const std::string& bytes, const std::string& scratchPath) {
  if (Status written = writeFileAtomically(scratchPath, bytes); !written.ok())
    return written.error();
  return probeMedia(scratchPath);
}

}  // namespace mr::test
