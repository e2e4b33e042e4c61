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
  int64_t samples = 0;
  ~Decoder() { avcodec_free_context(&context); }
};

}  // namespace

const ProbedStream* ProbedMedia::first(bool audio) const {
  for (const ProbedStream& stream : streams) {
    if (stream.audio == audio) return &stream;
  }
  return nullptr;
}

Result<ProbedMedia> probeMediaBytes(const std::string& bytes, const std::string& scratchPath) {
  if (Status written = writeFileAtomically(scratchPath, bytes); !written.ok())
    return written.error();
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, scratchPath.c_str(), nullptr, nullptr) < 0)
    return probeError("cannot open " + scratchPath);
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> closer(&format,
                                                                        avformat_close_input);
  if (avformat_find_stream_info(format, nullptr) < 0) return probeError("no stream info");
  ProbedMedia media;
  if (const AVDictionaryEntry* brand = av_dict_get(format->metadata, "major_brand", nullptr, 0))
    media.brand = brand->value;

  std::vector<std::unique_ptr<Decoder>> decoders;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVCodecParameters* parameters = format->streams[i]->codecpar;
    media.streams.push_back({avcodec_get_name(parameters->codec_id),
                             parameters->codec_type == AVMEDIA_TYPE_AUDIO,
                             parameters->ch_layout.nb_channels, parameters->width, 0});
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) return probeError("no decoder for " + media.streams.back().codec);
    auto decoder = std::make_unique<Decoder>();
    decoder->context = avcodec_alloc_context3(codec);
    if (avcodec_parameters_to_context(decoder->context, parameters) < 0 ||
        avcodec_open2(decoder->context, codec, nullptr) < 0) {
      return probeError("cannot open the decoder for " + media.streams.back().codec);
    }
    decoders.push_back(std::move(decoder));
  }

  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto drain = [&](Decoder& decoder) {
    while (avcodec_receive_frame(decoder.context, frame) == 0) {
      decoder.samples += frame->nb_samples;
      av_frame_unref(frame);
    }
  };
  bool failed = false;
  while (!failed && av_read_frame(format, packet) >= 0) {
    Decoder& decoder = *decoders[static_cast<size_t>(packet->stream_index)];
    failed = avcodec_send_packet(decoder.context, packet) < 0;
    av_packet_unref(packet);
    if (!failed) drain(decoder);
  }
  for (size_t index = 0; index < decoders.size(); ++index) {
    avcodec_send_packet(decoders[index]->context, nullptr);
    drain(*decoders[index]);
    if (const int rate = decoders[index]->context->sample_rate;
        media.streams[index].audio && rate > 0) {
      media.streams[index].decodedSeconds = static_cast<double>(decoders[index]->samples) / rate;
      media.streams[index].sampleRate = rate;
    }
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  if (failed) return probeError("a packet did not decode");
  return media;
}

}  // namespace mr::test
