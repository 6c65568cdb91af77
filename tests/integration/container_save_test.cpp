// Saving a recording's streams as Matroska and MP4 files: what ffprobe, ffmpeg and GStreamer
// see of them, frame times that follow the playback rate as the AVI file's do, the sound
// beside the pictures, and the refusals, the stop and a failed write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <sstream>

#include "codec_test_support.h"
#include "platform/PosixFiles.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/mux/LibavContainerWriter.h"
#include "tests/integration/Command.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna::codec_test {
namespace {

using avi_test::OpenFirstStream;
using avi_test::Quote;
using avi_test::RunCommand;
using test::GstreamerReads;

struct CompressorCase {
  const char* name;
  std::uint32_t fourcc;
  int bits;
  const char* codecName;  // as ffprobe names it
  bool lossless;
};

void PrintTo(const CompressorCase& compressor, std::ostream* out) {
  *out << compressor.name << "_" << compressor.bits;
}

constexpr int kWidth = 160;
constexpr int kHeight = 120;
constexpr std::uint32_t kRate = 30;  // frames per second of playback

std::vector<double> Values(const std::string& csv) {
  std::vector<double> values;
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.find("N/A") == std::string::npos) values.push_back(std::stod(line));
  }
  return values;
}

class ContainerSave : public ::testing::Test {
 protected:
  // Writes the pictures of `slots` (positions at kRate frames a second; the others stay empty)
  // through the compressor, and `soundSeconds` of stereo sine.
  void Record(std::uint32_t fourcc, int bits, const std::vector<int>& slots, double soundSeconds) {
    frames_.emplace(kWidth, kHeight, bits);
    std::vector<std::pair<int, std::vector<std::uint8_t>>> pictures;
    for (int slot : slots) pictures.emplace_back(slot, frames_->Pixels(slot));
    slots_ = slots;
    ASSERT_EQ(
        avi_test::WriteVideo(files_, video_, codecs_, fourcc, kRate, frames_->Format(), pictures),
        AVIERR_OK);
    int status = -1;
    RunCommand("ffmpeg -v error -nostdin -f lavfi -i sine=frequency=440:sample_rate=44100 -t " +
                   std::to_string(soundSeconds) + " -ac 2 -c:a pcm_s16le -y " + Quote(sound_),
               &status);
    ASSERT_EQ(status, 0);
  }

  AviResult Save(Container container, const std::string& path, const AVISAVECALLBACK& callback = {},
                 Files* into = nullptr) {
    PAVISTREAM streams[2] = {OpenFirstStream(files_, video_), OpenFirstStream(files_, sound_)};
    Files& files = into ? *into : files_;
    static_cast<void>(files.Delete(path));
    const auto output = files.Open(path, OpenMode::CreateNew);
    if (!output) return AVIERR_FILEOPEN;
    return writer_.SaveInto(container, *output, callback, 2, streams);
  }

  std::string Probe(const std::string& arguments, const std::string& path) {
    return RunCommand("ffprobe -v error " + arguments + " " + Quote(path));
  }

  // The pictures decoded from `path`, one per written slot, top row first.
  std::string DecodedPictures(const std::string& path) {
    int status = -1;
    std::string decoded =
        RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) +
                       " -map 0:v -f rawvideo -pix_fmt rgb24 -vsync passthrough -",
                   &status);
    EXPECT_EQ(status, 0) << path;
    return decoded;
  }

  // The pictures of `path` are those of the recording, bit for bit; a lossless compressor's
  // are also those that were recorded.
  void ExpectPictures(const std::string& path, bool lossless) {
    const std::string decoded = DecodedPictures(path);
    EXPECT_TRUE(decoded == DecodedPictures(video_)) << "the pictures differ from the recording's";
    const std::size_t pictureBytes = 3 * kWidth * kHeight;
    ASSERT_EQ(decoded.size(), slots_.size() * pictureBytes);
    for (std::size_t i = 0; lossless && i < slots_.size(); ++i) {
      const Picture picture = PictureFromRgb24(
          kWidth, kHeight,
          reinterpret_cast<const std::uint8_t*>(decoded.data()) + i * pictureBytes);
      EXPECT_EQ(DifferingPixels(*frames_, slots_[i], picture), 0) << "slot " << slots_[i];
    }
  }

  // The times of the pictures, in seconds.
  std::vector<double> PictureTimes(const std::string& path) {
    return Values(Probe("-select_streams v -show_entries packet=pts_time -of csv=p=0", path));
  }

  // Where the stream of `kind` ('v' or 'a') ends: its last packet's time and duration.
  double StreamEnd(const std::string& path, char kind) {
    std::istringstream lines(Probe(std::string("-select_streams ") + kind +
                                       " -show_entries packet=pts_time,duration_time -of csv=p=0",
                                   path));
    double end = 0;
    for (std::string line; std::getline(lines, line);) {
      double time = 0;
      double duration = 0;
      if (std::sscanf(line.c_str(), "%lf,%lf", &time, &duration) == 2) {
        end = std::max(end, time + duration);
      }
    }
    return end;
  }

  std::vector<double> SlotTimes() const {
    std::vector<double> times;
    for (int slot : slots_) times.push_back(static_cast<double>(slot) / kRate);
    return times;
  }

  avi_test::TempFolder folder_;
  PosixFiles files_;
  RecordingShell shell_;
  LibavCompressionManager codecs_{shell_};
  LibavContainerWriter writer_;
  std::optional<SyntheticFrames> frames_;
  std::vector<int> slots_;
  const std::string video_ = folder_.Path("~vstream.avi");
  const std::string sound_ = folder_.Path("~astream.wav");
};

void ExpectTimesNear(const std::vector<double>& actual, const std::vector<double>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], 0.001) << "picture " << i;
  }
}

class EveryCompressor
    : public ContainerSave,
      public ::testing::WithParamInterface<std::tuple<Container, CompressorCase>> {
 protected:
  Container Kind() const { return std::get<0>(GetParam()); }
  const CompressorCase& Compressor() const { return std::get<1>(GetParam()); }
};

// Every picture comes back as recorded, at its slot's time, with the sound beside it; and a
// reader written apart from ffmpeg's reads the file to its end.
TEST_P(EveryCompressor, PlaysAsRecorded) {
  Record(Compressor().fourcc, Compressor().bits, {0, 1, 3, 4, 7}, 8.0 / kRate);
  const std::string path = folder_.Path(Kind() == Container::Mp4 ? "out.mp4" : "out.mkv");
  ASSERT_EQ(Save(Kind(), path), AVIERR_OK);

  EXPECT_EQ(
      Probe("-show_entries stream=codec_type,codec_name,sample_rate,channels -of csv=p=0", path),
      std::string(Compressor().codecName) + ",video\n" +
          (Kind() == Container::Mp4 ? "aac" : "pcm_s16le") + ",audio,44100,2\n");
  ExpectPictures(path, Compressor().lossless);
  ExpectTimesNear(PictureTimes(path), SlotTimes());
  // The last picture stays until the end of its recording, as the sound does.
  EXPECT_NEAR(StreamEnd(path, 'v'), 8.0 / kRate, 0.002);
  EXPECT_NEAR(StreamEnd(path, 'a'), 8.0 / kRate, 1.0 / kRate);
  // GStreamer has no Ut Video decoder, and now and then stalls on uncompressed bitmaps in
  // Matroska (ffmpeg reads them above, picture for picture).
  const bool gstreamerDecodes = Compressor().fourcc != FourCC('U', 'L', 'R', 'G') &&
                                Compressor().fourcc != FourCC('D', 'I', 'B', ' ');
  if (gstreamerDecodes) {
    EXPECT_TRUE(GstreamerReads(path));
  }
}

const CompressorCase kEveryCompressor[] = {
    {"MsVideo1", FourCC('M', 'S', 'V', 'C'), 8, "msvideo1", false},
    {"MsVideo1", FourCC('M', 'S', 'V', 'C'), 16, "msvideo1", false},
    {"Zmbv", FourCC('Z', 'M', 'B', 'V'), 32, "zmbv", true},
    {"H264", FourCC('H', '2', '6', '4'), 24, "h264", false},
    {"Mpeg4", FourCC('F', 'M', 'P', '4'), 24, "mpeg4", false},
    {"MotionJpeg", FourCC('M', 'J', 'P', 'G'), 24, "mjpeg", false},
    {"Ffv1", FourCC('F', 'F', 'V', '1'), 32, "ffv1", true},
    {"HuffYuv", FourCC('H', 'F', 'Y', 'U'), 24, "huffyuv", true},
    {"UtVideo", FourCC('U', 'L', 'R', 'G'), 24, "utvideo", true},
    {"Cinepak", FourCC('c', 'v', 'i', 'd'), 24, "cinepak", false},
    {"Png", FourCC('M', 'P', 'N', 'G'), 24, "png", true},
    {"Uncompressed", FourCC('D', 'I', 'B', ' '), 8, "rawvideo", true},
    {"Uncompressed", FourCC('D', 'I', 'B', ' '), 16, "rawvideo", true},
    {"Uncompressed", FourCC('D', 'I', 'B', ' '), 24, "rawvideo", true},
};

const CompressorCase kMp4Compressors[] = {
    {"H264", FourCC('H', '2', '6', '4'), 32, "h264", false},
    {"Mpeg4", FourCC('F', 'M', 'P', '4'), 32, "mpeg4", false},
};

std::string CaseName(const testing::TestParamInfo<EveryCompressor::ParamType>& info) {
  const CompressorCase& compressor = std::get<1>(info.param);
  return std::string(std::get<0>(info.param) == Container::Mp4 ? "Mp4_" : "Matroska_") +
         compressor.name + "_" + std::to_string(compressor.bits) + "bit";
}

INSTANTIATE_TEST_SUITE_P(Matroska, EveryCompressor,
                         testing::Combine(testing::Values(Container::Matroska),
                                          testing::ValuesIn(kEveryCompressor)),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Mp4, EveryCompressor,
                         testing::Combine(testing::Values(Container::Mp4),
                                          testing::ValuesIn(kMp4Compressors)),
                         CaseName);

// A time-lapse recording (a picture every second, played at 30 a second) with slots it had no
// picture for plays the same in all three kinds of file.
TEST_F(ContainerSave, TimeLapsePlaysTheSameInEveryKind) {
  std::vector<int> slots;
  for (int slot = 0; slot < 60; ++slot) {
    if (slot % 3 != 2) slots.push_back(slot);
  }
  Record(FourCC('H', '2', '6', '4'), 24, slots, (slots.back() + 1.0) / kRate);
  const std::string avi = folder_.Path("out.avi");
  {
    PAVISTREAM streams[2] = {OpenFirstStream(files_, video_), OpenFirstStream(files_, sound_)};
    const auto output = files_.Open(avi, OpenMode::CreateNew);
    ASSERT_EQ(AVISaveInto(*output, {}, 2, streams), AVIERR_OK);
  }
  for (const Container kind : {Container::Matroska, Container::Mp4}) {
    const std::string path = folder_.Path(kind == Container::Mp4 ? "out.mp4" : "out.mkv");
    ASSERT_EQ(Save(kind, path), AVIERR_OK);
    SCOPED_TRACE(path);
    ExpectTimesNear(PictureTimes(path), SlotTimes());
    // The recording ends with the last slot that has a picture.
    EXPECT_NEAR(StreamEnd(path, 'v'), (slots.back() + 1.0) / kRate, 0.002);
    EXPECT_NEAR(StreamEnd(path, 'a'), StreamEnd(path, 'v'), 1.0 / kRate);
    // The sound starts with the first picture.
    EXPECT_NEAR(
        Values(Probe("-select_streams a -show_entries stream=start_time -of csv=p=0", path)).at(0),
        0.0, 0.001);
  }
  // Frame by frame, the three show the same pictures at the same times.
  const auto framesAt30 = [&](const std::string& path) {
    return RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) +
                      " -map 0:v -r 30 -f framemd5 - | grep -v '^#' | cut -d, -f2,6");
  };
  EXPECT_EQ(framesAt30(folder_.Path("out.mkv")), framesAt30(avi));
  EXPECT_EQ(framesAt30(folder_.Path("out.mp4")), framesAt30(avi));
}

// The index of an MP4 file comes before the pictures, so that a player starts while the file
// downloads.
TEST_F(ContainerSave, Mp4IndexComesFirst) {
  Record(FourCC('H', '2', '6', '4'), 32, {0, 1, 2}, 0.1);
  const std::string path = folder_.Path("out.mp4");
  ASSERT_EQ(Save(Container::Mp4, path), AVIERR_OK);
  const std::vector<std::uint8_t> bytes = avi_test::ReadWholeFile(path);
  std::vector<std::string> boxes;
  for (std::size_t at = 0; at + 8 <= bytes.size();) {
    const std::uint32_t size = static_cast<std::uint32_t>(bytes[at] << 24 | bytes[at + 1] << 16 |
                                                          bytes[at + 2] << 8 | bytes[at + 3]);
    boxes.emplace_back(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
    if (size < 8) break;
    at += size;
  }
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  ASSERT_NE(moov, boxes.end());
  EXPECT_LT(moov, std::find(boxes.begin(), boxes.end(), "mdat"));
}

// Pictures MP4 cannot carry are refused, and nothing is written.
TEST_F(ContainerSave, Mp4RefusesOtherPictures) {
  Record(FourCC('M', 'J', 'P', 'G'), 24, {0, 1}, 0.1);
  const std::string path = folder_.Path("out.mp4");
  EXPECT_EQ(Save(Container::Mp4, path), AVIERR_UNSUPPORTED);
  EXPECT_EQ(avi_test::ReadWholeFile(path).size(), 0u);
}

// A stop during the save leaves a file that plays what was copied; a failed write is said as
// such, never as success.
TEST_F(ContainerSave, StopLeavesAPlayableFileAndAFailedWriteFails) {
  std::vector<int> slots(90);
  for (int i = 0; i < 90; ++i) slots[i] = i;
  Record(FourCC('H', '2', '6', '4'), 24, slots, 3.0);
  for (const Container kind : {Container::Matroska, Container::Mp4}) {
    const std::string path = folder_.Path(kind == Container::Mp4 ? "out.mp4" : "out.mkv");
    SCOPED_TRACE(path);
    std::vector<int> percents;
    ASSERT_EQ(Save(kind, path,
                   [&](int percent) {
                     percents.push_back(percent);
                     return percent >= 50 ? -1 : 0;
                   }),
              AVIERR_USERABORT);
    EXPECT_EQ(percents.front(), 0);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    int status = -1;
    EXPECT_EQ(RunCommand("ffmpeg -v error -nostdin -i " + Quote(path) + " -f null - 2>&1", &status),
              "");
    EXPECT_EQ(status, 0);
    const std::size_t copied = PictureTimes(path).size();
    EXPECT_GT(copied, 20u);
    EXPECT_LT(copied, 80u);

    percents.clear();
    ASSERT_EQ(Save(kind, path,
                   [&](int percent) {
                     percents.push_back(percent);
                     return 0;
                   }),
              AVIERR_OK);
    EXPECT_EQ(percents.back(), 100);
    avi_test::MemoryFiles full;
    full.writeLimit = 20000;
    EXPECT_EQ(Save(kind, "/memory/out", {}, &full), AVIERR_FILEWRITE);
  }
}

}  // namespace
}  // namespace orvenna::codec_test
