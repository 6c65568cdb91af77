// Files past 1 GiB: OpenDML extensions written by the recorder's path and by AVISaveV, read
// back by ffprobe/ffmpeg (frame count, seeking to the last frame) and by our own reader.

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "platform/PosixFiles.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna {
namespace {

using avi_test::Quote;
using avi_test::RunCommand;

constexpr int kPositions = 181;  // 180 frames of 6 MB and one empty position
constexpr int kEmptyPosition = 170;

std::string Ffmpeg(const std::string& arguments) {
  int status = -1;
  std::string output = RunCommand("ffmpeg -v error -nostdin " + arguments, &status);
  EXPECT_EQ(status, 0) << arguments;
  return output;
}

bool Contains(const std::string& path, const char* code) {
  return RunCommand("grep -c " + std::string(code) + " " + Quote(path)) != "0\n";
}

class OpenDml : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new avi_test::TempFolder;
    format_ = avi_test::MakeFormat(1920, 1080, 24);
    base_ = avi_test::MakeFrame(format_, 0);
  }
  static void TearDownTestSuite() { delete folder_; }

  // The frame of a position: the common picture with the position stamped into its top row.
  static std::vector<std::uint8_t> FrameAt(int position) {
    std::vector<std::uint8_t> frame = base_;
    const std::size_t topRow = frame.size() - 1920 * 3;
    for (int i = 0; i < 16; ++i) frame[topRow + i] = static_cast<std::uint8_t>(position * (i + 1));
    return frame;
  }

  static AviResult WriteLongVideo(const std::string& path) {
    PosixFiles files;
    avi_test::TestCodecs codecs;
    PAVIFILE file;
    PAVISTREAM raw;
    PAVISTREAM compressed;
    AVICOMPRESSOPTIONS options;
    options.fccHandler = FourCC('D', 'I', 'B', ' ');
    EXPECT_EQ(AVIFileOpen(file, files, path, OF_WRITE | OF_CREATE), AVIERR_OK);
    EXPECT_EQ(AVIFileCreateStream(file, raw, avi_test::VideoInfo(0, 25, format_)), AVIERR_OK);
    EXPECT_EQ(AVIMakeCompressedStream(compressed, raw, &options, codecs), AVIERR_OK);
    EXPECT_EQ(AVIStreamSetFormat(compressed, 0, format_.data(), 40), AVIERR_OK);
    for (int position = 0; position < kPositions; ++position) {
      if (position == kEmptyPosition) continue;
      const auto frame = FrameAt(position);
      const AviResult result =
          AVIStreamWrite(compressed, position, 1, frame.data(), static_cast<int>(frame.size()),
                         AVIIF_KEYFRAME, nullptr, nullptr);
      if (result != AVIERR_OK) return result;
    }
    AVIStreamRelease(raw);
    AVIStreamRelease(compressed);
    return AVIFileRelease(file);
  }

  // ffmpeg's picture at `seconds` (its input option, e.g. "-ss 7.2" or "-sseof -0.04").
  static std::string PictureAt(const std::string& path, const std::string& seek) {
    return Ffmpeg(seek + " -i " + Quote(path) +
                  " -map 0:v -frames:v 1 -f rawvideo -pix_fmt bgr24 -");
  }

  static std::string Expected(int position) {
    const auto picture = avi_test::TopDownBgr(format_, FrameAt(position));
    return std::string(picture.begin(), picture.end());
  }

  static avi_test::TempFolder* folder_;
  static std::vector<std::uint8_t> format_;
  static std::vector<std::uint8_t> base_;
};

avi_test::TempFolder* OpenDml::folder_ = nullptr;
std::vector<std::uint8_t> OpenDml::format_;
std::vector<std::uint8_t> OpenDml::base_;

TEST_F(OpenDml, LongRecordingAndItsSave) {
  const std::string video = folder_->Path("long.avi");
  ASSERT_EQ(WriteLongVideo(video), AVIERR_OK);
  EXPECT_TRUE(Contains(video, "AVIX"));
  EXPECT_TRUE(Contains(video, "ix00"));

  const std::string count =
      "-count_packets -show_entries stream=nb_frames,nb_read_packets -of csv=p=0";
  EXPECT_EQ(RunCommand("ffprobe -v error " + count + " " + Quote(video)), "181,180\n");
  EXPECT_TRUE(PictureAt(video, "-ss 7.2") == Expected(180));
  EXPECT_TRUE(PictureAt(video, "-sseof -0.04") == Expected(180));
  EXPECT_TRUE(PictureAt(video, "-ss 6.76") == Expected(169));

  // Our reader finds every position, then AVISaveV copies them next to 7.24 s of audio.
  PosixFiles files;
  const std::string audio = folder_->Path("audio.wav");
  Ffmpeg("-f lavfi -i sine=sample_rate=22050 -t 7.24 -c:a pcm_s16le " + Quote(audio));
  PAVISTREAM streams[2];
  for (int i = 0; i < 2; ++i) {
    PAVIFILE file;
    ASSERT_EQ(AVIFileOpen(file, files, i == 0 ? video : audio, OF_READ), AVIERR_OK);
    ASSERT_EQ(AVIFileGetStream(file, streams[i], 0, 0), AVIERR_OK);
    AVIFileRelease(file);
  }
  AVISTREAMINFOA info;
  ASSERT_EQ(AVIStreamInfo(streams[0], info), AVIERR_OK);
  EXPECT_EQ(info.dwLength, 181u);

  const std::string saved = folder_->Path("saved.avi");
  ASSERT_EQ(AVISaveV(files, saved, nullptr, 2, streams, nullptr), AVIERR_OK);
  ASSERT_TRUE(files.Delete(video));
  EXPECT_EQ(RunCommand("ffprobe -v error -select_streams v " + count + " " + Quote(saved)),
            "181,180\n");
  EXPECT_EQ(RunCommand("ffprobe -v error -select_streams a -count_packets -show_entries "
                       "stream=nb_read_packets -of csv=p=0 " +
                       Quote(saved)) != "0\n",
            true);
  EXPECT_TRUE(PictureAt(saved, "-ss 7.2") == Expected(180));
  EXPECT_TRUE(Ffmpeg("-i " + Quote(saved) + " -map 0:a -f s16le -") ==
              Ffmpeg("-i " + Quote(audio) + " -f s16le -"));
}

}  // namespace
}  // namespace orvenna
