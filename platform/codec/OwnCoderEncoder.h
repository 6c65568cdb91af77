#pragma once

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/VideoCompression.h"

namespace orvenna {

// What the encoders over our own coders share: the check of each frame's size, key frames by
// the interval (the first frame, then every `keyFrameEvery`-th; 100 when the settings leave it
// to the compressor), and a stream format without extra data. One thread at a time.
class OwnCoderEncoder : public FrameEncoder {
 public:
  const std::vector<std::uint8_t>& OutputFormat() const override { return format_; }
  Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) override;

 protected:
  // Frames of `input`, coded as `handler` pictures of `codedBits` bits per pixel.
  OwnCoderEncoder(const BitmapInfoHeader& input, std::uint32_t handler, int codedBits,
                  std::uint32_t keyFrameEvery);
  // Replaces `out` with the code of the frame's pixels; false when coding fails.
  virtual bool Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out) = 0;

 private:
  std::uint64_t inputBytes_;
  std::uint32_t keyFrameEvery_;
  std::uint64_t frames_ = 0;
  std::vector<std::uint8_t> format_;
};

}  // namespace orvenna
