#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/VideoCompression.h"

namespace orvenna {

// The format compressors are asked about for frames of a size and depth: the bitmap header,
// followed by the colour table at 8 bits per pixel. No pixels: a compressor judges the format.
class FrameFormat {
 public:
  FrameFormat(Size size, int bitsPerPixel);
  const BitmapInfoHeader& Header() const {
    return *reinterpret_cast<const BitmapInfoHeader*>(bytes_.data());
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// The size a compressor records a region at. Many compressors take only sizes in multiples of 2
// (H.264, MPEG-4), 4 or 8: a region of another size is recorded at the nearest such size, one
// to seven pixels wider or higher (narrower or lower where that would pass the desktop's edge).
struct CompressorFit {
  int divisor = 0;  // 1: the region's own size; 2, 4 or 8: rounded; 0: no size is accepted
  Size size;        // the size recorded; with divisor 0, the size rounded to a multiple of 8
};

// Asks `compressor` about the region's `size` at `bitsPerPixel`, then about the sizes rounded to
// multiples of 2, 4 and 8, until it accepts one. Any thread.
CompressorFit FitToCompressor(VideoCompressor& compressor, Size size, int bitsPerPixel,
                              Size desktop);

// A note for the user when the fit records another size than the region's; empty otherwise.
// `compressor` names the compressor.
std::string RoundedSizeNote(const CompressorFit& fit, Size region, const std::string& compressor);

}  // namespace orvenna
