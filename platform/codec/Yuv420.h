#pragma once

#include <cstddef>
#include <cstdint>

namespace orvenna {

// The three planes of a 4:2:0 picture: luma at full size, each chroma plane at half width and
// half height (rounded up).
struct Yuv420Planes {
  std::uint8_t* y;
  std::uint8_t* u;
  std::uint8_t* v;
  std::ptrdiff_t yStride;
  std::ptrdiff_t uStride;
  std::ptrdiff_t vStride;
};

// Converts `width` x `height` pixels of blue, green, red (3 bytes a pixel) or blue, green, red,
// spare (4 bytes) into 4:2:0 YUV with the BT.601 matrix, in studio range (luma 16..235,
// chroma 16..240) or full range (0..255). Each chroma sample is taken from the mean colour of
// its 2 x 2 pixels; at an odd right or bottom edge the last column or row counts twice.
// `rows` points at the top row; `rowStride` (negative for bottom-up pixels) goes one row down.
// Any thread.
void ConvertToYuv420(const std::uint8_t* rows, std::ptrdiff_t rowStride, int bytesPerPixel,
                     int width, int height, bool fullRange, const Yuv420Planes& out);

}  // namespace orvenna
