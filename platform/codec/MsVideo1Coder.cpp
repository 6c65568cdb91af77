#include "platform/codec/MsVideo1Coder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace orvenna {
namespace {

// Pixels with 8-bit channels, one array per channel so that loops over them vectorise.
template <int N>
struct Pixels {
  std::array<int, N> r{};
  std::array<int, N> g{};
  std::array<int, N> b{};
};

constexpr int kBlockPixels = 16;
using Block = Pixels<kBlockPixels>;

// Bytes each form of block takes.
constexpr int kFillBytes = 2;
constexpr int kTwoColourBytes = 6;
constexpr int kQuarterColourBytes = 18;

// Skip codes: high byte 0x84..0x87 with the count of skipped blocks in the low ten bits.
constexpr int kSkipHigh = 0x84;
constexpr int kMaxSkip = 0x3FF;
// The top bit marks a one-colour block in the flags word and a quarter-colour block in the
// first colour.
constexpr std::uint16_t kMarker = 0x8000;

constexpr int Widen5(int level) {
  return (level << 3) | (level >> 2);
}

// The 5-bit level whose widened value is nearest to each 8-bit value.
struct NearestLevels {
  std::array<std::uint8_t, 256> of{};
  NearestLevels() {
    for (int value = 0; value < 256; ++value) {
      int best = 0;
      for (int level = 1; level < 32; ++level) {
        if (std::abs(Widen5(level) - value) < std::abs(Widen5(best) - value)) best = level;
      }
      of[static_cast<std::size_t>(value)] = static_cast<std::uint8_t>(best);
    }
  }
};
const NearestLevels kNearest;

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
};

std::uint16_t Pack(int r, int g, int b) {
  return static_cast<std::uint16_t>((kNearest.of[static_cast<std::size_t>(r)] << 10) |
                                    (kNearest.of[static_cast<std::size_t>(g)] << 5) |
                                    kNearest.of[static_cast<std::size_t>(b)]);
}

Rgb Unpack(std::uint16_t colour) {
  return {Widen5((colour >> 10) & 31), Widen5((colour >> 5) & 31), Widen5(colour & 31)};
}

template <int N>
int Distance(const Pixels<N>& pixels, int i, const Rgb& c) {
  const int r = pixels.r[i] - c.r, g = pixels.g[i] - c.g, b = pixels.b[i] - c.b;
  return r * r + g * g + b * b;
}

// The squared error of showing every pixel in colour `c`.
template <int N>
int Error(const Pixels<N>& pixels, const Rgb& c) {
  int error = 0;
  for (int i = 0; i < N; ++i) error += Distance(pixels, i, c);
  return error;
}

// The mean of the pixels in `group` (bit i: pixel i belongs; not empty), as a colour.
template <int N>
std::uint16_t Mean(const Pixels<N>& pixels, unsigned group) {
  int r = 0, g = 0, b = 0, n = 0;
  for (int i = 0; i < N; ++i) {
    const int in = -static_cast<int>(group >> i & 1u);  // all ones when pixel i belongs
    r += pixels.r[i] & in;
    g += pixels.g[i] & in;
    b += pixels.b[i] & in;
    n -= in;
  }
  return Pack((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n);
}

// Two colours for a set of pixels: bit i of `firstPixels` set when pixel i takes `first`.
struct ColourPair {
  std::uint16_t first = 0;
  std::uint16_t second = 0;
  unsigned firstPixels = 0;
  int error = 0;
};

// Assigns each pixel to the nearer colour of `pair`; fills in the mask and the error.
template <int N>
void Assign(const Pixels<N>& pixels, ColourPair& pair) {
  const Rgb first = Unpack(pair.first);
  const Rgb second = Unpack(pair.second);
  unsigned mask = 0;
  int error = 0;
  for (int i = 0; i < N; ++i) {
    const int toFirst = Distance(pixels, i, first);
    const int toSecond = Distance(pixels, i, second);
    const bool nearerFirst = toFirst < toSecond;
    mask |= static_cast<unsigned>(nearerFirst) << i;
    error += nearerFirst ? toFirst : toSecond;
  }
  pair.firstPixels = mask;
  pair.error = error;
}

// Splits the pixels in two at the middle of the channel that spreads most, takes the mean
// of each half, and refines the halves once by nearness.
template <int N>
ColourPair FitPair(const Pixels<N>& pixels) {
  const auto spread = [](const std::array<int, N>& channel) {
    const auto [low, high] = std::minmax_element(channel.begin(), channel.end());
    return std::pair{*high - *low, (*high + *low) / 2};
  };
  const auto [spreadR, middleR] = spread(pixels.r);
  const auto [spreadG, middleG] = spread(pixels.g);
  const auto [spreadB, middleB] = spread(pixels.b);
  const std::array<int, N>* channel = &pixels.g;
  int middle = middleG;
  if (spreadR > spreadG && spreadR >= spreadB) channel = &pixels.r, middle = middleR;
  if (spreadB > spreadG && spreadB > spreadR) channel = &pixels.b, middle = middleB;

  constexpr unsigned kAll = (1u << N) - 1;
  unsigned upper = 0;
  for (int i = 0; i < N; ++i) upper |= static_cast<unsigned>((*channel)[i] > middle) << i;
  ColourPair pair;
  if (upper == 0) {  // every pixel alike
    pair.first = pair.second = Mean(pixels, kAll);
    Assign(pixels, pair);
    return pair;
  }
  pair.first = Mean(pixels, upper);
  pair.second = Mean(pixels, kAll & ~upper);
  Assign(pixels, pair);
  if (pair.firstPixels != 0 && pair.firstPixels != kAll && pair.firstPixels != upper) {
    pair.first = Mean(pixels, pair.firstPixels);
    pair.second = Mean(pixels, kAll & ~pair.firstPixels);
    Assign(pixels, pair);
  }
  return pair;
}

// The pixels of quarter q (0 bottom-left, 1 bottom-right, 2 top-left, 3 top-right) as
// positions in the block, bottom row first.
constexpr std::array<std::array<int, 4>, 4> kQuarters{{
    {0, 1, 4, 5},
    {2, 3, 6, 7},
    {8, 9, 12, 13},
    {10, 11, 14, 15},
}};

// Appends a little-endian 16-bit word.
void Put(std::vector<std::uint8_t>& out, unsigned word) {
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
  out.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
}

void PutSkips(std::vector<std::uint8_t>& out, int& skipped) {
  while (skipped > 0) {
    const int count = std::min(skipped, kMaxSkip);
    Put(out, static_cast<unsigned>(((kSkipHigh + (count >> 8)) << 8) | (count & 0xFF)));
    skipped -= count;
  }
}

// The flags word of a pattern block must keep its top bit clear and must not be zero (the
// top bit would make it a one-colour block); the bit of pixel i set means the first colour.
void PutTwoColours(std::vector<std::uint8_t>& out, ColourPair pair) {
  if (pair.firstPixels & 0x8000u) {
    pair.firstPixels ^= 0xFFFFu;
    std::swap(pair.first, pair.second);
  }
  if (pair.firstPixels == 0) {
    pair.first = pair.second;
    pair.firstPixels = 1;
  }
  Put(out, pair.firstPixels);
  Put(out, pair.first);
  Put(out, pair.second);
}

void PutFill(std::vector<std::uint8_t>& out, std::uint16_t colour) {
  const unsigned word = colour | kMarker;
  if (((word >> 8) & 0xFC) == kSkipHigh) {
    // Such a word would read as a skip code: the same picture as a pattern of one colour.
    PutTwoColours(out, ColourPair{colour, colour, 1, 0});
    return;
  }
  Put(out, word);
}

void PutQuarters(std::vector<std::uint8_t>& out, std::array<ColourPair, 4> quarters) {
  unsigned flags = 0;
  for (std::size_t q = 0; q < 4; ++q) {
    ColourPair& pair = quarters[q];
    // The top-right pixel of the block is the top bit of the flags: it takes the second
    // colour of its quarter.
    if (q == 3 && (pair.firstPixels & 8u)) {
      pair.firstPixels ^= 0xFu;
      std::swap(pair.first, pair.second);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      if (pair.firstPixels >> i & 1u) flags |= 1u << kQuarters[q][i];
    }
  }
  if (flags == 0) {
    // A zero flags word is not a block; the bottom-left quarter is one colour anyway.
    quarters[0].first = quarters[0].second;
    for (int position : kQuarters[0]) flags |= 1u << position;
  }
  Put(out, flags);
  for (std::size_t q = 0; q < 4; ++q) {
    Put(out, q == 0 ? (quarters[q].first | kMarker) : quarters[q].first);
    Put(out, quarters[q].second);
  }
}

// Reads the 16 pixels of the block whose bottom-left pixel is column x of rows[0].
template <int Bits>
void Load(const std::uint8_t* const* rows, int x, const RgbQuad* colours, Block& block) {
  for (int py = 0; py < 4; ++py) {
    for (int px = 0; px < 4; ++px) {
      const int i = py * 4 + px;
      const int column = x + px;
      if constexpr (Bits == 32 || Bits == 24) {
        const std::uint8_t* p = rows[py] + column * (Bits / 8);
        block.r[i] = p[2], block.g[i] = p[1], block.b[i] = p[0];
      } else if constexpr (Bits == 16) {
        const std::uint8_t* p = rows[py] + column * 2;
        const int word = p[0] | (p[1] << 8);
        block.r[i] = Widen5((word >> 10) & 31);
        block.g[i] = Widen5((word >> 5) & 31);
        block.b[i] = Widen5(word & 31);
      } else {
        const RgbQuad& colour = colours[rows[py][column]];
        block.r[i] = colour.red, block.g[i] = colour.green, block.b[i] = colour.blue;
      }
    }
  }
}

template <int Bits>
bool SameBlock(const std::uint8_t* const* rows, const std::uint8_t* const* previousRows, int x) {
  constexpr int kBlockRowBytes = 4 * Bits / 8;
  const std::size_t offset = static_cast<std::size_t>(x * Bits / 8);
  for (int py = 0; py < 4; ++py) {
    if (std::memcmp(rows[py] + offset, previousRows[py] + offset, kBlockRowBytes) != 0) {
      return false;
    }
  }
  return true;
}

// The pixels of one quarter of a block.
Pixels<4> Quarter(const Block& block, std::size_t q) {
  Pixels<4> quarter;
  for (std::size_t i = 0; i < 4; ++i) {
    const auto at = static_cast<std::size_t>(kQuarters[q][i]);
    quarter.r[i] = block.r[at], quarter.g[i] = block.g[at], quarter.b[i] = block.b[at];
  }
  return quarter;
}

enum class Form { kSkip, kFill, kTwoColours, kQuarterColours };

}  // namespace

bool MsVideo1Coder::Accepts(int width, int height) {
  return width > 0 && height > 0 && width % 4 == 0 && height % 4 == 0;
}

MsVideo1Coder::MsVideo1Coder(int width, int height, int bitCount, std::span<const RgbQuad> colours,
                             int bytePenalty)
    : width_(width),
      height_(height),
      bitCount_(bitCount),
      rowBytes_(DibRowBytes(width, bitCount)),
      bytePenalty_(bytePenalty),
      colours_(256),
      picture_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
      previous_(rowBytes_ * static_cast<std::size_t>(height)) {
  std::copy_n(colours.begin(), std::min<std::size_t>(colours.size(), colours_.size()),
              colours_.begin());
}

void MsVideo1Coder::Code(const std::uint8_t* pixels, bool keyFrame,
                         std::vector<std::uint8_t>& out) {
  out.clear();
  switch (bitCount_) {
    case 8:
      CodeRows<8>(pixels, keyFrame, out);
      break;
    case 16:
      CodeRows<16>(pixels, keyFrame, out);
      break;
    case 24:
      CodeRows<24>(pixels, keyFrame, out);
      break;
    default:
      CodeRows<32>(pixels, keyFrame, out);
      break;
  }
  std::memcpy(previous_.data(), pixels, previous_.size());
}

template <int Bits>
void MsVideo1Coder::CodeRows(const std::uint8_t* pixels, bool keyFrame,
                             std::vector<std::uint8_t>& out) {
  const int penalty = bytePenalty_;
  const std::size_t width = static_cast<std::size_t>(width_);
  Block block;
  int skipped = 0;

  for (int y = 0; y < height_; y += 4) {
    const std::uint8_t* rows[4];
    const std::uint8_t* previousRows[4];
    std::uint16_t* picture[4];
    for (int py = 0; py < 4; ++py) {
      rows[py] = pixels + static_cast<std::size_t>(y + py) * rowBytes_;
      previousRows[py] = previous_.data() + static_cast<std::size_t>(y + py) * rowBytes_;
      picture[py] = picture_.data() + static_cast<std::size_t>(y + py) * width;
    }
    for (int x = 0; x < width_; x += 4) {
      // A block whose pixels are those of the previous frame would be coded as it was then.
      if (!keyFrame && SameBlock<Bits>(rows, previousRows, x)) {
        ++skipped;
        continue;
      }
      Load<Bits>(rows, x, colours_.data(), block);

      // What leaving the block as it is would cost in error: nothing to gain when none.
      int skipError = 0;
      if (!keyFrame) {
        for (int i = 0; i < kBlockPixels; ++i) {
          skipError += Distance(block, i, Unpack(picture[i / 4][x + i % 4]));
        }
        if (skipError == 0) {
          ++skipped;
          continue;
        }
      }

      // The coded form with the least error plus penalty for its size.
      Form form = Form::kFill;
      const std::uint16_t fill = Mean(block, 0xFFFFu);
      int codedError = Error(block, Unpack(fill));
      int best = codedError + penalty * kFillBytes;
      ColourPair pair;
      std::array<ColourPair, 4> quarters;
      // A form can only win when its size alone does not already cost more than the best.
      if (best > penalty * kTwoColourBytes) {
        pair = FitPair(block);
        if (pair.error + penalty * kTwoColourBytes < best) {
          best = pair.error + penalty * kTwoColourBytes;
          codedError = pair.error;
          form = Form::kTwoColours;
        }
      }
      if (best > penalty * kQuarterColourBytes) {
        int error = 0;
        for (std::size_t q = 0; q < 4; ++q) {
          quarters[q] = FitPair(Quarter(block, q));
          error += quarters[q].error;
        }
        if (error + penalty * kQuarterColourBytes < best) {
          codedError = error;
          form = Form::kQuarterColours;
        }
      }
      // The block stays as the previous frame left it unless coding it anew shows it better:
      // a changed picture is never left standing for the sake of size.
      if (!keyFrame && skipError <= codedError) form = Form::kSkip;

      if (form == Form::kSkip) {
        ++skipped;
        continue;
      }
      PutSkips(out, skipped);
      std::uint16_t decoded[kBlockPixels];
      switch (form) {
        case Form::kFill:
          PutFill(out, fill);
          std::fill_n(decoded, kBlockPixels, fill);
          break;
        case Form::kTwoColours:
          PutTwoColours(out, pair);
          for (int i = 0; i < kBlockPixels; ++i) {
            decoded[i] = (pair.firstPixels >> i & 1u) ? pair.first : pair.second;
          }
          break;
        default:
          PutQuarters(out, quarters);
          for (std::size_t q = 0; q < 4; ++q) {
            for (std::size_t i = 0; i < 4; ++i) {
              decoded[kQuarters[q][i]] =
                  (quarters[q].firstPixels >> i & 1u) ? quarters[q].first : quarters[q].second;
            }
          }
          break;
      }
      for (int i = 0; i < kBlockPixels; ++i) picture[i / 4][x + i % 4] = decoded[i];
    }
  }
  PutSkips(out, skipped);
}

}  // namespace orvenna
