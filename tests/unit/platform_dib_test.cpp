#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Dib.h"

namespace orvenna {
namespace {

struct Colour {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const Colour&) const = default;
};

const std::vector<Colour> kPureColours = {
    {0, 0, 0},   {255, 255, 255}, {255, 0, 0},   {0, 255, 0},
    {0, 0, 255}, {0, 255, 255},   {255, 0, 255}, {255, 255, 0},
};

// A screen image, rows top-down, with unused bytes after each row as a grabber's stride has.
class ScreenImage {
 public:
  ScreenImage(int width, int height)
      : width_(width), height_(height), stride_(width * 4 + 12), bytes_(stride_ * height, 0xEE) {}

  void Set(int x, int y, Colour colour) {
    std::uint8_t* pixel = &bytes_[y * stride_ + x * 4];
    pixel[0] = static_cast<std::uint8_t>(colour.blue);
    pixel[1] = static_cast<std::uint8_t>(colour.green);
    pixel[2] = static_cast<std::uint8_t>(colour.red);
    pixel[3] = 0;
  }
  ImageView View() { return {bytes_.data(), width_, height_, stride_}; }

 private:
  int width_;
  int height_;
  int stride_;
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint8_t kUntouched = 0xAB;
constexpr std::size_t kGuardBytes = 16;

// The pixel area of a frame converted from a screen image, read back by screen position.
class Frame {
 public:
  Frame(DibConverter& converter, ScreenImage& screen, int bitsPerPixel)
      : view_(screen.View()),
        bits_(bitsPerPixel),
        rowBytes_(DibRowBytes(view_.width, bitsPerPixel)),
        bytes_(rowBytes_ * view_.height + kGuardBytes, kUntouched) {
    converted_ = converter.Convert(view_, bitsPerPixel, bytes_.data());
  }

  bool converted() const { return converted_; }

  // The stored value of the pixel at screen position (x, y): rows are stored bottom row first.
  std::uint32_t Value(int x, int y) const {
    const std::uint8_t* pixel = &bytes_[(view_.height - 1 - y) * rowBytes_ + x * bits_ / 8];
    std::uint32_t value = 0;
    for (int i = 0; i < bits_ / 8; ++i) value |= std::uint32_t{pixel[i]} << (8 * i);
    return value;
  }

  // Padding after each row and the bytes after the pixel area.
  bool PaddingIsZero() const {
    const std::size_t used = static_cast<std::size_t>(view_.width) * bits_ / 8;
    for (int row = 0; row < view_.height; ++row) {
      for (std::size_t i = used; i < rowBytes_; ++i)
        if (bytes_[row * rowBytes_ + i] != 0) return false;
    }
    return true;
  }
  bool NothingWrittenPastTheEnd() const {
    for (std::size_t i = rowBytes_ * view_.height; i < bytes_.size(); ++i)
      if (bytes_[i] != kUntouched) return false;
    return true;
  }

 private:
  ImageView view_;
  int bits_;
  std::size_t rowBytes_;
  std::vector<std::uint8_t> bytes_;
  bool converted_ = false;
};

// The stored value a colour has at 16, 24 and 32 bits per pixel.
std::uint32_t DirectValue(Colour colour, int bitsPerPixel) {
  if (bitsPerPixel == 16)
    return (colour.red >> 3) << 10 | (colour.green >> 3) << 5 | colour.blue >> 3;
  return colour.red << 16 | colour.green << 8 | colour.blue;
}

Colour TableColour(int index) {
  RgbQuad table[256];
  DibConverter::FillColourTable(table);
  EXPECT_EQ(table[index].reserved, 0);
  return {table[index].red, table[index].green, table[index].blue};
}

TEST(DibConverter, PureColoursAreExactAtEveryDepthBottomRowFirst) {
  // Top row: the pure colours; bottom row: the same in reverse, so that a frame stored top row
  // first reads back wrong.
  const int width = static_cast<int>(kPureColours.size());
  ScreenImage screen(width, 2);
  for (int x = 0; x < width; ++x) {
    screen.Set(x, 0, kPureColours[x]);
    screen.Set(x, 1, kPureColours[width - 1 - x]);
  }
  DibConverter converter;
  for (int bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const Frame frame(converter, screen, bits);
    ASSERT_TRUE(frame.converted());
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < width; ++x) {
        const Colour expected = kPureColours[y == 0 ? x : width - 1 - x];
        if (bits == 8) {
          EXPECT_EQ(TableColour(static_cast<int>(frame.Value(x, y))), expected) << x << "," << y;
        } else {
          EXPECT_EQ(frame.Value(x, y), DirectValue(expected, bits)) << x << "," << y;
        }
      }
    }
  }
}

TEST(DibConverter, EveryColourOfTheTableConvertsToItsOwnIndex) {
  ScreenImage screen(256, 1);
  for (int index = 0; index < 256; ++index) screen.Set(index, 0, TableColour(index));
  DibConverter converter;
  const Frame frame(converter, screen, 8);
  ASSERT_TRUE(frame.converted());
  for (int index = 0; index < 256; ++index) EXPECT_EQ(frame.Value(index, 0), index);
}

// Gradients over odd sizes, the sizes interleaved so that the converter's kept state must follow.
TEST(DibConverter, GradientsAtOddSizesFillWholeRowsWithZeroPadding) {
  const auto colourAt = [](int x, int y) {
    return Colour{(x * 3 + y * 40) & 255, (x * 5 + y) & 255, (255 - x + y * 7) & 255};
  };
  DibConverter converter;
  for (auto [width, height] : {std::pair{301, 4}, {1, 1}, {301, 1}, {1, 3}, {2, 2}, {301, 4}}) {
    ScreenImage screen(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) screen.Set(x, y, colourAt(x, y));
    for (int bits : {8, 16, 24, 32}) {
      SCOPED_TRACE(testing::Message() << width << "x" << height << " at " << bits);
      const Frame frame(converter, screen, bits);
      ASSERT_TRUE(frame.converted());
      EXPECT_TRUE(frame.PaddingIsZero());
      EXPECT_TRUE(frame.NothingWrittenPastTheEnd());
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
          const Colour source = colourAt(x, y);
          if (bits != 8) {
            ASSERT_EQ(frame.Value(x, y), DirectValue(source, bits)) << x << "," << y;
            continue;
          }
          // The nearest of 8 red and green levels and of 4 blue levels.
          const Colour shown = TableColour(static_cast<int>(frame.Value(x, y)));
          ASSERT_LE(std::abs(shown.red - source.red), 18) << x << "," << y;
          ASSERT_LE(std::abs(shown.green - source.green), 18) << x << "," << y;
          ASSERT_LE(std::abs(shown.blue - source.blue), 42) << x << "," << y;
        }
      }
    }
  }
}

TEST(DibConverter, RefusesOtherDepths) {
  ScreenImage screen(3, 3);
  DibConverter converter;
  for (int bits : {1, 4, 15, 48}) {
    std::vector<std::uint8_t> pixels(DibRowBytes(3, bits) * 3);
    EXPECT_FALSE(converter.Convert(screen.View(), bits, pixels.data())) << bits;
  }
}

}  // namespace
}  // namespace orvenna
