#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/Bitmap.h"

namespace orvenna {

// Codes pictures in the 16-bit form of MS Video 1. A picture is cut into 4 x 4 blocks,
// coded row by row from the bottom-left corner; each block is one colour, two colours with
// a pattern, two colours for each of its quarters, or skipped (left as the previous picture
// had it). The coder keeps the picture a decoder holds and the pixels of the last frame:
// between key frames a block is skipped when its pixels did not change or when the picture
// already shows it at least as well as coding it anew would. A coded block takes the form
// with the least squared error plus `bytePenalty` times the bytes it takes (0: the least
// error).
// One thread at a time.
class MsVideo1Coder {
 public:
  // True when pictures of this size can be coded: both sides multiples of 4.
  static bool Accepts(int width, int height);

  // `pixels` of later calls are packed frames of this size and depth (8 bits with `colours`,
  // 16 bits 5-5-5, 24 or 32 bits), rows bottom-up and padded to 4 bytes.
  MsVideo1Coder(int width, int height, int bitCount, std::span<const RgbQuad> colours,
                int bytePenalty);

  // Replaces `out` with the code of one picture.
  void Code(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out);

  // The picture a decoder holds after the last call: 5-5-5 pixels, rows bottom-up.
  const std::vector<std::uint16_t>& Picture() const { return picture_; }

 private:
  template <int Bits>
  void CodeRows(const std::uint8_t* pixels, bool keyFrame, std::vector<std::uint8_t>& out);

  int width_;
  int height_;
  int bitCount_;
  std::size_t rowBytes_;
  int bytePenalty_;
  std::vector<RgbQuad> colours_;
  std::vector<std::uint16_t> picture_;
  std::vector<std::uint8_t> previous_;  // the pixels of the last frame
};

}  // namespace orvenna
