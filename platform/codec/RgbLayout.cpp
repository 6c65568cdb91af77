#include "platform/codec/RgbLayout.h"

#include <bit>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
}

namespace orvenna {
namespace {

// One row of each kind; the pixel size is a compile-time constant so that the loops vectorise.
template <int kBytes>
void ToRgb24(const std::uint8_t* from, std::uint8_t* to, int width) {
  int x = 0;
  if constexpr (kBytes == 4 && std::endian::native == std::endian::little) {
    // A word at a time: the bytes blue, green, red, spare reversed and shifted down are red,
    // green, blue, 0, and the 0 is overwritten by the next pixel (the last goes byte by byte,
    // so that nothing is written past the row).
    for (; x + 1 < width; ++x, from += 4, to += 3) {
      std::uint32_t pixel;
      std::memcpy(&pixel, from, 4);
      pixel = __builtin_bswap32(pixel) >> 8;
      std::memcpy(to, &pixel, 4);
    }
  }
  for (; x < width; ++x, from += kBytes, to += 3) {
    to[0] = from[2];
    to[1] = from[1];
    to[2] = from[0];
  }
}

template <int kBytes>
void ToGbrPlanes(const std::uint8_t* from, std::uint8_t* green, std::uint8_t* blue,
                 std::uint8_t* red, int width) {
  for (int x = 0; x < width; ++x, from += kBytes) {
    blue[x] = from[0];
    green[x] = from[1];
    red[x] = from[2];
  }
}

void ToBgr0(const std::uint8_t* from, int bytesPerPixel, std::uint8_t* to, int width) {
  if (bytesPerPixel == 4) {
    std::memcpy(to, from, 4 * static_cast<std::size_t>(width));
    return;
  }
  for (int x = 0; x < width; ++x, from += 3, to += 4) {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
    to[3] = 0;
  }
}

}  // namespace

bool IsRgbLayout(AVPixelFormat target) {
  return target == AV_PIX_FMT_RGB24 || target == AV_PIX_FMT_BGR0 || target == AV_PIX_FMT_GBRP;
}

void RearrangeRgb(const PictureRows& picture, int width, int height, AVFrame& frame) {
  const bool wide = picture.bytesPerPixel == 4;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = picture.top + picture.stride * y;
    auto line = [&](int plane) {
      return frame.data[plane] + std::ptrdiff_t{frame.linesize[plane]} * y;
    };
    switch (frame.format) {
      case AV_PIX_FMT_RGB24:
        wide ? ToRgb24<4>(row, line(0), width) : ToRgb24<3>(row, line(0), width);
        break;
      case AV_PIX_FMT_GBRP:
        wide ? ToGbrPlanes<4>(row, line(0), line(1), line(2), width)
             : ToGbrPlanes<3>(row, line(0), line(1), line(2), width);
        break;
      default:
        ToBgr0(row, picture.bytesPerPixel, line(0), width);
        break;
    }
  }
}

}  // namespace orvenna
