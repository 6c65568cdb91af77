// Every installed compressor at every depth: what it accepts, and whether what it encodes
// decodes back to the frames (exactly for the lossless ones).

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "codec_test_support.h"
#include "platform/codec/LibavCompressionManager.h"

namespace orvenna::codec_test {
namespace {

struct DriverCase {
  const char* name;
  std::uint32_t fourcc;
  bool lossless;
  double psnrFloor;  // dB at the default quality, for lossy drivers
  bool temporal;     // codes frames against earlier ones
  int codedBits;     // bits per pixel the decoder needs in the output format; 0: any
  bool stages;       // takes 24 and 32-bit pictures apart from encoding them (libavcodec)
};

// PSNR floors at quality 7500 for the synthetic picture (a gradient, thin lines, a moving
// square), about 3 dB below what the encoders reach with it at every depth.
const DriverCase kDrivers[] = {
    {"MsVideo1", FourCC('M', 'S', 'V', 'C'), false, 30, true, 16, false},
    {"Zmbv", FourCC('Z', 'M', 'B', 'V'), true, 0, true, 0, false},
    {"H264", FourCC('H', '2', '6', '4'), false, 35, true, 0, true},
    {"Mpeg4", FourCC('F', 'M', 'P', '4'), false, 32, true, 0, true},
    {"MotionJpeg", FourCC('M', 'J', 'P', 'G'), false, 32, false, 0, true},
    {"Ffv1", FourCC('F', 'F', 'V', '1'), true, 0, true, 0, true},
    {"HuffYuv", FourCC('H', 'F', 'Y', 'U'), true, 0, false, 0, true},
    {"UtVideo", FourCC('U', 'L', 'R', 'G'), true, 0, false, 0, true},
    {"Cinepak", FourCC('c', 'v', 'i', 'd'), false, 35, true, 0, true},
    {"Png", FourCC('M', 'P', 'N', 'G'), true, 0, false, 0, true},
    {"Uncompressed", FourCC('D', 'I', 'B', ' '), true, 0, false, 0, false},
};

void PrintTo(const DriverCase& driver, std::ostream* out) {
  *out << driver.name;
}

constexpr int kFrames = 6;
constexpr EncoderSettings kDefaults{7500, 0};

class CodecEncodeTest : public testing::TestWithParam<std::tuple<DriverCase, int>> {
 protected:
  void SetUp() override {
    ICINFO info;
    for (int i = 0; manager_.Info(ICTYPE_VIDEO, i, info); ++i) {
      if (info.fccHandler == Driver().fourcc) return;
    }
    GTEST_SKIP() << "the linked libavcodec has no encoder for " << Driver().name;
  }

  const DriverCase& Driver() const { return std::get<0>(GetParam()); }
  int Bits() const { return std::get<1>(GetParam()); }

  long Query(int width, int height) {
    auto compressor = manager_.Open(ICTYPE_VIDEO, Driver().fourcc, ICMODE_QUERY);
    EXPECT_NE(compressor, nullptr);
    if (!compressor) return ICERR_INTERNAL;
    return compressor->CompressQuery(SyntheticFrames(width, height, Bits()).Header());
  }

  // Encodes `count` frames; fails the test unless every frame gives one non-empty packet,
  // at once or, from an encoder on frame threads, at most kMaxHeldFrames frames later.
  // `asPictures`: staged from pictures as a grabbed screen holds them.
  std::vector<EncodedFrame> EncodeFrames(FrameEncoder& encoder, const SyntheticFrames& frames,
                                         int count, bool asPictures = false) {
    std::vector<EncodedFrame> packets;
    EncodedFrame packet;
    for (int n = 0; n < count; ++n) {
      if (asPictures) {
        auto picture = frames.ScreenPixels(n);
        auto staged = encoder.Stage(PictureRows{picture.data(), 4 * frames.Width(), 4});
        picture.assign(picture.size(), 0);  // the caller may reuse the picture at once
        EXPECT_TRUE(encoder.EncodeStaged(std::move(staged), packet)) << "frame " << n;
      } else {
        const auto pixels = frames.Pixels(n);
        EXPECT_TRUE(encoder.Encode(pixels.data(), pixels.size(), packet)) << "frame " << n;
      }
      if (!packet.data.empty()) packets.push_back(packet);
      EXPECT_LE(n + 1 - static_cast<int>(packets.size()), static_cast<int>(kMaxHeldFrames));
    }
    FinishResult finished;
    while ((finished = encoder.Finish(packet)) == FinishResult::kPacket) {
      EXPECT_FALSE(packet.data.empty());
      packets.push_back(packet);
    }
    EXPECT_EQ(finished, FinishResult::kDone);
    EXPECT_EQ(packets.size(), static_cast<std::size_t>(count));
    packets.resize(static_cast<std::size_t>(count));
    return packets;
  }

  // Encodes frames of this size and checks the stream format and the decoded pictures.
  void CheckRoundTrip(int width, int height) {
    SyntheticFrames frames(width, height, Bits());
    auto encoder = manager_.NewEncoder(Driver().fourcc, frames.Format(), kDefaults);
    ASSERT_NE(encoder, nullptr);
    CheckOutputFormat(encoder->OutputFormat(), frames);
    const auto packets = EncodeFrames(*encoder, frames, kFrames);
    EXPECT_TRUE(packets[0].keyFrame);

    if (Driver().fourcc == FourCC('D', 'I', 'B', ' ')) {
      for (int n = 0; n < kFrames; ++n) EXPECT_EQ(packets[n].data, frames.Pixels(n));
      return;
    }
    std::vector<std::vector<std::uint8_t>> data;
    for (const auto& packet : packets) data.push_back(packet.data);
    StreamDecoder decoder(encoder->OutputFormat());
    const auto pictures = decoder.Decode(data);
    ASSERT_EQ(pictures.size(), static_cast<std::size_t>(kFrames));
    for (int n = 0; n < kFrames; ++n) {
      ASSERT_EQ(pictures[n].width, width);
      ASSERT_EQ(pictures[n].height, height);
      if (Driver().lossless) {
        EXPECT_EQ(DifferingPixels(frames, n, pictures[n]), 0) << "frame " << n;
      } else {
        EXPECT_GE(Psnr(frames, n, pictures[n]), Driver().psnrFloor) << "frame " << n;
      }
    }
  }

  void CheckOutputFormat(const std::vector<std::uint8_t>& format, const SyntheticFrames& frames) {
    ASSERT_GE(format.size(), sizeof(BitmapInfoHeader));
    BitmapInfoHeader header;
    std::memcpy(&header, format.data(), sizeof header);
    EXPECT_EQ(header.width, frames.Width());
    EXPECT_EQ(header.height, frames.Height());
    EXPECT_EQ(header.planes, 1);
    const bool raw = Driver().fourcc == FourCC('D', 'I', 'B', ' ');
    if (raw) {
      EXPECT_EQ(header.bitCount, Bits());
    } else if (Driver().codedBits) {
      EXPECT_EQ(header.bitCount, Driver().codedBits);
    } else {
      EXPECT_TRUE(header.bitCount == 8 || header.bitCount == 15 || header.bitCount == 16 ||
                  header.bitCount == 24 || header.bitCount == 32)
          << header.bitCount;
    }
    EXPECT_EQ(header.compression, raw ? 0u : Driver().fourcc);
    EXPECT_EQ(header.sizeImage, DibRowBytes(frames.Width(), header.bitCount) * frames.Height());
    if (raw) {
      // Frames as they are: the colour table at 8 bits, nothing else.
      EXPECT_EQ(header.size, sizeof header);
      EXPECT_EQ(format, frames.Format());
    } else {
      EXPECT_EQ(header.size, format.size());
    }
  }

  RecordingShell shell_;
  LibavCompressionManager manager_{shell_};
};

TEST_P(CodecEncodeTest, AcceptsAndRoundTripsEvenSizes) {
  EXPECT_EQ(Query(320, 240), ICERR_OK);
  CheckRoundTrip(320, 240);
}

// What a driver answers for an odd size must be what its encoder does with it.
TEST_P(CodecEncodeTest, AnswersForOddSizesAsTheEncoderBehaves) {
  const long answer = Query(301, 199);
  const std::uint32_t fourcc = Driver().fourcc;
  if (fourcc == FourCC('H', '2', '6', '4')) {
    EXPECT_EQ(answer, ICERR_BADFORMAT);
  }
  for (std::uint32_t anySize :
       {FourCC('Z', 'M', 'B', 'V'), FourCC('F', 'F', 'V', '1'), FourCC('U', 'L', 'R', 'G'),
        FourCC('M', 'P', 'N', 'G'), FourCC('D', 'I', 'B', ' ')}) {
    if (fourcc == anySize) {
      EXPECT_EQ(answer, ICERR_OK);
    }
  }
  if (answer == ICERR_OK) {
    CheckRoundTrip(301, 199);
  } else {
    EXPECT_EQ(answer, ICERR_BADFORMAT);
    EXPECT_EQ(manager_.NewEncoder(fourcc, SyntheticFrames(301, 199, Bits()).Format(), kDefaults),
              nullptr);
  }
}

TEST_P(CodecEncodeTest, KeyFramesFollowTheInterval) {
  SyntheticFrames frames(160, 120, Bits());
  auto encoder = manager_.NewEncoder(Driver().fourcc, frames.Format(), {7500, 3});
  ASSERT_NE(encoder, nullptr);
  const auto packets = EncodeFrames(*encoder, frames, 7);
  for (int n = 0; n < 7; ++n) {
    const bool key = !Driver().temporal || n % 3 == 0;
    EXPECT_EQ(packets[n].keyFrame, key) << "frame " << n;
  }
}

TEST_P(CodecEncodeTest, RefusesShortFrames) {
  SyntheticFrames frames(64, 48, Bits());
  auto encoder = manager_.NewEncoder(Driver().fourcc, frames.Format(), kDefaults);
  ASSERT_NE(encoder, nullptr);
  const auto pixels = frames.Pixels(0);
  EncodedFrame out;
  EXPECT_FALSE(encoder->Encode(pixels.data(), pixels.size() - 1, out));
  EXPECT_TRUE(encoder->Encode(pixels.data(), pixels.size(), out));
}

// The encoders that stage pictures code them exactly as the packed frames of the same pixels.
TEST_P(CodecEncodeTest, StagedPicturesCodeAsTheirPackedFrames) {
  SyntheticFrames frames(64, 48, Bits());
  auto packed = manager_.NewEncoder(Driver().fourcc, frames.Format(), kDefaults);
  auto staged = manager_.NewEncoder(Driver().fourcc, frames.Format(), kDefaults);
  ASSERT_TRUE(packed && staged);
  EXPECT_EQ(staged->Stages(), Driver().stages && Bits() >= 24);
  if (!staged->Stages()) return;
  const auto expected = EncodeFrames(*packed, frames, kFrames);
  const auto packets = EncodeFrames(*staged, frames, kFrames, /*asPictures=*/true);
  for (int n = 0; n < kFrames; ++n) EXPECT_EQ(packets[n].data, expected[n].data) << "frame " << n;
}

// The quality setting reaches the encoders that have one: lower quality, fewer bytes.
TEST(CodecQualityTest, LowerQualityGivesSmallerFrames) {
  RecordingShell shell;
  LibavCompressionManager manager(shell);
  const SyntheticFrames frames(160, 120, 24);
  for (std::uint32_t handler : {FourCC('H', '2', '6', '4'), FourCC('F', 'M', 'P', '4'),
                                FourCC('M', 'J', 'P', 'G'), FourCC('c', 'v', 'i', 'd')}) {
    auto bytesAt = [&](std::uint32_t quality) {
      auto encoder = manager.NewEncoder(handler, frames.Format(), {quality, 0});
      std::size_t bytes = 0;
      EncodedFrame out;
      for (int n = 0; encoder && n < 3; ++n) {
        const auto pixels = frames.Pixels(n);
        EXPECT_TRUE(encoder->Encode(pixels.data(), pixels.size(), out));
        bytes += out.data.size();
      }
      return bytes;
    };
    const std::size_t low = bytesAt(1000);
    const std::size_t standard = bytesAt(7500);
    const std::size_t high = bytesAt(10000);
    EXPECT_GT(low, 0u);
    EXPECT_LT(low, standard) << std::string(reinterpret_cast<const char*>(&handler), 4);
    EXPECT_LT(standard, high) << std::string(reinterpret_cast<const char*>(&handler), 4);
  }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, CodecEncodeTest,
                         testing::Combine(testing::ValuesIn(kDrivers),
                                          testing::Values(8, 16, 24, 32)),
                         [](const testing::TestParamInfo<CodecEncodeTest::ParamType>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "bit";
                         });

}  // namespace
}  // namespace orvenna::codec_test
