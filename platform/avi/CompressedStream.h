#pragma once

#include <array>
#include <memory>
#include <vector>

#include "platform/VideoCompression.h"
#include "platform/avi/FramePipeline.h"
#include "platform/avi/Handles.h"

namespace orvenna::avi {

// A stream that compresses every frame written to it and hands the result to the raw stream
// of a file being written. Its format is the uncompressed input format; the raw stream gets
// the encoder's output format. The uncompressed DIB handler (0 or 'DIB ') stores frames as
// they are.
// Frames are encoded and stored on a thread of the stream's own (a FramePipeline), so that
// the writer can go on while the encoder works: a write copies the frame and returns, waiting
// only while two frames wait already. A failure to encode or store a frame is answered by the
// next write (which then stores nothing) or by Finish; a write that asks for the bytes written
// waits for its frame. An encoder that holds frames back (frame threads) hands their packets
// out later; they go to their own positions, and releasing the stream's last handle (Finish)
// stores the ones still held. `codecs` must outlive the stream. The public methods are for one
// thread at a time.
class CompressedStream final : public AviStream {
 public:
  CompressedStream(PAVISTREAM raw, std::uint32_t handler, const EncoderSettings& settings,
                   VideoCompressionManager& codecs);

  // Waits for the frames written so far, so the length counts them (except those the encoder
  // still holds back).
  AVISTREAMINFOA Info() const override;
  std::vector<std::uint8_t> Format() const override { return input_; }
  std::shared_ptr<WriteTarget> Target() const override { return raw_->Target(); }
  // AVIERR_BADFORMAT for a format that is not an uncompressed bitmap format, AVIERR_COMPRESSOR
  // when the compressor refuses it, AVIERR_UNSUPPORTED once frames were written.
  AviResult SetFormat(std::int32_t pos, const void* format, std::int32_t formatSize) override;
  // AVIERR_BADFORMAT before the format is set, AVIERR_BADSIZE when the size is not the
  // format's image size, AVIERR_BADPARAM for a position before the last one written,
  // AVIERR_COMPRESSOR when encoding fails, AVIERR_FILEWRITE when the file refuses (for an
  // earlier frame, not encoded yet when it was written, or for this one).
  AviResult Write(std::int32_t start, std::int32_t samples, const void* buffer,
                  std::int32_t bufferSize, std::uint32_t flags, std::int32_t* samplesWritten,
                  std::int32_t* bytesWritten) override;
  // For a compressor that stages pictures and an input of 24 or 32 bits: like Write.
  bool TakesPictures() const override;
  AviResult WritePicture(std::int32_t start, const PictureRows& picture) override;
  // Stores every frame written, also those the encoder holds back; answers the failure of one
  // of them not yet reported. Nothing may be written after it.
  AviResult Finish() override;

  static bool IsUncompressedHandler(std::uint32_t handler);

 private:
  // Checks that a frame may go to `start` and queues it: the packed frame's `pixels`, or
  // `picture` when it is not null; staged when the encoder stages, else copied.
  AviResult Queue(std::int32_t start, const std::uint8_t* pixels, const PictureRows* picture);
  // Encodes one frame and stores the packet that comes out: on the pipeline's thread.
  AviResult EncodeAndStore(const std::uint8_t* pixels, std::int64_t position);
  AviResult EncodeStagedAndStore(std::unique_ptr<StagedFrame> frame, std::int64_t position);
  // Stores the packet of the frame just encoded, if it came out; `encoded` false: it failed.
  AviResult StoreEncoded(const Result& encoded, std::int64_t position);
  // Stores `frame_` at the position of the oldest frame whose packet has not come out yet.
  AviResult StoreOldest();
  // Reports a failure of an earlier frame; the writer then goes on after what was stored.
  AviResult TakeEarlierFailure();

  PAVISTREAM raw_;
  std::uint32_t handler_;
  EncoderSettings settings_;
  VideoCompressionManager& codecs_;
  std::vector<std::uint8_t> input_;
  std::uint64_t imageSize_ = 0;
  std::unique_ptr<FrameEncoder> encoder_;
  EncodedFrame frame_;             // reused for every frame, on the pipeline's thread
  std::int32_t storedBytes_ = 0;   // of the last frame stored, on the pipeline's thread
  std::int64_t nextPosition_ = 0;  // the first position after the frames written
  // Positions of the frames sent to the encoder whose packets have not come out, oldest
  // first: a ring, used on the pipeline's thread.
  std::array<std::int64_t, kMaxHeldFrames + 1> held_{};
  std::size_t heldFirst_ = 0;
  std::size_t heldCount_ = 0;
  // Last: its thread ends, with every frame done, before the members it uses go.
  std::unique_ptr<FramePipeline> pipeline_;
};

}  // namespace orvenna::avi
