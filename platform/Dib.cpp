#include "platform/Dib.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace orvenna {
namespace {

// 8-bit pixels index a 3-3-2 palette: red in the low three bits, green in the next three,
// blue in the top two (the layout libswscale calls bgr8).
constexpr int kRedLevels = 8;
constexpr int kGreenLevels = 8;
constexpr int kBlueLevels = 4;
constexpr int kGreenShift = 3;
constexpr int kBlueShift = 6;

// Channel value of `level` when `levels` levels are spread evenly over 0..255.
constexpr std::uint8_t LevelValue(int level, int levels) {
  return static_cast<std::uint8_t>(level * 255 / (levels - 1));
}

constexpr int Distance(int a, int b) {
  return a > b ? a - b : b - a;
}

// The palette level nearest to a channel value (the lower one on a tie): with evenly spread
// levels it is the value scaled to the levels and rounded, which compilers turn into a few
// multiplications over many pixels at once.
constexpr unsigned NearestLevel(unsigned value, unsigned levels) {
  return (value * (levels - 1) + 128) / 255;
}

// Checks NearestLevel against a search over the levels, for every channel value.
constexpr bool NearestLevelIsNearest(int levels) {
  for (int value = 0; value < 256; ++value) {
    int best = 0;
    for (int level = 1; level < levels; ++level) {
      if (Distance(LevelValue(level, levels), value) < Distance(LevelValue(best, levels), value))
        best = level;
    }
    if (NearestLevel(static_cast<unsigned>(value), static_cast<unsigned>(levels)) !=
        static_cast<unsigned>(best))
      return false;
  }
  return true;
}
static_assert(NearestLevelIsNearest(kRedLevels) && NearestLevelIsNearest(kGreenLevels) &&
              NearestLevelIsNearest(kBlueLevels));

// The nearest level of each channel gives the nearest palette colour, exactly and much faster.
void ConvertRowTo8(const std::uint8_t* source, int width, std::uint8_t* target) {
  for (int x = 0; x < width; ++x, source += 4) {
    target[x] = static_cast<std::uint8_t>(NearestLevel(source[0], kBlueLevels) << kBlueShift |
                                          NearestLevel(source[1], kGreenLevels) << kGreenShift |
                                          NearestLevel(source[2], kRedLevels));
  }
}

// Blue, green, red of each 32-bit pixel, four pixels (16 bytes in, 12 out) at a time in
// whole words, which runs at memory speed.
void ConvertRowTo24(const std::uint8_t* source, int width, std::uint8_t* target) {
  int x = 0;
  for (; x + 4 <= width; x += 4, source += 16, target += 12) {
    std::uint64_t first;   // pixels 0 and 1
    std::uint64_t second;  // pixels 2 and 3
    std::memcpy(&first, source, 8);
    std::memcpy(&second, source + 8, 8);
    const std::uint64_t low =
        (first & 0xFFFFFF) | (first >> 32 & 0xFFFFFF) << 24 | (second & 0xFFFF) << 48;
    const auto high = static_cast<std::uint32_t>((second >> 16 & 0xFF) | (second >> 32) << 8);
    std::memcpy(target, &low, 8);
    std::memcpy(target + 8, &high, 4);
  }
  for (; x < width; ++x, source += 4, target += 3) std::memcpy(target, source, 3);
}

// 5-5-5 pixels, red high and the top bit zero: each channel keeps its five high bits.
void ConvertRowTo16(const std::uint8_t* source, int width, std::uint8_t* target) {
  for (int x = 0; x < width; ++x, source += 4, target += 2) {
    const auto pixel =
        static_cast<std::uint16_t>((source[2] >> 3) << 10 | (source[1] >> 3) << 5 | source[0] >> 3);
    target[0] = static_cast<std::uint8_t>(pixel);
    target[1] = static_cast<std::uint8_t>(pixel >> 8);
  }
}

}  // namespace

bool DibConverter::Convert(const ImageView& source, int bitsPerPixel, std::uint8_t* pixels) {
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32)
    return false;
  if (source.width < 0 || source.height < 0) return false;
  if (source.width == 0 || source.height == 0) return true;
  const std::uint64_t rowBytes = DibRowBytes(source.width, bitsPerPixel);
  if (rowBytes > INT_MAX || source.stride > INT_MAX || source.stride < INT_MIN) return false;
  const auto stride = static_cast<std::ptrdiff_t>(rowBytes);
  // Row y of the source is row (height - 1 - y) of the frame.
  std::uint8_t* const lastRow = pixels + stride * (source.height - 1);

  if (bitsPerPixel == 32) {
    for (int y = 0; y < source.height; ++y)
      std::memcpy(lastRow - stride * y, source.Row(y), stride);
    return true;
  }
  const auto convertRow = bitsPerPixel == 8    ? ConvertRowTo8
                          : bitsPerPixel == 16 ? ConvertRowTo16
                                               : ConvertRowTo24;
  for (int y = 0; y < source.height; ++y)
    convertRow(source.Row(y), source.width, lastRow - stride * y);
  // Rows end on a 32-bit boundary; the bytes after the last pixel are zero.
  const std::size_t used = static_cast<std::size_t>(source.width) * (bitsPerPixel / 8);
  if (used < rowBytes) {
    for (int y = 0; y < source.height; ++y)
      std::memset(pixels + stride * y + used, 0, rowBytes - used);
  }
  return true;
}

void DibConverter::FillColourTable(RgbQuad (&table)[256]) {
  for (int index = 0; index < 256; ++index) {
    table[index].red = LevelValue(index & (kRedLevels - 1), kRedLevels);
    table[index].green = LevelValue((index >> kGreenShift) & (kGreenLevels - 1), kGreenLevels);
    table[index].blue = LevelValue(index >> kBlueShift, kBlueLevels);
    table[index].reserved = 0;
  }
}

}  // namespace orvenna
