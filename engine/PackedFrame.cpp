#include "engine/PackedFrame.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/Dib.h"

namespace orvenna {

namespace {

// The block a thread released last, kept for its next frame of the same size.
struct SpareBlock {
  std::uint8_t* block = nullptr;
  std::size_t size = 0;

  ~SpareBlock() { std::free(block); }
};

thread_local SpareBlock spare;

}  // namespace

PackedFrame PackedFrame::Allocate(std::uint64_t size) {
  PackedFrame frame;
  if (size < sizeof(BitmapInfoHeader) || size > SIZE_MAX) return frame;
  std::uint8_t* block = nullptr;
  if (spare.block != nullptr && spare.size == size) {
    block = std::exchange(spare.block, nullptr);
  } else {
    block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
  }
  if (block == nullptr) return frame;
  frame.block_ = Block(block, Free{static_cast<std::size_t>(size)});
  frame.size_ = static_cast<std::size_t>(size);
  return frame;
}

void PackedFrame::Free::operator()(std::uint8_t* block) const {
  // Kept for the next frame; the block kept before goes back to the system.
  std::free(spare.block);
  spare.block = block;
  spare.size = size;
}

std::uint64_t PackedFrame::BlockSize(int width, int height, int bitsPerPixel) {
  return sizeof(BitmapInfoHeader) + DibTableBytes(bitsPerPixel) +
         DibRowBytes(width, bitsPerPixel) * static_cast<std::uint64_t>(height);
}

void PackedFrame::WriteFormat(std::uint8_t* block, int width, int height, int bitsPerPixel) {
  BitmapInfoHeader header;  // every field, so the whole header is written
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
  header.sizeImage = static_cast<std::uint32_t>(DibRowBytes(width, bitsPerPixel) *
                                                static_cast<std::uint64_t>(height));
  header.clrUsed = bitsPerPixel <= 8 ? 256 : 0;
  std::memcpy(block, &header, sizeof header);
  if (bitsPerPixel == 8) {
    RgbQuad table[256];
    DibConverter::FillColourTable(table);
    std::memcpy(block + sizeof header, table, sizeof table);
  }
}

std::uint32_t PackedFrame::FormatSize() const {
  const BitmapInfoHeader& header = Header();
  return header.bitCount <= 8 ? 40 + 4 * header.clrUsed : 40;
}

}  // namespace orvenna
