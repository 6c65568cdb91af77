#pragma once

#include <cstdint>
#include <vector>

#include "platform/Bitmap.h"

namespace orvenna {

// The engine's one preview image: a packed bitmap (header, colour table at 8 bits per pixel,
// pixel rows bottom-up) whose depth follows the engine's colour setting. Its storage is kept
// between grabs. UI thread only.
class PreviewBitmap {
 public:
  PreviewBitmap();

  int Width() const { return Header().width; }
  int Height() const { return Header().height; }
  int BitsPerPixel() const { return Header().bitCount; }
  void SetBitsPerPixel(int bitsPerPixel);
  // Resizes the image; the pixels are undefined until the next grab fills them. A side below
  // 1 or above kLargestSide, or an image that cannot be allocated, gives an empty image (0 x
  // 0): ask Width() and Height() for the size actually held.
  void SetSize(int width, int height);
  static constexpr int kLargestSide = 32767;

  const BitmapInfoHeader& Header() const {
    return *reinterpret_cast<const BitmapInfoHeader*>(dib_.data());
  }
  const RgbQuad* ColourTable() const { return reinterpret_cast<const RgbQuad*>(dib_.data() + 40); }
  std::uint8_t* Pixels() { return dib_.data() + PixelOffset(); }
  const std::uint8_t* Pixels() const { return dib_.data() + PixelOffset(); }
  std::uint32_t RowBytes() const;

 private:
  std::uint32_t PixelOffset() const {
    return 40 + static_cast<std::uint32_t>(DibTableBytes(BitsPerPixel()));
  }
  void Layout(int width, int height, int bitsPerPixel);

  std::vector<std::uint8_t> dib_;
};

}  // namespace orvenna
