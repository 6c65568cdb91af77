#include "platform/codec/LibavEncoder.h"

#include <cerrno>
#include <cstring>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace orvenna {
namespace {

// Row alignment of staged frames, enough for every SIMD width libavcodec uses.
constexpr int kAlign = 64;

// The failure of `what` for libav's error code `error`, in its own words.
Result LibavFailure(const std::string& what, int error) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(error, text, sizeof text);
  return Result::Failed(what + ": " + text,
                        error == AVERROR(ENOMEM) ? FailureKind::OutOfRoom : FailureKind::Permanent);
}

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

// A frame in the encoder's pixel format, its buffer from the encoder's pool.
class StagedLibavFrame : public StagedFrame {
 public:
  StagedLibavFrame() : frame_(av_frame_alloc()) {}
  ~StagedLibavFrame() override { av_frame_free(&frame_); }
  StagedLibavFrame(const StagedLibavFrame&) = delete;
  StagedLibavFrame& operator=(const StagedLibavFrame&) = delete;

  AVFrame* Frame() const { return frame_; }

 private:
  AVFrame* frame_;
};

}  // namespace

LibavEncoder::LibavEncoder(CodecContextPtr context)
    : context_(std::move(context)), packet_(av_packet_alloc()) {}

LibavEncoder::~LibavEncoder() {
  av_packet_free(&packet_);
  for (AVFrame*& frame : frames_) av_frame_free(&frame);
  av_buffer_pool_uninit(&stagingPool_);  // its buffers go when the last frame holding one goes
}

void LibavEncoder::Describe(AVFrame& frame) const {
  const AVCodecContext& codec = *context_;
  frame.format = codec.pix_fmt;
  frame.width = codec.width;
  frame.height = codec.height;
  frame.color_range = codec.color_range;
  frame.colorspace = codec.colorspace;
}

std::unique_ptr<LibavEncoder> LibavEncoder::Create(CodecContextPtr context, std::uint32_t handler,
                                                   const BitmapInfoHeader& input,
                                                   std::span<const RgbQuad> colours,
                                                   bool fullRangeYuv, int frameQuality) {
  std::unique_ptr<LibavEncoder> encoder(new LibavEncoder(std::move(context)));
  AVCodecContext& codec = *encoder->context_;
  encoder->holdsFrames_ = codec.active_thread_type == FF_THREAD_FRAME;
  // Frame threads keep a reference to each frame until it is encoded: one buffer for each of
  // the frames in flight (up to one more than the threads), and one to fill, so that no
  // buffer is allocated per frame.
  encoder->frames_.resize(encoder->holdsFrames_ ? static_cast<std::size_t>(codec.thread_count) + 2
                                                : 1);
  for (AVFrame*& frame : encoder->frames_) {
    frame = av_frame_alloc();
    if (!frame) return nullptr;
    encoder->Describe(*frame);
    if (av_frame_get_buffer(frame, 0) < 0) return nullptr;
  }
  if (!encoder->packet_ || !encoder->converter_.Setup(input.width, input.height, input.bitCount,
                                                      colours, codec.pix_fmt, fullRangeYuv)) {
    return nullptr;
  }
  if (encoder->converter_.ConvertsPictures()) {
    const int bytes = av_image_get_buffer_size(codec.pix_fmt, codec.width, codec.height, kAlign);
    if (bytes > 0)
      encoder->stagingPool_ = av_buffer_pool_init(static_cast<std::size_t>(bytes), nullptr);
  }
  encoder->format_ = StreamFormat(codec, handler);
  encoder->frameQuality_ = frameQuality;
  return encoder;
}

Result LibavEncoder::Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) {
  if (Result checked = CheckFrame(pixels, size, converter_.InputBytes()); !checked) return checked;
  AVFrame* frame = frames_[static_cast<std::size_t>(nextPts_) % frames_.size()];
  // The buffer is reused unless the encoder still holds on to it.
  if (const int made = av_frame_make_writable(frame); made < 0)
    return LibavFailure("no frame buffer could be had", made);
  converter_.Convert(pixels, *frame);
  return Send(*frame, out);
}

std::unique_ptr<StagedFrame> LibavEncoder::Stage(const PictureRows& picture) {
  auto staged = std::make_unique<StagedLibavFrame>();
  AVFrame* frame = staged->Frame();
  if (!frame || !stagingPool_) return nullptr;
  frame->buf[0] = av_buffer_pool_get(stagingPool_);
  if (!frame->buf[0]) return nullptr;
  Describe(*frame);
  av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data, context_->pix_fmt,
                       frame->width, frame->height, kAlign);
  converter_.ConvertPicture(picture, *frame);
  return staged;
}

Result LibavEncoder::EncodeStaged(std::unique_ptr<StagedFrame> staged, EncodedFrame& out) {
  const auto* frame = dynamic_cast<const StagedLibavFrame*>(staged.get());
  if (!frame) return Result::Failed("the frame was not staged by this encoder");
  return Send(*frame->Frame(), out);
}

Result LibavEncoder::Send(AVFrame& frame, EncodedFrame& out) {
  frame.pts = nextPts_++;
  frame.quality = frameQuality_;
  frame.pict_type = AV_PICTURE_TYPE_NONE;
  if (finishing_) return Result::Failed("a frame came after the last one");
  if (const int sent = avcodec_send_frame(context_.get(), &frame); sent < 0)
    return LibavFailure("the encoder refused the frame", sent);
  // Encoders are opened without delay, so the packet of this frame is there now, unless
  // frames are encoded on frame threads: then the packet of an earlier frame, if one is done.
  const int received = avcodec_receive_packet(context_.get(), packet_);
  if (received == AVERROR(EAGAIN) && holdsFrames_) {
    out.data.clear();
    return Result::Ok();
  }
  if (received < 0) return LibavFailure("the encoder gave no packet", received);
  TakePacket(out);
  return Result::Ok();
}

FinishResult LibavEncoder::Finish(EncodedFrame& out) {
  if (!finishing_) {
    finishing_ = true;
    if (avcodec_send_frame(context_.get(), nullptr) < 0) return FinishResult::kFailed;
  }
  const int received = avcodec_receive_packet(context_.get(), packet_);
  if (received == AVERROR_EOF) return FinishResult::kDone;
  if (received < 0) return FinishResult::kFailed;
  TakePacket(out);
  return FinishResult::kPacket;
}

void LibavEncoder::TakePacket(EncodedFrame& out) {
  out.data.assign(packet_->data, packet_->data + packet_->size);
  out.keyFrame = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  av_packet_unref(packet_);
}

}  // namespace orvenna
