// MS Video 1 pictures as libavcodec's decoder reads them: every block form, skip runs, the
// codes a block must avoid, at every depth and quality.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "codec_test_support.h"
#include "platform/codec/MsVideo1Coder.h"

namespace orvenna::codec_test {
namespace {

// The coder's own picture, rows top-down, widened to 8 bits per channel.
Picture CoderPicture(const MsVideo1Coder& coder, int width, int height) {
  Picture picture{width, height, {}};
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const int c = coder.Picture()[static_cast<std::size_t>(y * width + x)];
      const auto widen = [](int v) { return (v << 3) | (v >> 2); };
      picture.pixels.push_back({widen(c >> 10 & 31), widen(c >> 5 & 31), widen(c & 31)});
    }
  }
  return picture;
}

// Codes `frames` (key frame first, then frames against it) and checks that the decoder
// shows exactly the coder's picture after each one.
void ExpectDecoderAgrees(const std::vector<std::vector<std::uint8_t>>& frames, int width,
                         int height, int bits, std::span<const RgbQuad> colours, int penalty,
                         int keyEvery = 0) {
  MsVideo1Coder coder(width, height, bits, colours, penalty);
  std::vector<std::vector<std::uint8_t>> packets;
  std::vector<Picture> expected;
  for (std::size_t n = 0; n < frames.size(); ++n) {
    std::vector<std::uint8_t> packet;
    coder.Code(frames[n].data(), n == 0 || (keyEvery && n % keyEvery == 0), packet);
    packets.push_back(packet);
    expected.push_back(CoderPicture(coder, width, height));
  }
  StreamDecoder decoder(CodedFormat(width, height, 16, FourCC('M', 'S', 'V', 'C')));
  const auto decoded = decoder.Decode(packets);
  ASSERT_EQ(decoded.size(), frames.size());
  for (std::size_t n = 0; n < frames.size(); ++n) {
    EXPECT_TRUE(decoded[n].pixels == expected[n].pixels) << "frame " << n;
  }
}

std::vector<RgbQuad> Palette() {
  std::vector<RgbQuad> colours(256);
  for (int i = 0; i < 256; ++i) {
    const Rgb c = PaletteColour(i);
    colours[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(c.blue),
                                            static_cast<std::uint8_t>(c.green),
                                            static_cast<std::uint8_t>(c.red), 0};
  }
  return colours;
}

class MsVideo1DepthTest : public testing::TestWithParam<int> {};

TEST_P(MsVideo1DepthTest, DecoderShowsTheCodersPictureAtEveryQuality) {
  const SyntheticFrames synthetic(96, 64, GetParam());
  std::vector<std::vector<std::uint8_t>> frames;
  for (int n = 0; n < 5; ++n) frames.push_back(synthetic.Pixels(n));
  frames.push_back(synthetic.Pixels(4));  // unchanged: every block skipped
  const auto palette = Palette();
  for (int penalty : {0, 100, 4000}) {
    SCOPED_TRACE(penalty);
    ExpectDecoderAgrees(frames, 96, 64, GetParam(), palette, penalty, 3);
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, MsVideo1DepthTest, testing::Values(8, 16, 24, 32));

// 32-bit frames from a function of (x, y), rows top-down.
template <typename Colour>
std::vector<std::uint8_t> Frame32(int width, int height, Colour colour) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * 4));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb c = colour(x, y);
      std::uint8_t* p = &pixels[static_cast<std::size_t>(((height - 1 - y) * width + x) * 4)];
      p[0] = static_cast<std::uint8_t>(c.blue);
      p[1] = static_cast<std::uint8_t>(c.green);
      p[2] = static_cast<std::uint8_t>(c.red);
    }
  }
  return pixels;
}

TEST(MsVideo1Test, NoiseQuartersAndLongSkipRunsDecode) {
  constexpr int kWidth = 256, kHeight = 256;  // 4096 blocks: skip runs over the longest code
  std::mt19937 random(7);
  std::vector<std::vector<std::uint8_t>> frames;
  frames.push_back(Frame32(kWidth, kHeight, [&](int, int) {
    return Rgb{int(random() % 256), int(random() % 256), int(random() % 256)};
  }));
  // Each quarter of every block flat, in four colours: quarter patterns with no flag set.
  frames.push_back(Frame32(kWidth, kHeight, [](int x, int y) {
    const int quarter = (x / 2) % 2 + 2 * ((y / 2) % 2);
    return Rgb{quarter * 60, 255 - quarter * 50, quarter * 30};
  }));
  frames.push_back(frames.back());
  // Flat blocks whose one-colour word would read as a skip code (red level 1).
  frames.push_back(Frame32(kWidth, kHeight, [](int x, int) {
    return Rgb{8, (x / 4) * 4 % 256, 0};
  }));
  for (int penalty : {0, 100}) {
    SCOPED_TRACE(penalty);
    ExpectDecoderAgrees(frames, kWidth, kHeight, 32, {}, penalty);
  }
}

TEST(MsVideo1Test, SmallerPenaltyGivesSmallerErrorAndLargerCode) {
  // A gradient with noise on it, as photographs on a screen have.
  constexpr int kWidth = 128, kHeight = 96;
  std::mt19937 random(11);
  const auto pixels = Frame32(kWidth, kHeight, [&](int x, int y) {
    const int noise = int(random() % 24);
    return Rgb{x + noise, y * 2 + noise, 200 - x + noise};
  });
  std::size_t lastSize = 0;
  double lastError = 1e300;
  for (int penalty : {4000, 100, 0}) {
    MsVideo1Coder coder(kWidth, kHeight, 32, {}, penalty);
    std::vector<std::uint8_t> packet;
    coder.Code(pixels.data(), true, packet);
    const Picture picture = CoderPicture(coder, kWidth, kHeight);
    double error = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* p =
            &pixels[static_cast<std::size_t>(((kHeight - 1 - y) * kWidth + x) * 4)];
        const Rgb& c = picture.At(x, y);
        error += (c.red - p[2]) * (c.red - p[2]) + (c.green - p[1]) * (c.green - p[1]) +
                 (c.blue - p[0]) * (c.blue - p[0]);
      }
    }
    EXPECT_LT(error, lastError) << penalty;
    EXPECT_GT(packet.size(), lastSize) << penalty;
    lastError = error;
    lastSize = packet.size();
  }
}

TEST(MsVideo1Test, AcceptsSidesOfMultiplesOfFour) {
  EXPECT_TRUE(MsVideo1Coder::Accepts(4, 4));
  EXPECT_TRUE(MsVideo1Coder::Accepts(1920, 1080));
  EXPECT_FALSE(MsVideo1Coder::Accepts(302, 300));
  EXPECT_FALSE(MsVideo1Coder::Accepts(304, 302));
  EXPECT_FALSE(MsVideo1Coder::Accepts(0, 4));
}

}  // namespace
}  // namespace orvenna::codec_test
