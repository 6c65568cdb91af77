#include "engine/PreviewBitmap.h"

#include "engine/PackedFrame.h"
#include "platform/Dib.h"

namespace orvenna {

PreviewBitmap::PreviewBitmap() {
  Layout(0, 0, 32);
}

void PreviewBitmap::SetBitsPerPixel(int bitsPerPixel) {
  Layout(Width(), Height(), bitsPerPixel);
}

void PreviewBitmap::SetSize(int width, int height) {
  Layout(width, height, BitsPerPixel());
}

std::uint32_t PreviewBitmap::RowBytes() const {
  return static_cast<std::uint32_t>(DibRowBytes(Width(), BitsPerPixel()));
}

void PreviewBitmap::Layout(int width, int height, int bitsPerPixel) {
  dib_.resize(PackedFrame::BlockSize(width, height, bitsPerPixel));
  PackedFrame::WriteFormat(dib_.data(), width, height, bitsPerPixel);
}

}  // namespace orvenna
