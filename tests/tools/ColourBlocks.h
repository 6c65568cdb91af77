#pragma once

#include <cstdint>

namespace orvenna::test {

// A picture of solid blocks in a grid that fills a window, each block of its own colour, so a
// pixel read back tells which block, and so which place, it came from. Red and blue differ in
// every block, so swapped colour channels show.
inline constexpr int kBlockColumns = 4;
inline constexpr int kBlockRows = 3;

// The colour of a block as 0xRRGGBB.
constexpr std::uint32_t BlockColour(int column, int row) {
  const std::uint32_t red = 40 + 60 * column;
  const std::uint32_t green = 50 + 80 * row;
  const std::uint32_t blue = 30 + 15 * (column * kBlockRows + row);
  return red << 16 | green << 8 | blue;
}

// The first pixel of block `index` of `count` along a side of `length` pixels.
constexpr int BlockStart(int index, int count, int length) {
  return index * length / count;
}

}  // namespace orvenna::test
