// ZMBV pictures as libavcodec's decoder reads them: partial blocks at the edges, unchanged
// and noisy frames, key frames in the middle of a stream, every depth.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>

#include "codec_test_support.h"
#include "platform/codec/ZmbvCoder.h"

namespace orvenna::codec_test {
namespace {

constexpr std::uint32_t kZmbv = FourCC('Z', 'M', 'B', 'V');

// The colour table that follows the header at 8 bits per pixel (empty otherwise).
std::span<const RgbQuad> TableOf(const SyntheticFrames& frames) {
  const auto& format = frames.Format();
  return {reinterpret_cast<const RgbQuad*>(format.data() + sizeof(BitmapInfoHeader)),
          (format.size() - sizeof(BitmapInfoHeader)) / sizeof(RgbQuad)};
}

class ZmbvDepthTest : public testing::TestWithParam<int> {};

TEST_P(ZmbvDepthTest, EveryFrameDecodesExactly) {
  // 37 x 21: the right and bottom blocks are partial.
  const SyntheticFrames synthetic(37, 21, GetParam());
  std::vector<int> order = {0, 1, 2, 2, 3, 4, 5, 5};  // repeated frames: nothing changed
  for (int level : {1, 9}) {
    SCOPED_TRACE(level);
    ZmbvCoder coder(37, 21, GetParam(), TableOf(synthetic), level);
    ASSERT_TRUE(coder.Ready());
    std::vector<std::vector<std::uint8_t>> packets;
    for (std::size_t n = 0; n < order.size(); ++n) {
      const auto pixels = synthetic.Pixels(order[n]);
      std::vector<std::uint8_t> packet;
      ASSERT_TRUE(coder.Code(pixels.data(), n % 5 == 0, packet));  // key frames 0 and 5
      packets.push_back(packet);
    }
    StreamDecoder decoder(CodedFormat(37, 21, GetParam() == 24 ? 32 : GetParam(), kZmbv));
    const auto decoded = decoder.Decode(packets);
    ASSERT_EQ(decoded.size(), order.size());
    for (std::size_t n = 0; n < order.size(); ++n) {
      EXPECT_EQ(DifferingPixels(synthetic, order[n], decoded[n]), 0) << "frame " << n;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Depths, ZmbvDepthTest, testing::Values(8, 16, 24, 32));

TEST(ZmbvTest, NoiseThatDeflateCannotShrinkStillDecodes) {
  constexpr int kWidth = 320, kHeight = 240;
  std::mt19937 random(3);
  std::vector<std::vector<std::uint8_t>> frames(3, std::vector<std::uint8_t>(kWidth * kHeight * 4));
  for (auto& frame : frames) {
    for (auto& byte : frame) byte = static_cast<std::uint8_t>(random());
  }
  ZmbvCoder coder(kWidth, kHeight, 32, {}, 1);
  std::vector<std::vector<std::uint8_t>> packets;
  for (std::size_t n = 0; n < frames.size(); ++n) {
    std::vector<std::uint8_t> packet;
    ASSERT_TRUE(coder.Code(frames[n].data(), n == 0, packet));
    EXPECT_GT(packet.size(), frames[n].size());
    packets.push_back(packet);
  }
  StreamDecoder decoder(CodedFormat(kWidth, kHeight, 32, kZmbv));
  const auto decoded = decoder.Decode(packets);
  ASSERT_EQ(decoded.size(), frames.size());
  for (std::size_t n = 0; n < frames.size(); ++n) {
    int differing = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* p =
            &frames[n][static_cast<std::size_t>(((kHeight - 1 - y) * kWidth + x) * 4)];
        differing += !(decoded[n].At(x, y) == Rgb{p[2], p[1], p[0]});
      }
    }
    EXPECT_EQ(differing, 0) << "frame " << n;
  }
}

}  // namespace
}  // namespace orvenna::codec_test
