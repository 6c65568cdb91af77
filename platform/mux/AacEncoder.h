#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/avi/Avi.h"
#include "platform/avi/AviFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvenna::mux {

// Encodes a recording's PCM sound into AAC, the sound every MP4 player plays, at a bit rate
// that keeps speech and music clear. One thread.
class AacEncoder {
 public:
  // Receives each encoded packet, its times in 1 / sample rate; answers how the write went.
  using Delivery = std::function<AviResult(AVPacket& packet)>;

  // Null when the library has no AAC encoder, or the sound is not 8- or 16-bit PCM at a rate
  // the encoder takes. `globalHeader`: the container keeps the decoder's setup in its header.
  static std::unique_ptr<AacEncoder> Open(const avi::WaveFormat& wave, bool globalHeader);
  ~AacEncoder();
  AacEncoder(const AacEncoder&) = delete;
  AacEncoder& operator=(const AacEncoder&) = delete;

  const AVCodecContext& Context() const { return *context_; }
  // Encodes `frames` frames of the sound as it is stored, at `data`.
  AviResult Encode(const std::uint8_t* data, std::size_t frames, const Delivery& deliver);
  // Encodes the frames still held and the encoder's last packets.
  AviResult Finish(const Delivery& deliver);

 private:
  AacEncoder(const avi::WaveFormat& wave, AVCodecContext* context, AVFrame* frame,
             AVPacket* packet);
  // Sends the filled part of the frame (none: the end of the sound) and delivers what comes out.
  AviResult Send(AVFrame* frame, const Delivery& deliver);

  avi::WaveFormat wave_;
  AVCodecContext* context_;
  AVFrame* frame_;
  AVPacket* packet_;
  int filled_ = 0;
  std::int64_t sent_ = 0;
};

}  // namespace orvenna::mux
