#pragma once

#include <bit>
#include <cstdint>
#include <string>

namespace orvenna {

static_assert(std::endian::native == std::endian::little,
              "file formats are written straight from memory and are little-endian");

// The 40-byte bitmap information header that starts a packed frame and serves as the
// format of a video stream.
struct BitmapInfoHeader {
  std::uint32_t size = 40;
  std::int32_t width = 0;
  std::int32_t height = 0;  // positive: rows are stored bottom row first
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;  // 0: uncompressed RGB; else a four-character code
  std::uint32_t sizeImage = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrUsed = 0;
  std::uint32_t clrImportant = 0;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// One entry of a colour table: blue, green, red, reserved.
struct RgbQuad {
  std::uint8_t blue = 0;
  std::uint8_t green = 0;
  std::uint8_t red = 0;
  std::uint8_t reserved = 0;
};
static_assert(sizeof(RgbQuad) == 4);

// Bytes of one pixel row: whole 32-bit words.
constexpr std::uint64_t DibRowBytes(std::int64_t width, int bitsPerPixel) {
  return static_cast<std::uint64_t>((width * bitsPerPixel + 31) / 32) * 4;
}

// Bytes of the colour table: 2^bits entries up to 8 bits per pixel, none above.
constexpr std::uint64_t DibTableBytes(int bitsPerPixel) {
  return bitsPerPixel <= 8 ? 4ull << bitsPerPixel : 0;
}

// Four-character codes: the first character in the lowest byte.
constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// The four characters of a code, as text.
inline std::string FourCCText(std::uint32_t fcc) {
  std::string text;
  for (int i = 0; i < 4; ++i) text += static_cast<char>((fcc >> (8 * i)) & 0xFF);
  return text;
}

}  // namespace orvenna
