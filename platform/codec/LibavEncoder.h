#pragma once

#include <memory>
#include <span>
#include <vector>

#include "platform/VideoCompression.h"
#include "platform/codec/DibFrameConverter.h"
#include "platform/codec/EncoderContext.h"

struct AVBufferPool;
struct AVFrame;
struct AVPacket;

namespace orvenna {

// Encodes packed frames of one format with an open libavcodec encoder: converts the
// bottom-up pixels into a frame buffer kept between frames, and takes one packet out per
// frame in; an encoder running on frame threads hands its first packets out later, and
// Finish collects the last ones. One thread at a time.
class LibavEncoder : public FrameEncoder {
 public:
  // Null when the pixels cannot be converted into the encoder's format.
  static std::unique_ptr<LibavEncoder> Create(CodecContextPtr context, std::uint32_t handler,
                                              const BitmapInfoHeader& input,
                                              std::span<const RgbQuad> colours, bool fullRangeYuv,
                                              int frameQuality);
  ~LibavEncoder() override;

  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override;
  FinishResult Finish(EncodedFrame& out) override;

  // Pictures of 24 or 32-bit pixels are staged when the encoder's format is 4:2:0 or a layout
  // of RGB: converted straight into a frame buffer of a pool, which the encoder (frame threads)
  // may keep a reference to as long as it needs; the pool makes another buffer meanwhile.
  bool Stages() const override { return stagingPool_ != nullptr; }
  std::unique_ptr<StagedFrame> Stage(const PictureRows& picture) override;
  Result EncodeStaged(std::unique_ptr<StagedFrame> staged, EncodedFrame& out) override;

 private:
  explicit LibavEncoder(CodecContextPtr context);
  // Hands `frame` to the encoder and takes the packet out that is ready.
  Result Send(AVFrame& frame, EncodedFrame& out);
  // Moves the received packet into `out`.
  void TakePacket(EncodedFrame& out);
  // Gives `frame` the encoder's format and size.
  void Describe(AVFrame& frame) const;

  CodecContextPtr context_;
  DibFrameConverter converter_;
  std::vector<AVFrame*> frames_;         // filled in turn
  AVBufferPool* stagingPool_ = nullptr;  // staged frames' buffers; any thread
  AVPacket* packet_ = nullptr;
  std::vector<std::uint8_t> format_;
  int frameQuality_ = 0;
  std::int64_t nextPts_ = 0;
  bool holdsFrames_ = false;  // frame threads: packets come out some frames late
  bool finishing_ = false;    // the end of the frames was sent
};

}  // namespace orvenna
