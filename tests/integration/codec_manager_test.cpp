// The compression manager: enumeration, information records, dialogs, the configuration
// choice a driver keeps, and the registrable test drivers.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "codec_test_support.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/codec/TestDrivers.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvenna::codec_test {
namespace {

struct Expected {
  std::uint32_t handler;
  const char* encoder;  // null: needs no encoder
};

// The enumeration order of the installed compressors.
const Expected kOrder[] = {
    {FourCC('H', '2', '6', '4'), "libx264"}, {FourCC('M', 'S', 'V', 'C'), nullptr},
    {FourCC('Z', 'M', 'B', 'V'), nullptr},   {FourCC('F', 'M', 'P', '4'), "mpeg4"},
    {FourCC('M', 'J', 'P', 'G'), "mjpeg"},   {FourCC('F', 'F', 'V', '1'), "ffv1"},
    {FourCC('H', 'F', 'Y', 'U'), "huffyuv"}, {FourCC('U', 'L', 'R', 'G'), "utvideo"},
    {FourCC('c', 'v', 'i', 'd'), "cinepak"}, {FourCC('M', 'P', 'N', 'G'), "png"},
    {FourCC('D', 'I', 'B', ' '), nullptr},
};

constexpr std::uint32_t kH264 = FourCC('H', '2', '6', '4');
constexpr std::uint32_t kZmbv = FourCC('Z', 'M', 'B', 'V');

std::string Narrow(const char16_t* field, std::size_t units) {
  std::string text;
  for (std::size_t i = 0; i < units && field[i]; ++i) text += static_cast<char>(field[i]);
  return text;
}

template <std::size_t N>
bool ZeroTerminated(const char16_t (&field)[N]) {
  return std::find(field, field + N, u'\0') != field + N;
}

std::vector<std::uint32_t> Handlers(VideoCompressionManager& manager) {
  std::vector<std::uint32_t> handlers;
  ICINFO info;
  for (int i = 0; manager.Info(ICTYPE_VIDEO, i, info); ++i) handlers.push_back(info.fccHandler);
  return handlers;
}

class CodecManagerTest : public testing::Test {
 protected:
  std::unique_ptr<VideoCompressor> Open(std::uint32_t handler) {
    return manager_.Open(ICTYPE_VIDEO, handler, ICMODE_QUERY);
  }

  RecordingShell shell_;
  LibavCompressionManager manager_{shell_};
};

TEST_F(CodecManagerTest, EnumeratesTheLinkedEncodersInFixedOrder) {
  std::vector<std::uint32_t> expected;
  for (const auto& entry : kOrder) {
    if (!entry.encoder || avcodec_find_encoder_by_name(entry.encoder)) {
      expected.push_back(entry.handler);
    }
  }
  EXPECT_EQ(Handlers(manager_), expected);

  ICINFO info;
  ASSERT_TRUE(manager_.Info(ICTYPE_VIDEO, 1, info));
  EXPECT_EQ(info.dwSize, 568u);
  EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
  EXPECT_FALSE(manager_.Info(ICTYPE_VIDEO, static_cast<int>(expected.size()), info));
  EXPECT_FALSE(manager_.Info(ICTYPE_VIDEO, -1, info));
  EXPECT_FALSE(manager_.Info(FourCC('v', 'i', 'd', 'x'), 0, info));
  EXPECT_GE(manager_.Version() >> 16, 0x010Au);
}

TEST_F(CodecManagerTest, InformationRecordsNameEachDriver) {
  for (std::uint32_t handler : Handlers(manager_)) {
    auto compressor = Open(handler);
    ASSERT_NE(compressor, nullptr);
    const ICINFO info = compressor->GetInfo();
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(info.fccHandler, handler);
    EXPECT_EQ(info.dwVersionICM, 0x0104u);
    ASSERT_TRUE(ZeroTerminated(info.szName));
    ASSERT_TRUE(ZeroTerminated(info.szDescription));
    ASSERT_TRUE(ZeroTerminated(info.szDriver));
    const std::string name = Narrow(info.szName, 16);
    EXPECT_FALSE(name.empty());
    // The options list shows the description: it starts with the short name.
    EXPECT_EQ(Narrow(info.szDescription, 128).rfind(name + " - ", 0), 0u) << name;
    const std::string driver = Narrow(info.szDriver, 128);
    const bool ours = handler == FourCC('D', 'I', 'B', ' ') ||
                      handler == FourCC('M', 'S', 'V', 'C') || handler == kZmbv;
    EXPECT_EQ(driver.rfind(ours ? "orvenna " : "libavcodec ", 0), 0u) << driver;
  }
  auto mpeg4 = Open(FourCC('F', 'M', 'P', '4'));
  ASSERT_NE(mpeg4, nullptr);
  const ICINFO info = mpeg4->GetInfo();
  EXPECT_EQ(Narrow(info.szDescription, 128), "MPEG-4 - MPEG-4 Part 2 Video");
  EXPECT_EQ(Narrow(info.szDriver, 128), "libavcodec mpeg4");
}

TEST_F(CodecManagerTest, OpensByHandlerInEitherCaseAndNothingElse) {
  EXPECT_NE(Open(FourCC('m', 's', 'v', 'c')), nullptr);
  EXPECT_NE(manager_.Open(ICTYPE_VIDEO, FourCC('M', 'S', 'V', 'C'), ICMODE_COMPRESS), nullptr);
  EXPECT_EQ(Open(FourCC('X', 'X', 'X', 'X')), nullptr);
  EXPECT_EQ(manager_.Open(FourCC('a', 'u', 'd', 'c'), FourCC('M', 'S', 'V', 'C'), ICMODE_QUERY),
            nullptr);
  EXPECT_EQ(manager_.Open(ICTYPE_VIDEO, FourCC('M', 'S', 'V', 'C'), 2), nullptr);  // decompress
}

TEST_F(CodecManagerTest, RefusesInputThatIsNotAPackedFrame) {
  BitmapInfoHeader good = SyntheticFrames(64, 48, 24).Header();
  std::vector<BitmapInfoHeader> bad(5, good);
  bad[0].compression = FourCC('M', 'J', 'P', 'G');
  bad[1].bitCount = 4;
  bad[2].width = 0;
  bad[3].height = -48;  // top-down rows
  bad[4].width = 1 << 30;
  for (std::uint32_t handler : Handlers(manager_)) {
    auto compressor = Open(handler);
    ASSERT_NE(compressor, nullptr);
    for (const auto& header : bad) {
      EXPECT_EQ(compressor->CompressQuery(header), ICERR_BADFORMAT)
          << Narrow(compressor->GetInfo().szName, 16);
      std::vector<std::uint8_t> format(sizeof header);
      std::memcpy(format.data(), &header, sizeof header);
      EXPECT_EQ(manager_.NewEncoder(handler, format, {7500, 0}), nullptr);
    }
    std::vector<std::uint8_t> truncated(sizeof good - 1);
    EXPECT_EQ(manager_.NewEncoder(handler, truncated, {7500, 0}), nullptr);
  }
  EXPECT_EQ(manager_.NewEncoder(FourCC('X', 'X', 'X', 'X'), SyntheticFrames(64, 48, 24).Format(),
                                {7500, 0}),
            nullptr);
}

TEST_F(CodecManagerTest, AboutBoxNamesEncoderAndLibraryVersion) {
  for (std::uint32_t handler : Handlers(manager_)) {
    auto compressor = Open(handler);
    ASSERT_NE(compressor, nullptr);
    EXPECT_EQ(compressor->QueryAbout(), ICERR_OK);
    const bool configurable = handler == kH264 || handler == kZmbv;
    EXPECT_EQ(compressor->QueryConfigure(), configurable ? ICERR_OK : ICERR_UNSUPPORTED);
  }
  int owner = 0;
  auto mpeg4 = Open(FourCC('F', 'M', 'P', '4'));
  EXPECT_EQ(mpeg4->About(&owner), ICERR_OK);
  ASSERT_EQ(shell_.informations.size(), 1u);
  EXPECT_EQ(shell_.informations[0].parent, &owner);
  const unsigned version = avcodec_version();
  const std::string versionText = std::to_string(version >> 16) + "." +
                                  std::to_string((version >> 8) & 0xFF) + "." +
                                  std::to_string(version & 0xFF);
  const std::string& text = shell_.informations[0].text;
  EXPECT_NE(text.find(avcodec_find_encoder_by_name("mpeg4")->long_name), std::string::npos);
  EXPECT_NE(text.find("libavcodec " + versionText), std::string::npos) << text;

  EXPECT_EQ(mpeg4->Configure(&owner), ICERR_UNSUPPORTED);
  EXPECT_TRUE(shell_.choices.empty());
}

TEST_F(CodecManagerTest, ConfigureChoiceIsKeptForLaterEncoders) {
  // x264 writes its settings into the first frame: "cabac=1" at the default preset
  // (veryfast), "cabac=0" at ultrafast.
  const SyntheticFrames frames(64, 48, 32);
  auto firstFrame = [&] {
    auto encoder = manager_.NewEncoder(kH264, frames.Format(), {7500, 0});
    EncodedFrame out;
    const auto pixels = frames.Pixels(0);
    EXPECT_TRUE(encoder && encoder->Encode(pixels.data(), pixels.size(), out));
    return std::string(out.data.begin(), out.data.end());
  };
  EXPECT_NE(firstFrame().find("cabac=1"), std::string::npos);

  int owner = 0;
  shell_.answers = {0, -1};
  EXPECT_EQ(Open(kH264)->Configure(&owner), ICERR_OK);
  ASSERT_EQ(shell_.choices.size(), 1u);
  EXPECT_EQ(shell_.choices[0].parent, &owner);
  EXPECT_EQ(shell_.choices[0].items[0], "ultrafast");
  EXPECT_EQ(shell_.choices[0].items[shell_.choices[0].current], "veryfast");
  EXPECT_NE(firstFrame().find("cabac=0"), std::string::npos);

  // A new instance shows the kept choice, and cancelling keeps it.
  EXPECT_EQ(Open(kH264)->Configure(&owner), ICERR_OK);
  ASSERT_EQ(shell_.choices.size(), 2u);
  EXPECT_EQ(shell_.choices[1].current, 0);
  EXPECT_NE(firstFrame().find("cabac=0"), std::string::npos);
}

// Until a preset is picked, larger frames get faster presets; a picked one holds at any size.
// x264 writes its settings into the first frame: "subme=2" at veryfast, 1 at superfast, 0 at
// ultrafast, 7 at medium.
TEST_F(CodecManagerTest, LargeFramesGetFasterPresetsUntilOneIsPicked) {
  const auto settingsAt = [&](int width, int height) {
    const SyntheticFrames frames(width, height, 32);
    auto encoder = manager_.NewEncoder(kH264, frames.Format(), {7500, 0});
    EncodedFrame out;
    const auto pixels = frames.Pixels(0);
    EXPECT_TRUE(encoder && encoder->Encode(pixels.data(), pixels.size(), out));
    return std::string(out.data.begin(), out.data.end());
  };
  struct Case {
    int width, height;
    const char* unpicked;
  };
  for (const Case& c :
       {Case{1920, 1080, "subme=2 "}, Case{2560, 1440, "subme=1 "}, Case{3840, 2160, "subme=0 "}}) {
    EXPECT_NE(settingsAt(c.width, c.height).find(c.unpicked), std::string::npos) << c.width;
  }
  int owner = 0;
  shell_.answers = {5};  // medium
  EXPECT_EQ(Open(kH264)->Configure(&owner), ICERR_OK);
  EXPECT_EQ(shell_.choices[0].items[shell_.choices[0].current], "veryfast");
  EXPECT_NE(settingsAt(3840, 2160).find("subme=7 "), std::string::npos);
}

TEST_F(CodecManagerTest, EncodersOutliveTheManager) {
  const SyntheticFrames frames(64, 48, 24);
  std::unique_ptr<FrameEncoder> encoder;
  {
    RecordingShell shell;
    LibavCompressionManager manager(shell);
    encoder = manager.NewEncoder(kZmbv, frames.Format(), {7500, 0});
  }
  ASSERT_NE(encoder, nullptr);
  EncodedFrame out;
  const auto pixels = frames.Pixels(0);
  EXPECT_TRUE(encoder->Encode(pixels.data(), pixels.size(), out));
}

TEST_F(CodecManagerTest, TestDriversJoinTheEnumerationAndBehaveAsNamed) {
  const std::size_t standard = Handlers(manager_).size();
  auto even = MakeEvenSizeDriver();
  auto failing = MakeFailingDriver(FourCC('F', 'A', 'I', 'L'), 2);
  const auto evenLog = even->Log();
  const auto failingLog = failing->Log();
  ASSERT_TRUE(manager_.RegisterDriver(std::move(even)));
  ASSERT_TRUE(manager_.RegisterDriver(MakeRefusingDriver()));
  ASSERT_TRUE(manager_.RegisterDriver(std::move(failing)));
  EXPECT_FALSE(manager_.RegisterDriver(MakeRefusingDriver(FourCC('m', 's', 'v', 'c'))));

  const auto handlers = Handlers(manager_);
  ASSERT_EQ(handlers.size(), standard + 3);
  EXPECT_EQ(handlers[standard], FourCC('E', 'V', 'E', 'N'));
  EXPECT_EQ(handlers[standard + 1], FourCC('N', 'O', 'N', 'E'));
  EXPECT_EQ(handlers[standard + 2], FourCC('F', 'A', 'I', 'L'));

  auto evenSizes = Open(FourCC('E', 'V', 'E', 'N'));
  EXPECT_EQ(evenSizes->CompressQuery(SyntheticFrames(300, 200, 32).Header()), ICERR_OK);
  EXPECT_EQ(evenSizes->CompressQuery(SyntheticFrames(301, 200, 32).Header()), ICERR_BADFORMAT);
  EXPECT_EQ(evenSizes->CompressQuery(SyntheticFrames(300, 201, 32).Header()), ICERR_BADFORMAT);
  EXPECT_EQ(evenLog->queries, 3);
  EXPECT_EQ(Narrow(evenSizes->GetInfo().szName, 16), "Even sizes");

  for (int bits : {8, 16, 24, 32}) {
    EXPECT_EQ(
        Open(FourCC('N', 'O', 'N', 'E'))->CompressQuery(SyntheticFrames(64, 48, bits).Header()),
        ICERR_BADFORMAT);
    EXPECT_EQ(manager_.NewEncoder(FourCC('N', 'O', 'N', 'E'),
                                  SyntheticFrames(64, 48, bits).Format(), {7500, 0}),
              nullptr);
  }

  // Frames pass through uncompressed until the scripted failure.
  const SyntheticFrames frames(64, 48, 8);
  auto encoder = manager_.NewEncoder(FourCC('F', 'A', 'I', 'L'), frames.Format(), {5000, 15});
  ASSERT_NE(encoder, nullptr);
  EXPECT_EQ(encoder->OutputFormat(), frames.Format());
  EXPECT_EQ(failingLog->quality, 5000u);
  EXPECT_EQ(failingLog->keyFrameEvery, 15u);
  EncodedFrame out;
  for (int n = 0; n < 4; ++n) {
    const auto pixels = frames.Pixels(n);
    EXPECT_EQ(encoder->Encode(pixels.data(), pixels.size(), out).ok(), n < 2) << "frame " << n;
    if (n < 2) {
      EXPECT_EQ(out.data, pixels);
    }
  }
  EXPECT_EQ(failingLog->frames, 2);

  int owner = 0;
  auto failingCompressor = Open(FourCC('F', 'A', 'I', 'L'));
  EXPECT_EQ(failingCompressor->About(&owner), ICERR_OK);
  EXPECT_EQ(failingCompressor->Configure(&owner), ICERR_OK);
  EXPECT_EQ(failingLog->abouts, 1);
  EXPECT_EQ(failingLog->configures, 1);
  EXPECT_EQ(failingLog->lastParent, &owner);
}

TEST(CodecRegistryTest, ManagerWithOnlyTestDrivers) {
  RecordingShell shell;
  CompressionManager manager(shell);
  EXPECT_TRUE(Handlers(manager).empty());
  TestDriverBehaviour quiet;
  quiet.hasAbout = false;
  quiet.hasConfigure = false;
  ASSERT_TRUE(manager.RegisterDriver(std::make_unique<TestDriver>(quiet)));
  auto compressor = manager.Open(ICTYPE_VIDEO, quiet.handler, ICMODE_QUERY);
  ASSERT_NE(compressor, nullptr);
  EXPECT_EQ(compressor->QueryAbout(), ICERR_UNSUPPORTED);
  EXPECT_EQ(compressor->QueryConfigure(), ICERR_UNSUPPORTED);
  EXPECT_EQ(compressor->About(nullptr), ICERR_UNSUPPORTED);
  EXPECT_EQ(compressor->CompressQuery(SyntheticFrames(7, 5, 16).Header()), ICERR_OK);
}

}  // namespace
}  // namespace orvenna::codec_test
