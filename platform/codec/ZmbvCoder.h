#pragma once

#include <zlib.h>

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Bitmap.h"

namespace orvenna {

// Codes pictures as ZMBV, losslessly: a key frame is the whole picture, a later frame
// names the 16 x 16 blocks that changed and carries their difference (XOR) from the previous
// picture; the frames from one key frame on form one deflate stream, flushed at the end of
// each frame. One thread at a time.
class ZmbvCoder {
 public:
  // `pixels` of later calls are packed frames of this size and depth (8 bits with `colours`,
  // 16 bits 5-5-5, 24 or 32 bits), rows bottom-up; `level` is the deflate level 1..9.
  ZmbvCoder(int width, int height, int bitCount, std::span<const RgbQuad> colours, int level);
  ~ZmbvCoder();
  ZmbvCoder(const ZmbvCoder&) = delete;
  ZmbvCoder& operator=(const ZmbvCoder&) = delete;

  // False when the deflate stream could not be set up.
  bool Ready() const { return ready_; }
  // Replaces `out` with the code of one picture; false when deflating fails.
  bool Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out);

 private:
  // The frame's pixels in the coded form, rows top-down, into current_.
  void Convert(const std::uint8_t* pixels);
  // The blocks that changed since previous_, with their differences, into data_.
  void Differences();
  bool Deflate(std::vector<std::uint8_t>& out);

  int width_;
  int height_;
  int bitCount_;
  int pixelBytes_;  // in the coded form
  std::size_t inputRowBytes_;
  std::vector<RgbQuad> colours_;
  std::vector<std::uint8_t> current_;
  std::vector<std::uint8_t> previous_;
  std::vector<std::uint8_t> data_;  // what the frame deflates
  z_stream stream_{};
  bool ready_ = false;
};

}  // namespace orvenna
