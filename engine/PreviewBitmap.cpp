#include "engine/PreviewBitmap.h"

#include <cstring>

#include "platform/Dib.h"

namespace orvenna {

PreviewBitmap::PreviewBitmap() { Layout(0, 0, 32); }

void PreviewBitmap::SetBitsPerPixel(int bitsPerPixel) { Layout(Width(), Height(), bitsPerPixel); }

void PreviewBitmap::SetSize(int width, int height) { Layout(width, height, BitsPerPixel()); }

std::uint32_t PreviewBitmap::RowBytes() const {
  return static_cast<std::uint32_t>(DibRowBytes(Width(), BitsPerPixel()));
}

void PreviewBitmap::Layout(int width, int height, int bitsPerPixel) {
  const std::uint64_t table = DibTableBytes(bitsPerPixel);
  const std::uint64_t image = DibRowBytes(width, bitsPerPixel) * static_cast<std::uint64_t>(height);
  dib_.resize(40 + table + image);
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
  header.sizeImage = static_cast<std::uint32_t>(image);
  header.clrUsed = bitsPerPixel <= 8 ? 256 : 0;
  std::memcpy(dib_.data(), &header, sizeof header);
  if (bitsPerPixel == 8) {
    RgbQuad colours[256];
    DibConverter::FillColourTable(colours);
    std::memcpy(dib_.data() + 40, colours, sizeof colours);
  }
}

}  // namespace orvenna
