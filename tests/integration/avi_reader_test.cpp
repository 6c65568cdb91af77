// Reading the first stream of AVI files (ours and ffmpeg's) and RIFF WAVE files, and refusing
// broken ones without crashing or trusting their sizes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/PosixFiles.h"
#include "platform/avi/AviFormat.h"
#include "platform/avi/AviMuxer.h"
#include "platform/avi/StreamSource.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna {
namespace {

using avi_test::MemoryFiles;
using avi_test::Quote;
using avi_test::RunCommand;
using Bytes = std::vector<std::uint8_t>;

struct Opened {
  AviResult result = AVIERR_ERROR;
  AVISTREAMINFOA info;
  Bytes format;
};

// Opens `path`, takes its first stream and releases the file before looking at the stream.
Opened TryFirstStream(Files& files, const std::string& path) {
  Opened opened;
  PAVIFILE file;
  PAVISTREAM stream;
  opened.result = AVIFileOpen(file, files, path, OF_READ);
  if (opened.result != AVIERR_OK) return opened;
  opened.result = AVIFileGetStream(file, stream, 0, 0);
  EXPECT_EQ(AVIFileRelease(file), AVIERR_OK);
  if (opened.result != AVIERR_OK) return opened;
  EXPECT_EQ(AVIStreamInfo(stream, opened.info), AVIERR_OK);
  std::int32_t size = 0;
  EXPECT_EQ(AVIStreamReadFormat(stream, 0, nullptr, &size), AVIERR_OK);
  opened.format.resize(size);
  EXPECT_EQ(AVIStreamReadFormat(stream, 0, opened.format.data(), &size), AVIERR_OK);
  EXPECT_EQ(AVIStreamRelease(stream), AVIERR_OK);
  return opened;
}

BitmapInfoHeader Header(const Bytes& format) {
  BitmapInfoHeader header;
  std::memcpy(&header, format.data(), std::min(format.size(), sizeof(header)));
  return header;
}

// The offset of the first `code` in `bytes`.
std::size_t Find(const Bytes& bytes, const char* code) {
  return std::search(bytes.begin(), bytes.end(), code, code + 4) - bytes.begin();
}

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
}

class ReaderOfFfmpegFiles : public ::testing::TestWithParam<std::pair<const char*, std::uint32_t>> {
};

TEST_P(ReaderOfFfmpegFiles, FirstStreamFormatAndFrameCount) {
  const auto [codec, compression] = GetParam();
  avi_test::TempFolder folder;
  const std::string path = folder.Path("in.avi");
  int status = -1;
  RunCommand("ffmpeg -v error -nostdin -f lavfi -i testsrc=size=64x48:rate=10 -t 1 " +
                 std::string(codec) + " " + Quote(path),
             &status);
  ASSERT_EQ(status, 0);
  PosixFiles files;
  const Opened opened = TryFirstStream(files, path);
  ASSERT_EQ(opened.result, AVIERR_OK);
  EXPECT_EQ(opened.info.fccType, streamtypeVIDEO);
  EXPECT_EQ(opened.info.dwLength, 10u);
  EXPECT_EQ(opened.info.dwRate / opened.info.dwScale, 10u);
  const BitmapInfoHeader header = Header(opened.format);
  EXPECT_EQ(header.width, 64);
  EXPECT_EQ(std::abs(header.height), 48);
  EXPECT_EQ(header.compression, compression);
}

INSTANTIATE_TEST_SUITE_P(Codecs, ReaderOfFfmpegFiles,
                         ::testing::Values(std::pair{"-c:v rawvideo -pix_fmt bgr24", 0u},
                                           std::pair{"-c:v mjpeg -pix_fmt yuvj420p",
                                                     FourCC('M', 'J', 'P', 'G')},
                                           std::pair{"-c:v zmbv", FourCC('Z', 'M', 'B', 'V')}));

// Chunks of another writer's file copied into OpenDML segments of 4 KiB: ffprobe sees the same
// packets and key frames, and our reader finds them again through the 'ix00' indexes.
TEST(Reader, SmallOpenDmlSegments) {
  avi_test::TempFolder folder;
  const std::string source = folder.Path("mpeg4.avi");
  const std::string copy = folder.Path("copy.avi");
  int status = -1;
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i testsrc=size=64x48:rate=10 -t 3 -c:v mpeg4 "
      "-g 7 -bf 0 " +
          Quote(source),
      &status);
  ASSERT_EQ(status, 0);
  PosixFiles files;
  avi::StreamSources original;
  ASSERT_EQ(avi::ReadStreams(files.Open(source, OpenMode::Read), original), AVIERR_OK);
  const avi::StreamSource& video = *original.front();
  {
    auto file = files.Open(copy, OpenMode::Create);
    avi::AviMuxer muxer(*file, {{video.info, video.format}}, 4096);
    for (const avi::SampleExtent& sample : video.samples) {
      Bytes data(sample.size);
      ASSERT_TRUE(video.file->ReadAt(sample.offset, data.data(), data.size()));
      ASSERT_TRUE(muxer.WriteChunk(0, data.data(), sample.size, sample.keyFrame));
    }
    ASSERT_TRUE(muxer.Finish());
  }
  const std::string packets = "-show_entries packet=pts,size,flags -of csv=p=0 ";
  EXPECT_EQ(RunCommand("ffprobe -v error " + packets + Quote(copy)),
            RunCommand("ffprobe -v error " + packets + Quote(source)));
  EXPECT_GT(std::stoi(RunCommand("grep -oa AVIX " + Quote(copy) + " | wc -l")), 3);

  avi::StreamSources copied;
  ASSERT_EQ(avi::ReadStreams(files.Open(copy, OpenMode::Read), copied), AVIERR_OK);
  const auto& samples = copied.front()->samples;
  ASSERT_EQ(samples.size(), video.samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(samples[i].size, video.samples[i].size) << i;
    EXPECT_EQ(samples[i].keyFrame, video.samples[i].keyFrame) << i;
  }
}

TEST(Reader, WaveFileFromFfmpegIsAnAudioStream) {
  avi_test::TempFolder folder;
  const std::string path = folder.Path("in.wav");
  int status = -1;
  RunCommand(
      "ffmpeg -v error -nostdin -f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 "
      "-ac 2 -c:a pcm_s16le " +
          Quote(path),
      &status);
  ASSERT_EQ(status, 0);
  PosixFiles files;
  const Opened opened = TryFirstStream(files, path);
  ASSERT_EQ(opened.result, AVIERR_OK);
  EXPECT_EQ(opened.info.fccType, streamtypeAUDIO);
  EXPECT_EQ(opened.info.dwScale, 4u);
  EXPECT_EQ(opened.info.dwRate, 176400u);
  EXPECT_EQ(opened.info.dwSampleSize, 4u);
  EXPECT_EQ(opened.info.dwLength, 88200u);
  avi::WaveFormat format;
  ASSERT_GE(opened.format.size(), sizeof(format));
  std::memcpy(&format, opened.format.data(), sizeof(format));
  EXPECT_EQ(format.formatTag, avi::WAVE_FORMAT_PCM);
  EXPECT_EQ(format.channels, 2);
  EXPECT_EQ(format.samplesPerSec, 44100u);
}

class ReaderOfBrokenFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    avi_test::TestCodecs codecs;
    format_ = avi_test::MakeFormat(20, 10, 8);
    std::vector<std::pair<int, Bytes>> frames;
    for (int position : {0, 1, 3, 4})
      frames.emplace_back(position, avi_test::MakeFrame(format_, position));
    ASSERT_EQ(avi_test::WriteVideo(files_, "good.avi", codecs, avi_test::TestCodecs::kPass, 10,
                                   format_, frames),
              AVIERR_OK);
    good_ = files_.Contents("good.avi");
  }

  Opened OpenBytes(Bytes bytes) {
    files_.Put("x", std::move(bytes));
    return TryFirstStream(files_, "x");
  }
  // Our file with the 32-bit field at `offset` set to `value`.
  Opened OpenWithField(std::size_t offset, std::uint32_t value) {
    Bytes spoiled = good_;
    Put32(spoiled, offset, value);
    return OpenBytes(std::move(spoiled));
  }

  MemoryFiles files_;
  Bytes format_;
  Bytes good_;
};

TEST_F(ReaderOfBrokenFiles, OurFileOpensWithItsFormatAndPositions) {
  const Opened opened = OpenBytes(good_);
  ASSERT_EQ(opened.result, AVIERR_OK);
  EXPECT_EQ(opened.info.dwLength, 5u);
  EXPECT_EQ(opened.info.fccHandler, avi_test::TestCodecs::kPass);
  EXPECT_STREQ(opened.info.szName, "Test codec");
  EXPECT_EQ(opened.format, format_);
}

TEST_F(ReaderOfBrokenFiles, WrongStreamRequestsAndMissingFiles) {
  files_.Put("x", good_);
  PAVIFILE file;
  PAVISTREAM stream;
  ASSERT_EQ(AVIFileOpen(file, files_, "x", OF_READ), AVIERR_OK);
  EXPECT_EQ(AVIFileGetStream(file, stream, streamtypeAUDIO, 0), AVIERR_NODATA);
  EXPECT_EQ(AVIFileGetStream(file, stream, 0, 1), AVIERR_NODATA);
  EXPECT_EQ(AVIFileGetStream(file, stream, 0, -1), AVIERR_BADPARAM);
  EXPECT_EQ(AVIFileGetStream(nullptr, stream, 0, 0), AVIERR_BADHANDLE);
  EXPECT_EQ(AVIFileGetStream(file, stream, streamtypeVIDEO, 0), AVIERR_OK);
  EXPECT_EQ(AVIStreamWrite(stream, 5, 1, good_.data(), 200, AVIIF_KEYFRAME, nullptr, nullptr),
            AVIERR_READONLY);
  PAVISTREAM created;
  EXPECT_EQ(AVIFileCreateStream(file, created, avi_test::VideoInfo(0, 10, format_)),
            AVIERR_READONLY);
  EXPECT_EQ(AVIFileOpen(file, files_, "missing", OF_READ), AVIERR_FILEOPEN);
  EXPECT_EQ(file, nullptr);

  files_.failReads = true;
  EXPECT_EQ(TryFirstStream(files_, "x").result, AVIERR_FILEREAD);
}

TEST_F(ReaderOfBrokenFiles, GarbageAndForeignRiffFormsAreRefused) {
  EXPECT_EQ(OpenBytes({}).result, AVIERR_BADFORMAT);
  Bytes garbage(5000);
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i * 131);
  EXPECT_EQ(OpenBytes(garbage).result, AVIERR_BADFORMAT);
  Bytes foreign = good_;
  std::memcpy(foreign.data() + 8, "CDXA", 4);
  EXPECT_EQ(OpenBytes(foreign).result, AVIERR_BADFORMAT);
  Bytes noHeaders = good_;
  std::memcpy(noHeaders.data() + Find(noHeaders, "hdrl"), "xxxx", 4);
  EXPECT_EQ(OpenBytes(noHeaders).result, AVIERR_BADFORMAT);
  // A header list of nothing but its type: an empty read, then no main header.
  EXPECT_EQ(OpenWithField(Find(good_, "hdrl") - 4, 4).result, AVIERR_BADFORMAT);
  // A stream format of no bytes at all.
  EXPECT_EQ(OpenWithField(Find(good_, "strf") + 4, 0).result, AVIERR_BADFORMAT);
}

// Cut anywhere: refused while the header list is incomplete, else the whole frames before the
// cut are there.
TEST_F(ReaderOfBrokenFiles, TruncatedAnywhere) {
  const std::size_t movi = Find(good_, "movi");
  const std::uint32_t frameChunk = 8 + 200;
  for (std::size_t length = 0; length < good_.size(); length += length < 400 ? 1 : 13) {
    const Opened opened = OpenBytes(Bytes(good_.begin(), good_.begin() + length));
    if (length < movi - 8) {
      EXPECT_EQ(opened.result, AVIERR_BADFORMAT) << length;
      continue;
    }
    ASSERT_EQ(opened.result, AVIERR_OK) << length;
    // Chunks: frame 0, frame 1, the empty position 2, frames 3 and 4, then the index.
    const std::size_t data = length > movi + 4 ? length - (movi + 4) : 0;
    std::uint32_t whole = 0;
    for (std::uint32_t end :
         {frameChunk, 2 * frameChunk, 2 * frameChunk + 8, 3 * frameChunk + 8, 4 * frameChunk + 8}) {
      whole += data >= end ? 1 : 0;
    }
    EXPECT_EQ(opened.info.dwLength, whole) << length;
  }
}

TEST_F(ReaderOfBrokenFiles, SizesThatRunPastTheFile) {
  EXPECT_EQ(OpenWithField(Find(good_, "hdrl") - 4, 0xFFFFFFF0).result, AVIERR_BADFORMAT);

  EXPECT_EQ(OpenWithField(Find(good_, "strf") + 4, 0x7FFFFFFF).result, AVIERR_BADFORMAT);

  // An index that cannot be right is passed over: the chunks themselves are found.
  EXPECT_EQ(OpenWithField(Find(good_, "idx1") + 4, 0xFFFFFFF0).info.dwLength, 5u);

  // An index entry pointing past the end ends the stream there.
  Bytes farEntry = good_;
  const std::size_t idx1 = Find(good_, "idx1") + 8;
  Put32(farEntry, idx1 + 3 * 16 + 12, 0x7FFFFFFF);
  EXPECT_EQ(OpenBytes(farEntry).info.dwLength, 3u);

  EXPECT_EQ(OpenWithField(4, 0xFFFFFFFF).info.dwLength, 5u);
}

Bytes Wave(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate, std::uint32_t bytesPerSec,
           std::uint16_t blockAlign, std::uint16_t bits, std::uint32_t dataSize) {
  const avi::WaveFormat format{tag, channels, rate, bytesPerSec, blockAlign, bits};
  Bytes bytes(12 + 8 + 16 + 8);
  std::memcpy(bytes.data(), "RIFF", 4);
  Put32(bytes, 4, static_cast<std::uint32_t>(bytes.size() - 8 + dataSize));
  std::memcpy(bytes.data() + 8, "WAVEfmt ", 8);
  Put32(bytes, 16, 16);
  std::memcpy(bytes.data() + 20, &format, 16);
  std::memcpy(bytes.data() + 36, "data", 4);
  Put32(bytes, 40, dataSize);
  bytes.resize(bytes.size() + dataSize, 0x55);
  return bytes;
}

TEST_F(ReaderOfBrokenFiles, WaveFormatsMustHold) {
  const Opened good = OpenBytes(Wave(1, 2, 8000, 32000, 4, 16, 4000));
  ASSERT_EQ(good.result, AVIERR_OK);
  EXPECT_EQ(good.info.dwLength, 1000u);
  // A data chunk cut short holds the whole blocks that are there.
  Bytes cut = Wave(1, 2, 8000, 32000, 4, 16, 4000);
  cut.resize(cut.size() - 1002);
  EXPECT_EQ(OpenBytes(cut).info.dwLength, 749u);
  // A recording that stopped before its sizes were written (both still 0) holds the whole
  // blocks up to the end of the file, and no more than what is there when its data size is
  // written but its RIFF size is not.
  Bytes unsized = Wave(1, 2, 8000, 32000, 4, 16, 4003);
  Put32(unsized, 4, 0);
  Put32(unsized, 40, 0);
  EXPECT_EQ(OpenBytes(unsized).info.dwLength, 1000u);
  Put32(unsized, 40, 8000);
  EXPECT_EQ(OpenBytes(unsized).info.dwLength, 1000u);
  Put32(unsized, 40, 2002);
  EXPECT_EQ(OpenBytes(unsized).info.dwLength, 500u);

  EXPECT_EQ(OpenBytes(Wave(1, 0, 8000, 32000, 4, 16, 400)).result, AVIERR_BADFORMAT);
  EXPECT_EQ(OpenBytes(Wave(1, 2, 8000, 32000, 0, 16, 400)).result, AVIERR_BADFORMAT);
  EXPECT_EQ(OpenBytes(Wave(1, 2, 8000, 16000, 4, 16, 400)).result, AVIERR_BADFORMAT);
  EXPECT_EQ(OpenBytes(Wave(1, 2, 8000, 32000, 3, 16, 400)).result, AVIERR_BADFORMAT);
  EXPECT_EQ(OpenBytes(Wave(1, 2, 0, 0, 4, 16, 400)).result, AVIERR_BADFORMAT);
  Bytes shortFormat = Wave(1, 2, 8000, 32000, 4, 16, 400);
  Put32(shortFormat, 16, 8);
  EXPECT_EQ(OpenBytes(shortFormat).result, AVIERR_BADFORMAT);
  Bytes noData = Wave(1, 2, 8000, 32000, 4, 16, 400);
  std::memcpy(noData.data() + 36, "junk", 4);
  EXPECT_EQ(OpenBytes(noData).result, AVIERR_BADFORMAT);
}

}  // namespace
}  // namespace orvenna
