#include "engine/PackedFrame.h"

#include <new>

namespace orvenna {

PackedFrame PackedFrame::Allocate(std::uint64_t size) {
  PackedFrame frame;
  if (size < sizeof(BitmapInfoHeader) || size > SIZE_MAX) return frame;
  frame.block_.reset(new (std::nothrow) std::uint8_t[size]());
  if (frame.block_) frame.size_ = size;
  return frame;
}

std::uint32_t PackedFrame::FormatSize() const {
  const BitmapInfoHeader& header = Header();
  return header.bitCount <= 8 ? 40 + 4 * header.clrUsed : 40;
}

}  // namespace orvenna
