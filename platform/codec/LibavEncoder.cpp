#include "platform/codec/LibavEncoder.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace orvenna {
namespace {

// Bits per pixel a stream header names for the coded pictures: what the encoder says, else
// the depth of packed RGB input (8 for indexed pictures), else 24.
int CodedBits(const AVCodecContext& context) {
  if (context.bits_per_coded_sample > 0) return context.bits_per_coded_sample;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(context.pix_fmt);
  const bool packedRgb = (descriptor->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) &&
                         !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR);
  return packedRgb ? av_get_bits_per_pixel(descriptor) : 24;
}

// The stream format: a bitmap information header naming the codec, then its extra data.
std::vector<std::uint8_t> StreamFormat(const AVCodecContext& context, std::uint32_t handler) {
  const std::size_t extra =
      context.extradata ? static_cast<std::size_t>(context.extradata_size) : 0;
  BitmapInfoHeader header;
  header.size = static_cast<std::uint32_t>(sizeof header + extra);
  header.width = context.width;
  header.height = context.height;
  header.planes = 1;
  header.bitCount = static_cast<std::uint16_t>(CodedBits(context));
  header.compression = handler;
  header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(context.width, header.bitCount) *
                                                static_cast<std::uint64_t>(context.height));
  std::vector<std::uint8_t> format(sizeof header + extra);
  std::memcpy(format.data(), &header, sizeof header);
  if (extra) std::memcpy(format.data() + sizeof header, context.extradata, extra);
  return format;
}

}  // namespace

LibavEncoder::LibavEncoder(CodecContextPtr context)
    : context_(std::move(context)), frame_(av_frame_alloc()), packet_(av_packet_alloc()) {}

LibavEncoder::~LibavEncoder() {
  av_packet_free(&packet_);
  av_frame_free(&frame_);
}

std::unique_ptr<LibavEncoder> LibavEncoder::Create(CodecContextPtr context, std::uint32_t handler,
                                                   const BitmapInfoHeader& input,
                                                   std::span<const RgbQuad> colours,
                                                   bool fullRangeYuv, int frameQuality) {
  std::unique_ptr<LibavEncoder> encoder(new LibavEncoder(std::move(context)));
  if (!encoder->packet_ || !encoder->frame_) return nullptr;
  AVCodecContext& codec = *encoder->context_;
  AVFrame& frame = *encoder->frame_;
  frame.format = codec.pix_fmt;
  frame.width = codec.width;
  frame.height = codec.height;
  frame.color_range = codec.color_range;
  frame.colorspace = codec.colorspace;
  if (av_frame_get_buffer(&frame, 0) < 0 ||
      !encoder->converter_.Setup(input.width, input.height, input.bitCount, colours, codec.pix_fmt,
                                 fullRangeYuv)) {
    return nullptr;
  }
  encoder->format_ = StreamFormat(codec, handler);
  encoder->frameQuality_ = frameQuality;
  return encoder;
}

bool LibavEncoder::Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) {
  if (!pixels || size < converter_.InputBytes()) return false;
  // The buffer is reused unless the encoder still holds on to the previous frame.
  if (av_frame_make_writable(frame_) < 0) return false;
  converter_.Convert(pixels, *frame_);
  frame_->pts = nextPts_++;
  frame_->quality = frameQuality_;
  frame_->pict_type = AV_PICTURE_TYPE_NONE;
  if (avcodec_send_frame(context_.get(), frame_) < 0) return false;
  // Encoders are opened without delay, so the packet of this frame is there now; an encoder
  // that holds it back fails, since outputs must stay in step with inputs.
  if (avcodec_receive_packet(context_.get(), packet_) < 0) return false;
  out.data.assign(packet_->data, packet_->data + packet_->size);
  out.keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  av_packet_unref(packet_);
  return true;
}

}  // namespace orvenna
