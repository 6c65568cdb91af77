#include "engine/PackedFrame.h"

#include <cstdlib>

namespace orvenna {

PackedFrame PackedFrame::Allocate(std::uint64_t size) {
  PackedFrame frame;
  if (size < sizeof(BitmapInfoHeader) || size > SIZE_MAX) return frame;
  frame.block_.reset(static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(size))));
  if (frame.block_) frame.size_ = size;
  return frame;
}

void PackedFrame::Free::operator()(std::uint8_t* block) const { std::free(block); }

std::uint32_t PackedFrame::FormatSize() const {
  const BitmapInfoHeader& header = Header();
  return header.bitCount <= 8 ? 40 + 4 * header.clrUsed : 40;
}

}  // namespace orvenna
