// Writing video through the AVI library: what ffprobe/ffmpeg see in the files, the headers
// as stored, the key-frame flags, the refusals, and write failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

#include "platform/PosixFiles.h"
#include "platform/avi/AviFormat.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna {
namespace {

using avi_test::MakeFormat;
using avi_test::MakeFrame;
using avi_test::MemoryFiles;
using avi_test::Quote;
using avi_test::RunCommand;
using avi_test::TestCodecs;
using Frames = std::vector<std::pair<int, std::vector<std::uint8_t>>>;

constexpr std::uint32_t kDib = FourCC('D', 'I', 'B', ' ');

Frames FramesAt(const std::vector<std::uint8_t>& format, const std::vector<int>& positions) {
  Frames frames;
  for (int position : positions) frames.emplace_back(position, MakeFrame(format, position));
  return frames;
}

// The data of the first chunk `id` found anywhere in `bytes`.
template <class T>
T FindChunk(const std::vector<std::uint8_t>& bytes, std::uint32_t id) {
  for (std::size_t i = 0; i + 8 + sizeof(T) <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, &id, 4) == 0) {
      T value;
      std::memcpy(&value, bytes.data() + i + 8, sizeof(T));
      return value;
    }
  }
  ADD_FAILURE() << "no chunk";
  return T{};
}

// The entries of 'idx1' (the last chunk of a file of one segment).
std::vector<avi::Idx1Entry> Idx1(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = bytes.size() - 8; i > 0; --i) {
    if (std::memcmp(bytes.data() + i, "idx1", 4) != 0) continue;
    std::uint32_t size;
    std::memcpy(&size, bytes.data() + i + 4, 4);
    std::vector<avi::Idx1Entry> entries(size / 16);
    std::memcpy(entries.data(), bytes.data() + i + 8, size);
    return entries;
  }
  return {};
}

// "pts,size " of every packet of the file.
std::string Packets(const std::string& path) {
  const std::string lines =
      RunCommand("ffprobe -v error -show_entries packet=pts,size -of csv=p=0 " + Quote(path));
  std::string packets;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    const std::size_t second = line.find(',', line.find(',') + 1);
    if (!line.empty()) packets += line.substr(0, second) + " ";
  }
  return packets;
}

// What ffmpeg decodes, as 24-bit top-down pictures.
std::string Decoded(const std::string& path, const std::string& options) {
  int status = -1;
  std::string pictures = RunCommand(
      "ffmpeg -v error -i " + Quote(path) + " " + options + " -f rawvideo -pix_fmt bgr24 -",
      &status);
  EXPECT_EQ(status, 0);
  return pictures;
}

std::string Pictures(const std::vector<std::uint8_t>& format, const Frames& frames,
                     const std::vector<int>& indexes) {
  std::string pictures;
  for (int index : indexes) {
    const auto picture = avi_test::TopDownBgr(format, frames[index].second);
    pictures.append(picture.begin(), picture.end());
  }
  return pictures;
}

class WriterOnDisk : public ::testing::TestWithParam<std::pair<int, std::uint32_t>> {
 protected:
  avi_test::TempFolder folder_;
  PosixFiles files_;
  TestCodecs codecs_;
};

// Positions 0, 1 and 3 at 25 frames a second, uncompressed bottom-up frames with padded rows,
// through a compressor and through the uncompressed handler.
TEST_P(WriterOnDisk, SkippedPositionKeepsTimingAndPixelsDecodeExactly) {
  const auto [bits, handler] = GetParam();
  const auto format = MakeFormat(61, 37, bits);
  const Frames frames = FramesAt(format, {0, 1, 3});
  const std::string path = folder_.Path("video.avi");
  ASSERT_EQ(avi_test::WriteVideo(files_, path, codecs_, handler, 25, format, frames), AVIERR_OK);

  const std::string stream = RunCommand(
      "ffprobe -v error -count_frames -show_entries "
      "stream=codec_type,codec_name,codec_tag_string,r_frame_rate,nb_frames,nb_read_frames,"
      "width,height,duration -of default=nw=1 " +
      Quote(path));
  EXPECT_EQ(stream,
            "codec_name=rawvideo\ncodec_type=video\ncodec_tag_string=[0][0][0][0]\nwidth=61\n"
            "height=37\nr_frame_rate=25/1\nduration=0.160000\nnb_frames=4\nnb_read_frames=3\n");
  // ffmpeg gives no packet for the empty chunk but keeps its time: pts 2 is missing.
  const std::string size = std::to_string(frames[0].second.size());
  EXPECT_EQ(Packets(path), "0," + size + " 1," + size + " 3," + size + " ");

  // Frame by frame, the pictures are the ones written.
  EXPECT_TRUE(Decoded(path, "-vsync passthrough") == Pictures(format, frames, {0, 1, 2}));
  // At a constant rate ffmpeg fills position 2 with the frame of position 3.
  EXPECT_TRUE(Decoded(path, "") == Pictures(format, frames, {0, 1, 2, 2}));
}

INSTANTIATE_TEST_SUITE_P(Depths, WriterOnDisk,
                         ::testing::Values(std::pair{24, TestCodecs::kPass},
                                           std::pair{8, TestCodecs::kPass}, std::pair{24, kDib},
                                           std::pair{8, 0u}));

// The stream header is stored as it was given, with the length counted; 'idx1' points at the
// chunks, marks the encoder's key frames and the empty position as not key.
TEST(Writer, HeadersAndIndexAsStored) {
  MemoryFiles files;
  TestCodecs codecs;
  codecs.keyFrameEvery = 2;
  const auto format = MakeFormat(100, 50, 8);
  ASSERT_EQ(avi_test::WriteVideo(files, "v.avi", codecs, TestCodecs::kPass, 40, format,
                                 FramesAt(format, {0, 1, 3})),
            AVIERR_OK);
  const auto& bytes = files.Contents("v.avi");

  const auto strh = FindChunk<avi::AviStreamHeader>(bytes, avi::kStrh);
  EXPECT_EQ(strh.fccType, streamtypeVIDEO);
  EXPECT_EQ(strh.fccHandler, TestCodecs::kPass);
  EXPECT_EQ(strh.flags, 12u);
  EXPECT_EQ(strh.scale, 1u);
  EXPECT_EQ(strh.rate, 40u);
  EXPECT_EQ(strh.start, 0u);
  EXPECT_EQ(strh.length, 4u);
  EXPECT_EQ(strh.suggestedBufferSize, 5000u);
  EXPECT_EQ(strh.sampleSize, 0u);
  EXPECT_EQ(strh.frameRight, 100);
  EXPECT_EQ(strh.frameBottom, 50);
  const auto strf = FindChunk<std::array<std::uint8_t, 1064>>(bytes, avi::kStrf);
  EXPECT_EQ(std::memcmp(strf.data(), format.data(), 1064), 0);
  using Name = std::array<char, 11>;
  EXPECT_STREQ(FindChunk<Name>(bytes, avi::kStrn).data(), "Test codec");

  const auto avih = FindChunk<avi::MainAviHeader>(bytes, avi::kAvih);
  EXPECT_EQ(avih.microSecPerFrame, 25000u);
  EXPECT_EQ(avih.totalFrames, 4u);
  EXPECT_EQ(avih.streams, 1u);
  EXPECT_EQ(avih.width, 100u);
  EXPECT_EQ(avih.height, 50u);
  EXPECT_EQ(avih.flags & avi::AVIF_HASINDEX, avi::AVIF_HASINDEX);

  const auto entries = Idx1(bytes);
  ASSERT_EQ(entries.size(), 4u);
  const std::uint32_t expectedSizes[] = {5000, 5000, 0, 5000};
  const std::uint32_t expectedFlags[] = {AVIIF_KEYFRAME, 0, 0, AVIIF_KEYFRAME};
  const std::size_t movi =
      std::search(bytes.begin(), bytes.end(), std::begin("movi"), std::end("movi") - 1) -
      bytes.begin();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(entries[i].chunkId, avi::StreamChunkId(0, 'd', 'c'));
    EXPECT_EQ(entries[i].size, expectedSizes[i]);
    EXPECT_EQ(entries[i].flags, expectedFlags[i]);
    EXPECT_EQ(std::memcmp(bytes.data() + movi + entries[i].offset, "00dc", 4), 0);
  }
  EXPECT_EQ(codecs.lastSettings.keyFrameEvery, 0u);
}

TEST(Writer, CompressionOptionsReachTheEncoder) {
  MemoryFiles files;
  TestCodecs codecs;
  const auto format = MakeFormat(16, 16, 24);
  PAVIFILE file;
  PAVISTREAM raw;
  PAVISTREAM compressed;
  ASSERT_EQ(AVIFileOpen(file, files, "v.avi", OF_WRITE | OF_CREATE), AVIERR_OK);
  ASSERT_EQ(AVIFileCreateStream(file, raw, avi_test::VideoInfo(TestCodecs::kPass, 10, format)),
            AVIERR_OK);
  AVICOMPRESSOPTIONS options;
  options.fccHandler = TestCodecs::kPass;
  options.dwKeyFrameEvery = 15;
  options.dwQuality = 7500;
  options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  ASSERT_EQ(AVIMakeCompressedStream(compressed, raw, &options, codecs), AVIERR_OK);
  ASSERT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), 40), AVIERR_OK);
  EXPECT_EQ(codecs.lastSettings.keyFrameEvery, 15u);
  EXPECT_EQ(codecs.lastSettings.quality, 7500u);
}

// Every refusal leaves the file as it was: the frames that were accepted decode.
TEST(Writer, RefusalsAndTheirCodes) {
  avi_test::TempFolder folder;
  PosixFiles files;
  TestCodecs codecs;
  const auto format = MakeFormat(32, 8, 24);
  const auto frame = MakeFrame(format, 1);
  const std::string path = folder.Path("v.avi");
  PAVIFILE file;
  PAVISTREAM raw;
  PAVISTREAM compressed;
  PAVISTREAM other;

  EXPECT_EQ(AVIFileOpen(file, files, folder.Path("missing/v.avi"), OF_WRITE | OF_CREATE),
            AVIERR_FILEOPEN);
  EXPECT_EQ(AVIFileOpen(file, files, path, OF_WRITE), AVIERR_BADFLAGS);
  EXPECT_EQ(file, nullptr);
  ASSERT_EQ(AVIFileOpen(file, files, path, OF_WRITE | OF_CREATE), AVIERR_OK);
  AVISTREAMINFOA audio = avi_test::VideoInfo(0, 10, format);
  audio.fccType = streamtypeAUDIO;
  EXPECT_EQ(AVIFileCreateStream(file, raw, audio), AVIERR_UNSUPPORTED);
  AVISTREAMINFOA noRate = avi_test::VideoInfo(0, 0, format);
  EXPECT_EQ(AVIFileCreateStream(file, raw, noRate), AVIERR_BADPARAM);
  ASSERT_EQ(AVIFileCreateStream(file, raw, avi_test::VideoInfo(TestCodecs::kPass, 10, format)),
            AVIERR_OK);
  EXPECT_EQ(AVIFileCreateStream(file, other, avi_test::VideoInfo(0, 10, format)),
            AVIERR_UNSUPPORTED);

  AVICOMPRESSOPTIONS options;
  options.fccHandler = FourCC('N', 'O', 'N', 'E');
  EXPECT_EQ(AVIMakeCompressedStream(compressed, raw, &options, codecs), AVIERR_NOCOMPRESSOR);
  EXPECT_EQ(AVIMakeCompressedStream(compressed, raw, nullptr, codecs), AVIERR_BADPARAM);
  EXPECT_EQ(AVIMakeCompressedStream(compressed, nullptr, &options, codecs), AVIERR_BADHANDLE);
  options.fccHandler = TestCodecs::kPass;
  ASSERT_EQ(AVIMakeCompressedStream(compressed, raw, &options, codecs), AVIERR_OK);

  EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, frame.data(), static_cast<int>(frame.size()),
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_BADFORMAT);
  auto compressedFormat = format;
  compressedFormat[16] = 'X';  // a compression code: not a frame we can take
  EXPECT_EQ(AVIStreamSetFormat(compressed, 0, compressedFormat.data(), 40), AVIERR_BADFORMAT);
  EXPECT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), 39), AVIERR_BADFORMAT);
  EXPECT_EQ(AVIStreamSetFormat(nullptr, 0, format.data(), 40), AVIERR_BADHANDLE);
  ASSERT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), 40), AVIERR_OK);

  std::int32_t samples = 0;
  std::int32_t bytes = 0;
  EXPECT_EQ(AVIStreamWrite(compressed, 0, 1, frame.data(), static_cast<int>(frame.size()) - 1,
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_BADSIZE);
  EXPECT_EQ(AVIStreamWrite(compressed, 0, 2, frame.data(), static_cast<int>(frame.size()),
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_BADPARAM);
  ASSERT_EQ(AVIStreamWrite(compressed, 2, 1, frame.data(), static_cast<int>(frame.size()),
                           AVIIF_KEYFRAME, &samples, &bytes),
            AVIERR_OK);
  EXPECT_EQ(samples, 1);
  EXPECT_EQ(bytes, static_cast<int>(frame.size()));
  for (int position : {2, 1, -1}) {
    EXPECT_EQ(AVIStreamWrite(compressed, position, 1, frame.data(), static_cast<int>(frame.size()),
                             AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_BADPARAM)
        << position;
  }
  EXPECT_EQ(AVIStreamWrite(compressed, 1 << 30, 1, frame.data(), static_cast<int>(frame.size()),
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_BADPARAM);
  EXPECT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), 40), AVIERR_UNSUPPORTED);
  ASSERT_EQ(AVIStreamWrite(compressed, 3, 1, frame.data(), static_cast<int>(frame.size()),
                           AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_OK);
  AVISTREAMINFOA info;
  ASSERT_EQ(AVIStreamInfo(compressed, info), AVIERR_OK);
  EXPECT_EQ(info.dwLength, 4u);

  // The file handle may go first; the last handle completes the file.
  EXPECT_EQ(AVIFileRelease(file), AVIERR_OK);
  EXPECT_EQ(AVIFileRelease(file), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIStreamRelease(compressed), AVIERR_OK);
  // Not complete yet (the raw stream still holds the file), but readable all the same.
  EXPECT_EQ(
      RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames,nb_frames "
                 "-of csv=p=0 " +
                 Quote(path)),
      "N/A,2\n");
  EXPECT_EQ(AVIStreamRelease(raw), AVIERR_OK);
  EXPECT_EQ(
      RunCommand("ffprobe -v error -count_frames -show_entries stream=nb_read_frames,nb_frames "
                 "-of csv=p=0 " +
                 Quote(path)),
      "4,2\n");
}

TEST(Writer, EncoderFailureIsReportedAndEarlierFramesKept) {
  MemoryFiles files;
  TestCodecs codecs;
  codecs.failFrom = 2;
  const auto format = MakeFormat(16, 16, 24);
  EXPECT_EQ(avi_test::WriteVideo(files, "v.avi", codecs, TestCodecs::kFail, 10, format,
                                 FramesAt(format, {0, 1, 2, 3})),
            AVIERR_COMPRESSOR);
  PAVIFILE file;
  PAVISTREAM stream;
  ASSERT_EQ(AVIFileOpen(file, files, "v.avi", OF_READ), AVIERR_OK);
  ASSERT_EQ(AVIFileGetStream(file, stream, 0, 0), AVIERR_OK);
  AVISTREAMINFOA info;
  ASSERT_EQ(AVIStreamInfo(stream, info), AVIERR_OK);
  EXPECT_EQ(info.dwLength, 2u);
}

// A disk that fills up at any point: the write or the release reports it, and the frames
// written completely before stay readable.
TEST(Writer, FullDiskAnywhere) {
  const auto format = MakeFormat(40, 30, 24);
  const Frames frames = FramesAt(format, {0, 1, 2, 3, 4, 5, 6, 7});
  MemoryFiles reference;
  TestCodecs codecs;
  ASSERT_EQ(avi_test::WriteVideo(reference, "v.avi", codecs, TestCodecs::kPass, 10, format, frames),
            AVIERR_OK);
  const std::size_t complete = reference.Contents("v.avi").size();

  int cutAmongFrames = 0;
  for (std::size_t limit = 0; limit < complete; limit += 499) {
    MemoryFiles files;
    files.writeLimit = limit;
    PAVIFILE file;
    PAVISTREAM raw;
    PAVISTREAM compressed;
    ASSERT_EQ(AVIFileOpen(file, files, "v.avi", OF_WRITE | OF_CREATE), AVIERR_OK);
    ASSERT_EQ(AVIFileCreateStream(file, raw, avi_test::VideoInfo(0, 10, format)), AVIERR_OK);
    AVICOMPRESSOPTIONS options;
    ASSERT_EQ(AVIMakeCompressedStream(compressed, raw, &options, codecs), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(compressed, 0, format.data(), 40), AVIERR_OK);
    int written = 0;
    for (const auto& [position, pixels] : frames) {
      const AviResult result =
          AVIStreamWrite(compressed, position, 1, pixels.data(), static_cast<int>(pixels.size()),
                         AVIIF_KEYFRAME, nullptr, nullptr);
      if (result != AVIERR_OK) {
        EXPECT_EQ(result, AVIERR_FILEWRITE);
        break;
      }
      ++written;
    }
    AVIStreamRelease(raw);
    AVIStreamRelease(compressed);
    EXPECT_EQ(AVIFileRelease(file), AVIERR_FILEWRITE) << limit;

    PAVIFILE readBack;
    PAVISTREAM stream;
    const AviResult opened = AVIFileOpen(readBack, files, "v.avi", OF_READ);
    if (opened != AVIERR_OK) {
      // Only a file cut short inside its headers is unreadable.
      EXPECT_EQ(opened, AVIERR_BADFORMAT) << limit;
      EXPECT_EQ(written, 0) << limit;
      continue;
    }
    ASSERT_EQ(AVIFileGetStream(readBack, stream, 0, 0), AVIERR_OK);
    AVISTREAMINFOA info;
    ASSERT_EQ(AVIStreamInfo(stream, info), AVIERR_OK);
    EXPECT_EQ(info.dwLength, static_cast<std::uint32_t>(written)) << limit;
    if (written > 0 && written < 8) ++cutAmongFrames;
  }
  EXPECT_GT(cutAmongFrames, 20);
}

}  // namespace
}  // namespace orvenna
