#include "platform/codec/Yuv420.h"

#include <algorithm>

namespace orvenna {
namespace {

constexpr int kShift = 16;  // fixed-point fraction bits of the coefficients

// The BT.601 matrix scaled to one range, in 16-bit fixed point.
struct Matrix {
  int yr, yg, yb, yOffset;
  int ur, ug, ub;
  int vr, vg, vb;
};

constexpr int Fixed(double value) {
  return static_cast<int>(value * (1 << kShift) + (value < 0 ? -0.5 : 0.5));
}

constexpr Matrix MatrixFor(bool fullRange) {
  const double luma = fullRange ? 1.0 : 219.0 / 255.0;
  const double chroma = fullRange ? 1.0 : 224.0 / 255.0;
  return Matrix{Fixed(0.299 * luma),      Fixed(0.587 * luma),       Fixed(0.114 * luma),
                fullRange ? 0 : 16,       Fixed(-0.168736 * chroma), Fixed(-0.331264 * chroma),
                Fixed(0.5 * chroma),      Fixed(0.5 * chroma),       Fixed(-0.418688 * chroma),
                Fixed(-0.081312 * chroma)};
}

constexpr Matrix kStudio = MatrixFor(false);
constexpr Matrix kFull = MatrixFor(true);

inline std::uint8_t Luma(const Matrix& m, int r, int g, int b) {
  return static_cast<std::uint8_t>(
      (m.yr * r + m.yg * g + m.yb * b + (m.yOffset << kShift) + (1 << (kShift - 1))) >> kShift);
}

// A chroma sample from the sums of four pixels' channels.
inline std::uint8_t Chroma(int cr, int cg, int cb, int r4, int g4, int b4) {
  constexpr int kSumShift = kShift + 2;
  const int value =
      (cr * r4 + cg * g4 + cb * b4 + (128 << kSumShift) + (1 << (kSumShift - 1))) >> kSumShift;
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// Two source rows (the same row twice at an odd bottom edge) into two luma rows and one row of
// each chroma plane.
template <int kBytes>
void ConvertRowPair(const Matrix& m, const std::uint8_t* top, const std::uint8_t* bottom, int width,
                    std::uint8_t* yTop, std::uint8_t* yBottom, std::uint8_t* u, std::uint8_t* v) {
  for (int x = 0; x < width; x += 2) {
    const int right = x + 1 < width ? kBytes : 0;  // an odd last column counts twice
    const std::uint8_t* a = top + x * kBytes;
    const std::uint8_t* b = bottom + x * kBytes;
    yTop[x] = Luma(m, a[2], a[1], a[0]);
    yBottom[x] = Luma(m, b[2], b[1], b[0]);
    if (right) {
      yTop[x + 1] = Luma(m, a[right + 2], a[right + 1], a[right]);
      yBottom[x + 1] = Luma(m, b[right + 2], b[right + 1], b[right]);
    }
    const int r4 = a[2] + a[right + 2] + b[2] + b[right + 2];
    const int g4 = a[1] + a[right + 1] + b[1] + b[right + 1];
    const int b4 = a[0] + a[right] + b[0] + b[right];
    u[x / 2] = Chroma(m.ur, m.ug, m.ub, r4, g4, b4);
    v[x / 2] = Chroma(m.vr, m.vg, m.vb, r4, g4, b4);
  }
}

template <int kBytes>
void Convert(const Matrix& m, const std::uint8_t* rows, std::ptrdiff_t rowStride, int width,
             int height, const Yuv420Planes& out) {
  for (int y = 0; y < height; y += 2) {
    const int below = y + 1 < height ? y + 1 : y;
    // At an odd bottom edge the luma of the last row is written twice, to the same place.
    ConvertRowPair<kBytes>(m, rows + rowStride * y, rows + rowStride * below, width,
                           out.y + out.yStride * y, out.y + out.yStride * below,
                           out.u + out.uStride * (y / 2), out.v + out.vStride * (y / 2));
  }
}

}  // namespace

void ConvertToYuv420(const std::uint8_t* rows, std::ptrdiff_t rowStride, int bytesPerPixel,
                     int width, int height, bool fullRange, const Yuv420Planes& out) {
  const Matrix& m = fullRange ? kFull : kStudio;
  if (bytesPerPixel == 4) {
    Convert<4>(m, rows, rowStride, width, height, out);
  } else {
    Convert<3>(m, rows, rowStride, width, height, out);
  }
}

}  // namespace orvenna
