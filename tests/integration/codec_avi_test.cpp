// Every installed compressor through the AVI library into real files, read back by ffprobe
// and decoded by ffmpeg: the stream as players see it and the pictures they get.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "codec_test_support.h"
#include "platform/PosixFiles.h"
#include "platform/codec/LibavCompressionManager.h"
#include "tests/integration/Command.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna::codec_test {
namespace {

using avi_test::Quote;
using avi_test::TempFolder;
using test::ProbeValue;
using test::RunCommand;

struct DriverCase {
  const char* name;
  std::uint32_t fourcc;
  bool lossless;
  double psnrFloor;  // dB at quality 7500, for lossy drivers
};

void PrintTo(const DriverCase& driver, std::ostream* out) {
  *out << driver.name;
}

// As in the encoder tests, with 1 dB more margin for ffmpeg's own chroma upsampling.
const DriverCase kDrivers[] = {
    {"MsVideo1", FourCC('M', 'S', 'V', 'C'), false, 30},
    {"Zmbv", FourCC('Z', 'M', 'B', 'V'), true, 0},
    {"H264", FourCC('H', '2', '6', '4'), false, 34},
    {"Mpeg4", FourCC('F', 'M', 'P', '4'), false, 31},
    {"MotionJpeg", FourCC('M', 'J', 'P', 'G'), false, 31},
    {"Ffv1", FourCC('F', 'F', 'V', '1'), true, 0},
    {"HuffYuv", FourCC('H', 'F', 'Y', 'U'), true, 0},
    {"UtVideo", FourCC('U', 'L', 'R', 'G'), true, 0},
    {"Cinepak", FourCC('c', 'v', 'i', 'd'), false, 34},
    {"Png", FourCC('M', 'P', 'N', 'G'), true, 0},
    {"Uncompressed", FourCC('D', 'I', 'B', ' '), true, 0},
};

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr std::uint32_t kRate = 30;  // frames per second of playback
const int kSlots[] = {0, 1, 3};      // slot 2 stays empty
// Written as a grabbed screen's picture by the streams that take pictures.
constexpr int kPictureSlot = 1;

class CodecAviTest : public testing::TestWithParam<std::tuple<DriverCase, int>> {
 protected:
  const DriverCase& Driver() const { return std::get<0>(GetParam()); }
  int Bits() const { return std::get<1>(GetParam()); }

  // Writes the frames of kSlots as a recording does: the stream header, compression options
  // with quality 7500, the format, one write per slot.
  AviResult Record(const std::string& path, const SyntheticFrames& frames) {
    const std::vector<std::uint8_t>& format = frames.Format();
    PAVIFILE file;
    PAVISTREAM raw;
    PAVISTREAM compressed;
    AviResult result = AVIFileOpen(file, files_, path, OF_WRITE | OF_CREATE);
    if (result == AVIERR_OK) {
      result = AVIFileCreateStream(file, raw, avi_test::VideoInfo(Driver().fourcc, kRate, format));
    }
    AVICOMPRESSOPTIONS options;
    options.fccType = streamtypeVIDEO;
    options.fccHandler = Driver().fourcc;
    options.dwQuality = 7500;
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    if (result == AVIERR_OK) result = AVIMakeCompressedStream(compressed, raw, &options, codecs_);
    if (result == AVIERR_OK) {
      result = AVIStreamSetFormat(compressed, 0, format.data(), static_cast<int>(format.size()));
    }
    for (int slot : kSlots) {
      if (result != AVIERR_OK) break;
      if (slot == kPictureSlot && AVIStreamTakesPictures(compressed)) {
        const auto picture = frames.ScreenPixels(slot);
        result =
            AVIStreamWritePicture(compressed, slot, PictureRows{picture.data(), 4 * kWidth, 4});
        continue;
      }
      const auto pixels = frames.Pixels(slot);
      result = AVIStreamWrite(compressed, slot, 1, pixels.data(), static_cast<int>(pixels.size()),
                              AVIIF_KEYFRAME, nullptr, nullptr);
    }
    takesPictures_ = AVIStreamTakesPictures(compressed);
    for (PAVISTREAM* stream : {&raw, &compressed}) {
      if (*stream) AVIStreamRelease(*stream);
    }
    if (file) {
      const AviResult released = AVIFileRelease(file);
      if (result == AVIERR_OK) result = released;
    }
    return result;
  }

  RecordingShell shell_;
  LibavCompressionManager codecs_{shell_};
  bool takesPictures_ = false;
  PosixFiles files_;
  TempFolder folder_;
};

TEST_P(CodecAviTest, FfmpegReadsTheRecording) {
  const SyntheticFrames frames(kWidth, kHeight, Bits());
  const std::string path = folder_.Path("recording.avi");
  ASSERT_EQ(Record(path, frames), AVIERR_OK);

  const auto stream = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "stream=codec_type,codec_tag_string,r_frame_rate,nb_frames "
      "-of default=nw=1 " +
      Quote(path));
  ASSERT_EQ(stream.exitCode, 0);
  EXPECT_EQ(ProbeValue(stream.output, "codec_type"), "video");
  if (Driver().fourcc != FourCC('D', 'I', 'B', ' ')) {
    EXPECT_EQ(ProbeValue(stream.output, "codec_tag_string"),
              std::string(reinterpret_cast<const char*>(&Driver().fourcc), 4));
  }
  EXPECT_EQ(ProbeValue(stream.output, "r_frame_rate"), std::to_string(kRate) + "/1");
  EXPECT_EQ(ProbeValue(stream.output, "nb_frames"), "4");  // with the empty slot
  // The libavcodec compressors convert pictures themselves; no colour of 24 or 32-bit frames
  // is lost.
  const std::uint32_t fourcc = Driver().fourcc;
  const bool ownCoder = fourcc == FourCC('M', 'S', 'V', 'C') ||
                        fourcc == FourCC('Z', 'M', 'B', 'V') ||
                        fourcc == FourCC('D', 'I', 'B', ' ');
  EXPECT_EQ(takesPictures_, !ownCoder && Bits() >= 24);

  // Packets in decoding order, one per written slot.
  const auto packets = RunCommand(
      "ffprobe -v error -select_streams v:0 -show_entries "
      "packet=dts,size -of csv=p=0 " +
      Quote(path));
  ASSERT_EQ(packets.exitCode, 0);
  std::istringstream lines(packets.output);
  std::vector<int> positions;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    positions.push_back(std::stoi(line.substr(0, line.find(','))));
    EXPECT_GT(std::stoi(line.substr(line.find(',') + 1)), 0) << line;
  }
  EXPECT_EQ(positions, std::vector<int>(std::begin(kSlots), std::end(kSlots)));

  const auto decoded = RunCommand("ffmpeg -v error -i " + Quote(path) +
                                  " -f rawvideo -pix_fmt rgb24 -vsync passthrough -");
  ASSERT_EQ(decoded.exitCode, 0);
  const std::size_t pictureBytes = 3 * kWidth * kHeight;
  ASSERT_EQ(decoded.output.size(), std::size(kSlots) * pictureBytes);
  for (std::size_t i = 0; i < std::size(kSlots); ++i) {
    const Picture picture = PictureFromRgb24(
        kWidth, kHeight,
        reinterpret_cast<const std::uint8_t*>(decoded.output.data()) + i * pictureBytes);
    if (Driver().lossless) {
      EXPECT_EQ(DifferingPixels(frames, kSlots[i], picture), 0) << "slot " << kSlots[i];
    } else {
      EXPECT_GE(Psnr(frames, kSlots[i], picture), Driver().psnrFloor) << "slot " << kSlots[i];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllDrivers, CodecAviTest,
                         testing::Combine(testing::ValuesIn(kDrivers),
                                          testing::Values(8, 16, 24, 32)),
                         [](const testing::TestParamInfo<CodecAviTest::ParamType>& info) {
                           return std::string(std::get<0>(info.param).name) + "_" +
                                  std::to_string(std::get<1>(info.param)) + "bit";
                         });

}  // namespace
}  // namespace orvenna::codec_test
