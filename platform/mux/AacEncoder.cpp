#include "platform/mux/AacEncoder.h"

#include <algorithm>

namespace orvenna::mux {
namespace {

// 64 kb/s a channel, less where the sample rate cannot take so many bits.
std::int64_t BitRate(const avi::WaveFormat& wave) {
  return std::min<std::int64_t>(64000, 6 * static_cast<std::int64_t>(wave.samplesPerSec)) *
         wave.channels;
}

float SampleAt(const std::uint8_t* data, int bits) {
  if (bits == 8) return (static_cast<float>(data[0]) - 128.0f) / 128.0f;
  const auto value = static_cast<std::int16_t>(data[0] | data[1] << 8);
  return static_cast<float>(value) / 32768.0f;
}

}  // namespace

std::unique_ptr<AacEncoder> AacEncoder::Open(const avi::WaveFormat& wave, bool globalHeader) {
  if (wave.formatTag != avi::WAVE_FORMAT_PCM ||
      (wave.bitsPerSample != 8 && wave.bitsPerSample != 16) || wave.channels == 0 ||
      wave.blockAlign != wave.channels * wave.bitsPerSample / 8) {
    return nullptr;
  }
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!codec) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::unique_ptr<AacEncoder> encoder(new AacEncoder(wave, context, frame, packet));
  if (!context || !frame || !packet) return nullptr;
  context->sample_fmt = AV_SAMPLE_FMT_FLTP;
  context->sample_rate = static_cast<int>(wave.samplesPerSec);
  av_channel_layout_default(&context->ch_layout, wave.channels);
  context->bit_rate = BitRate(wave);
  context->time_base = AVRational{1, context->sample_rate};
  if (globalHeader) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(context, codec, nullptr) < 0) return nullptr;
  frame->format = context->sample_fmt;
  frame->sample_rate = context->sample_rate;
  frame->nb_samples = context->frame_size;
  if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 ||
      av_frame_get_buffer(frame, 0) < 0) {
    return nullptr;
  }
  return encoder;
}

AacEncoder::AacEncoder(const avi::WaveFormat& wave, AVCodecContext* context, AVFrame* frame,
                       AVPacket* packet)
    : wave_(wave), context_(context), frame_(frame), packet_(packet) {}

AacEncoder::~AacEncoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
  avcodec_free_context(&context_);
}

AviResult AacEncoder::Encode(const std::uint8_t* data, std::size_t frames,
                             const Delivery& deliver) {
  const int bytesPerSample = wave_.bitsPerSample / 8;
  for (std::size_t i = 0; i < frames; ++i) {
    if (filled_ == 0 && av_frame_make_writable(frame_) < 0) return AVIERR_MEMORY;
    for (int channel = 0; channel < wave_.channels; ++channel) {
      reinterpret_cast<float*>(frame_->data[channel])[filled_] =
          SampleAt(data + channel * bytesPerSample, wave_.bitsPerSample);
    }
    data += wave_.blockAlign;
    if (++filled_ == context_->frame_size) {
      if (const AviResult result = Send(frame_, deliver); result != AVIERR_OK) return result;
    }
  }
  return AVIERR_OK;
}

AviResult AacEncoder::Finish(const Delivery& deliver) {
  // The last frame may be short: the encoder pads it and says how much of it is sound.
  if (filled_ > 0) {
    if (const AviResult result = Send(frame_, deliver); result != AVIERR_OK) return result;
  }
  return Send(nullptr, deliver);
}

AviResult AacEncoder::Send(AVFrame* frame, const Delivery& deliver) {
  if (frame) {
    frame->nb_samples = filled_;
    frame->pts = sent_;
    sent_ += filled_;
    filled_ = 0;
  }
  if (avcodec_send_frame(context_, frame) < 0) return AVIERR_COMPRESSOR;
  for (;;) {
    const int received = avcodec_receive_packet(context_, packet_);
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return AVIERR_OK;
    if (received < 0) return AVIERR_COMPRESSOR;
    const AviResult result = deliver(*packet_);
    av_packet_unref(packet_);
    if (result != AVIERR_OK) return result;
  }
}

}  // namespace orvenna::mux
