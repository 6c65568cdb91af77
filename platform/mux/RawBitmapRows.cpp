#include "platform/mux/RawBitmapRows.h"

#include <cstdlib>
#include <cstring>

#include "platform/avi/RiffReader.h"

namespace orvenna::mux {
namespace {

constexpr std::size_t kColours = 256;

// Bytes of one row: rows of bitmaps are padded to a multiple of four bytes.
std::size_t Stride(int width, int bits) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
}

}  // namespace

RawBitmapRows::RawBitmapRows(const std::vector<std::uint8_t>& format)
    : header_(avi::LoadPrefix<BitmapInfoHeader>(format)) {
  if (header_.bitCount != 8) return;
  colours_.resize(kColours);
  const std::size_t tableBytes =
      std::min(format.size() - std::min(format.size(), sizeof header_), kColours * sizeof(RgbQuad));
  std::memcpy(colours_.data(), format.data() + sizeof header_, tableBytes);
}

void RawBitmapRows::Convert(const std::uint8_t* pixels, std::size_t size,
                            std::vector<std::uint8_t>& out) const {
  const int width = header_.width;
  const int rows = std::abs(header_.height);
  const std::size_t strideIn = Stride(width, header_.bitCount);
  const std::size_t strideOut = Stride(width, BitsOut());
  out.assign(strideOut * static_cast<std::size_t>(rows), 0);
  for (int row = 0; row < rows; ++row) {
    const int from = header_.height > 0 ? rows - 1 - row : row;
    const std::size_t at = static_cast<std::size_t>(from) * strideIn;
    if (at + strideIn > size) break;  // a short frame leaves the rest black
    std::uint8_t* to = out.data() + static_cast<std::size_t>(row) * strideOut;
    if (header_.bitCount != 8) {
      std::memcpy(to, pixels + at, strideIn);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const RgbQuad& colour = colours_[pixels[at + static_cast<std::size_t>(x)]];
      *to++ = colour.blue;
      *to++ = colour.green;
      *to++ = colour.red;
    }
  }
}

}  // namespace orvenna::mux
