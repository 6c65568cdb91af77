#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/codec/Yuv420.h"

namespace orvenna {
namespace {

struct Rgb {
  int r, g, b;
};

// A picture of `width` x `height` pixels at 3 or 4 bytes a pixel, stored bottom-up, and the
// planes it converts into.
class Picture {
 public:
  Picture(int width, int height, int bytesPerPixel)
      : width_(width),
        height_(height),
        bytes_(bytesPerPixel),
        pixels_(static_cast<std::size_t>(width * height * bytesPerPixel), 0x5A),
        y_(static_cast<std::size_t>(width * height)),
        u_(static_cast<std::size_t>((width + 1) / 2 * ((height + 1) / 2))),
        v_(u_.size()) {}

  void Set(int x, int y, Rgb colour) {
    std::uint8_t* pixel = &pixels_[((height_ - 1 - y) * width_ + x) * bytes_];
    pixel[0] = static_cast<std::uint8_t>(colour.b);
    pixel[1] = static_cast<std::uint8_t>(colour.g);
    pixel[2] = static_cast<std::uint8_t>(colour.r);
  }
  void Fill(Rgb colour) {
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) Set(x, y, colour);
  }
  void Convert(bool fullRange) {
    const std::ptrdiff_t stride = std::ptrdiff_t{width_} * bytes_;
    const int chromaWidth = (width_ + 1) / 2;
    ConvertToYuv420(pixels_.data() + stride * (height_ - 1), -stride, bytes_, width_, height_,
                    fullRange, {y_.data(), u_.data(), v_.data(), width_, chromaWidth, chromaWidth});
  }
  int Y(int x, int y) const { return y_[static_cast<std::size_t>(y * width_ + x)]; }
  int U(int x, int y) const { return u_[static_cast<std::size_t>(y * ((width_ + 1) / 2) + x)]; }
  int V(int x, int y) const { return v_[static_cast<std::size_t>(y * ((width_ + 1) / 2) + x)]; }

 private:
  int width_, height_, bytes_;
  std::vector<std::uint8_t> pixels_, y_, u_, v_;
};

// Reference values of the BT.601 matrix, as the decoders of both ranges expect them.
TEST(Yuv420, PureColoursInBothRangesAtBothDepths) {
  struct Case {
    Rgb colour;
    bool fullRange;
    int y, u, v;
  };
  const Case cases[] = {
      {{0, 0, 0}, false, 16, 128, 128},  {{255, 255, 255}, false, 235, 128, 128},
      {{255, 0, 0}, false, 81, 90, 240}, {{0, 0, 255}, false, 41, 240, 110},
      {{0, 0, 0}, true, 0, 128, 128},    {{255, 255, 255}, true, 255, 128, 128},
      {{255, 0, 0}, true, 76, 85, 255},  {{0, 0, 255}, true, 29, 255, 107},
  };
  for (int bytes : {3, 4}) {
    for (const Case& c : cases) {
      Picture picture(4, 2, bytes);
      picture.Fill(c.colour);
      picture.Convert(c.fullRange);
      EXPECT_EQ(picture.Y(3, 1), c.y) << c.colour.r << c.colour.g << c.colour.b << c.fullRange;
      EXPECT_EQ(picture.U(1, 0), c.u) << c.colour.r << c.colour.g << c.colour.b << c.fullRange;
      EXPECT_EQ(picture.V(1, 0), c.v) << c.colour.r << c.colour.g << c.colour.b << c.fullRange;
    }
  }
}

// Each chroma sample is the mean of its 2 x 2 block, top row first in a bottom-up picture;
// at odd right and bottom edges the last column and row count twice.
TEST(Yuv420, ChromaIsTheMeanOfEachBlockAndOddEdgesCountTwice) {
  Picture picture(3, 3, 4);
  picture.Fill({0, 0, 0});
  picture.Set(0, 0, {0, 0, 255});  // one blue pixel of the top-left block
  picture.Set(2, 0, {0, 0, 255});  // the right column, counted twice in its block
  picture.Set(0, 2, {0, 0, 255});  // the bottom row, counted twice in its block
  picture.Convert(true);
  EXPECT_EQ(picture.Y(0, 0), 29);
  EXPECT_EQ(picture.Y(1, 0), 0);
  EXPECT_EQ(picture.Y(0, 2), 29);
  EXPECT_EQ(picture.U(0, 0), 128 + 32);  // a quarter of blue's 127.5
  EXPECT_EQ(picture.U(1, 0), 128 + 64);  // half
  EXPECT_EQ(picture.U(0, 1), 128 + 64);
  EXPECT_EQ(picture.U(1, 1), 128);
}

}  // namespace
}  // namespace orvenna
