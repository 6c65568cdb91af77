#pragma once

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"

namespace orvenna::mux {

// Uncompressed bitmaps as a Matroska file keeps them: rows from the top, and the colours of
// 8-bit pictures written out as 24-bit pixels, since Matroska's readers take no colour table.
// Every pixel keeps its colour. One thread.
class RawBitmapRows {
 public:
  // `format`: the bitmap header, then the colour table of an 8-bit picture.
  explicit RawBitmapRows(const std::vector<std::uint8_t>& format);

  // The bits per pixel of the pictures written.
  int BitsOut() const { return header_.bitCount == 8 ? 24 : header_.bitCount; }
  // Whether pictures are written as they are stored.
  bool Unchanged() const { return header_.height < 0 && header_.bitCount != 8; }
  // The picture of the stored `pixels` (`size` bytes) into `out`, replacing what it held.
  void Convert(const std::uint8_t* pixels, std::size_t size, std::vector<std::uint8_t>& out) const;

 private:
  BitmapInfoHeader header_;
  std::vector<RgbQuad> colours_;
};

}  // namespace orvenna::mux
