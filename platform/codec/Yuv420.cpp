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

// In unsigned arithmetic: every term is positive, and the products of 16-bit coefficients and
// 8-bit channels become the cheap widening multiplies of vector code.
template <const Matrix& m>
inline std::uint8_t Luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  constexpr std::uint32_t kRound = (m.yOffset << kShift) + (1 << (kShift - 1));
  return static_cast<std::uint8_t>((m.yr * r + m.yg * g + m.yb * b + kRound) >> kShift);
}

template <int kCoefficient>
constexpr std::uint32_t PlusTerm(std::uint32_t sum) {
  return kCoefficient > 0 ? static_cast<std::uint32_t>(kCoefficient) * sum : 0;
}
template <int kCoefficient>
constexpr std::uint32_t MinusTerm(std::uint32_t sum) {
  return kCoefficient < 0 ? static_cast<std::uint32_t>(-kCoefficient) * sum : 0;
}

// A chroma sample from the sums of four pixels' channels, in unsigned arithmetic like the
// luma: the products of the negative coefficients are subtracted from the others, and the
// offset of 128 keeps the difference above zero.
template <int kRed, int kGreen, int kBlue>
inline std::uint8_t Chroma(std::uint32_t r4, std::uint32_t g4, std::uint32_t b4) {
  constexpr int kSumShift = kShift + 2;
  constexpr std::uint32_t kRound = (128u << kSumShift) + (1u << (kSumShift - 1));
  const std::uint32_t plus =
      PlusTerm<kRed>(r4) + PlusTerm<kGreen>(g4) + PlusTerm<kBlue>(b4) + kRound;
  const std::uint32_t minus = MinusTerm<kRed>(r4) + MinusTerm<kGreen>(g4) + MinusTerm<kBlue>(b4);
  return static_cast<std::uint8_t>(std::min<std::uint32_t>((plus - minus) >> kSumShift, 255));
}

// One row of luma.
template <const Matrix& m, int kBytes>
inline void LumaRow(const std::uint8_t* row, int width, std::uint8_t* y) {
  for (int x = 0; x < width; ++x) {
    const std::uint8_t* p = row + x * kBytes;
    y[x] = Luma<m>(p[2], p[1], p[0]);
  }
}

// One row of each chroma plane from two source rows; an odd last column counts twice.
template <const Matrix& m, int kBytes>
inline void ChromaRow(const std::uint8_t* top, const std::uint8_t* bottom, int width,
                      std::uint8_t* u, std::uint8_t* v) {
  const int pairs = width / 2;
  for (int i = 0; i < pairs; ++i) {
    const std::uint8_t* a = top + 2 * i * kBytes;
    const std::uint8_t* b = bottom + 2 * i * kBytes;
    const std::uint32_t r4 = a[2] + a[kBytes + 2] + b[2] + b[kBytes + 2];
    const std::uint32_t g4 = a[1] + a[kBytes + 1] + b[1] + b[kBytes + 1];
    const std::uint32_t b4 = a[0] + a[kBytes] + b[0] + b[kBytes];
    u[i] = Chroma<m.ur, m.ug, m.ub>(r4, g4, b4);
    v[i] = Chroma<m.vr, m.vg, m.vb>(r4, g4, b4);
  }
  if (width % 2 != 0) {
    const std::uint8_t* a = top + 2 * pairs * kBytes;
    const std::uint8_t* b = bottom + 2 * pairs * kBytes;
    const std::uint32_t r4 = 2 * (a[2] + b[2]);
    const std::uint32_t g4 = 2 * (a[1] + b[1]);
    const std::uint32_t b4 = 2 * (a[0] + b[0]);
    u[pairs] = Chroma<m.ur, m.ug, m.ub>(r4, g4, b4);
    v[pairs] = Chroma<m.vr, m.vg, m.vb>(r4, g4, b4);
  }
}

// Rows and columns are independent loops of the same arithmetic on every pixel, which the
// compiler turns into vector code; the AVX2 copy has the 32-bit multiplies that SSE2 lacks.
template <const Matrix& m, int kBytes>
[[gnu::always_inline]] inline void Convert(const std::uint8_t* rows, std::ptrdiff_t rowStride,
                                           int width, int height, const Yuv420Planes& out) {
  for (int y = 0; y < height; y += 2) {
    // At an odd bottom edge the last row counts twice.
    const int below = y + 1 < height ? y + 1 : y;
    const std::uint8_t* top = rows + rowStride * y;
    const std::uint8_t* bottom = rows + rowStride * below;
    LumaRow<m, kBytes>(top, width, out.y + out.yStride * y);
    if (below != y) LumaRow<m, kBytes>(bottom, width, out.y + out.yStride * below);
    ChromaRow<m, kBytes>(top, bottom, width, out.u + out.uStride * (y / 2),
                         out.v + out.vStride * (y / 2));
  }
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORVENNA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ORVENNA_VECTOR_CLONES
#endif

ORVENNA_VECTOR_CLONES
void ConvertPixels(bool fullRange, const std::uint8_t* rows, std::ptrdiff_t rowStride,
                   int bytesPerPixel, int width, int height, const Yuv420Planes& out) {
  if (bytesPerPixel == 4) {
    if (fullRange) return Convert<kFull, 4>(rows, rowStride, width, height, out);
    return Convert<kStudio, 4>(rows, rowStride, width, height, out);
  }
  if (fullRange) return Convert<kFull, 3>(rows, rowStride, width, height, out);
  Convert<kStudio, 3>(rows, rowStride, width, height, out);
}

}  // namespace

void ConvertToYuv420(const std::uint8_t* rows, std::ptrdiff_t rowStride, int bytesPerPixel,
                     int width, int height, bool fullRange, const Yuv420Planes& out) {
  ConvertPixels(fullRange, rows, rowStride, bytesPerPixel, width, height, out);
}

}  // namespace orvenna
