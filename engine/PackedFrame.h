#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Bitmap.h"

namespace orvenna {

// One grabbed frame in a single memory block: a 40-byte bitmap information header, a
// 256-entry colour table at 8 bits per pixel, then the pixel rows bottom-up, each padded to
// 4 bytes. Owned by whoever holds it; moved, never copied.
class PackedFrame {
 public:
  PackedFrame() = default;

  // A block of `size` bytes; an empty frame when the memory cannot be had. The block is not
  // cleared: a frame is written whole by the grabber, and clearing megabytes per frame
  // would cost as much as the grab itself.
  // Each thread keeps the last block it released and hands it out again for the next frame
  // of the same size, so a recording that grabs one region over and over takes its memory
  // from the system once instead of faulting in fresh pages for every frame.
  static PackedFrame Allocate(std::uint64_t size);

  // The size of the block of a width x height frame at `bitsPerPixel`.
  static std::uint64_t BlockSize(int width, int height, int bitsPerPixel);
  // Writes the header, and the colour table at 8 bits per pixel, at the start of `block`.
  static void WriteFormat(std::uint8_t* block, int width, int height, int bitsPerPixel);

  explicit operator bool() const { return block_ != nullptr; }
  std::uint8_t* Data() const { return block_.get(); }
  std::size_t Size() const { return size_; }

  BitmapInfoHeader& Header() const { return *reinterpret_cast<BitmapInfoHeader*>(block_.get()); }
  RgbQuad* ColourTable() const { return reinterpret_cast<RgbQuad*>(block_.get() + 40); }
  // Offset of the pixels, and size of the stream format: the header, plus the colour table
  // up to 8 bits per pixel.
  std::uint32_t FormatSize() const;
  std::uint8_t* Pixels() const { return block_.get() + FormatSize(); }

  void Reset() {
    block_.reset();
    size_ = 0;
  }

 private:
  struct Free {
    std::size_t size;  // of the block (zero in a default-made deleter)
    void operator()(std::uint8_t* block) const;
  };
  using Block = std::unique_ptr<std::uint8_t[], Free>;
  Block block_;
  std::size_t size_ = 0;
};

}  // namespace orvenna
