#include "engine/PreviewBitmap.h"

#include <new>

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
  // A negative side is an empty image; an image larger than the X protocol allows, or than
  // memory holds, is empty too: the preview shows nothing rather than ending the program.
  if (width <= 0 || height <= 0 || width > kLargestSide || height > kLargestSide)
    width = height = 0;
  try {
    dib_.resize(PackedFrame::BlockSize(width, height, bitsPerPixel));
  } catch (const std::bad_alloc&) {
    width = height = 0;
    dib_.resize(PackedFrame::BlockSize(0, 0, bitsPerPixel));
  }
  PackedFrame::WriteFormat(dib_.data(), width, height, bitsPerPixel);
}

}  // namespace orvenna
