#include "platform/avi/DibFormat.h"

#include <cstdlib>

#include "platform/Bitmap.h"
#include "platform/avi/AviFormat.h"
#include "platform/avi/RiffReader.h"

namespace orvenna::avi {

bool IsVideoFormat(std::span<const std::uint8_t> format) {
  const auto header = LoadPrefix<BitmapInfoHeader>(format);
  return format.size() >= sizeof(header) && header.width > 0 && header.height != 0;
}

std::uint64_t UncompressedImageSize(std::span<const std::uint8_t> format) {
  if (!IsVideoFormat(format)) return 0;
  const auto header = LoadPrefix<BitmapInfoHeader>(format);
  const int bits = header.bitCount;
  if (header.compression != 0 || header.size < sizeof(header) ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
    return 0;
  }
  if (bits <= 8) {
    const std::uint64_t colours = header.clrUsed != 0 ? header.clrUsed : 1u << bits;
    if (colours > (1u << bits) || format.size() < header.size + colours * sizeof(RgbQuad)) {
      return 0;
    }
  }
  const std::uint64_t size = DibRowBytes(header.width, bits) * std::llabs(header.height);
  return size <= kMaxChunkSize ? size : 0;
}

PictureRows PackedFrameRows(std::span<const std::uint8_t> format, const std::uint8_t* pixels) {
  const auto header = LoadPrefix<BitmapInfoHeader>(format);
  const auto rowBytes = static_cast<std::ptrdiff_t>(DibRowBytes(header.width, header.bitCount));
  if (header.height < 0) return PictureRows{pixels, rowBytes, header.bitCount / 8};
  return PictureRows{pixels + rowBytes * (header.height - 1), -rowBytes, header.bitCount / 8};
}

}  // namespace orvenna::avi
