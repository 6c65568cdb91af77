// Saving streams read from files into a new AVI file without recompressing: what ffprobe and
// ffmpeg see, the progress callback, cancelling, and the refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/PosixFiles.h"
#include "tests/integration/avi/AviTestSupport.h"

namespace orvenna {
namespace {

using avi_test::MemoryFiles;
using avi_test::OpenFirstStream;
using avi_test::Quote;
using avi_test::RunCommand;

std::string Ffmpeg(const std::string& arguments) {
  int status = -1;
  std::string output = RunCommand("ffmpeg -v error -nostdin " + arguments, &status);
  EXPECT_EQ(status, 0) << arguments;
  return output;
}

std::string Probe(const std::string& arguments, const std::string& path) {
  return RunCommand("ffprobe -v error " + arguments + " " + Quote(path));
}

// Where the last audio packet ends, in seconds. (ffprobe's stream duration of PCM audio in AVI
// is an estimate, even for files ffmpeg writes itself; the packets are exact.)
double AudioEnd(const std::string& path) {
  std::istringstream lines(
      Probe("-select_streams a -show_entries packet=pts_time,duration_time -of csv=p=0", path));
  double end = 0;
  for (std::string line; std::getline(lines, line);) {
    end = std::stod(line) + std::stod(line.substr(line.find(',') + 1));
  }
  return end;
}

class Save : public ::testing::Test {
 protected:
  void SetUp() override {
    // 30 positions at 10 frames a second, position 7 empty; 2 s of stereo sine.
    const auto format = avi_test::MakeFormat(64, 48, 24);
    std::vector<std::pair<int, std::vector<std::uint8_t>>> frames;
    for (int position = 0; position < 30; ++position) {
      if (position != 7) frames.emplace_back(position, avi_test::MakeFrame(format, position));
    }
    ASSERT_EQ(avi_test::WriteVideo(files_, video_, codecs_, avi_test::TestCodecs::kPass, 10, format,
                                   frames),
              AVIERR_OK);
    Ffmpeg("-f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 -ac 2 -c:a pcm_s16le " +
           Quote(audio_));
  }

  AviResult SaveBoth(const AVISAVECALLBACK& callback) {
    PAVISTREAM streams[2] = {OpenFirstStream(files_, video_), OpenFirstStream(files_, audio_)};
    AVICOMPRESSOPTIONS* options[2] = {nullptr, nullptr};
    return AVISaveV(files_, output_, callback, 2, streams, options);
  }

  avi_test::TempFolder folder_;
  PosixFiles files_;
  avi_test::TestCodecs codecs_;
  const std::string video_ = folder_.Path("video.avi");
  const std::string audio_ = folder_.Path("audio.wav");
  const std::string output_ = folder_.Path("out.avi");
};

TEST_F(Save, VideoAndAudioInterleavedAndUnchanged) {
  std::vector<int> percents;
  ASSERT_EQ(SaveBoth([&](int percent) {
              percents.push_back(percent);
              return 0;
            }),
            AVIERR_OK);

  EXPECT_EQ(Probe("-show_entries stream=codec_type,codec_name,nb_frames,duration,sample_rate,"
                  "channels -of csv=p=0",
                  output_),
            "rawvideo,video,3.000000,30\npcm_s16le,audio,44100,2,N/A,88200\n");
  EXPECT_DOUBLE_EQ(AudioEnd(output_), 2.0);
  EXPECT_EQ(Ffmpeg("-i " + Quote(output_) + " -f null -"), "");
  // The chunks are copied: same video packets (the empty position included in the timing),
  // same audio samples.
  const std::string packets = "-select_streams v -show_entries packet=pts,size,flags -of csv=p=0";
  EXPECT_EQ(Probe(packets, output_), Probe(packets, video_));
  EXPECT_TRUE(Ffmpeg("-i " + Quote(output_) + " -map 0:a -f s16le -") ==
              Ffmpeg("-i " + Quote(audio_) + " -f s16le -"));
  EXPECT_TRUE(Ffmpeg("-i " + Quote(output_) + " -map 0:v -vsync passthrough -f rawvideo -") ==
              Ffmpeg("-i " + Quote(video_) + " -vsync passthrough -f rawvideo -"));

  // In file order: a second of audio, then the frames of that second.
  std::istringstream lines(Probe("-show_entries packet=pos,stream_index -of csv=p=0", output_));
  std::vector<std::pair<long, char>> chunks;
  for (std::string line; std::getline(lines, line);) {
    chunks.emplace_back(std::stol(line.substr(line.find(',') + 1)), line[0] == '0' ? 'v' : 'a');
  }
  std::sort(chunks.begin(), chunks.end());
  std::string order;
  // ffmpeg cuts audio chunks into several packets: count a run of them once.
  for (const auto& chunk : chunks) {
    if (chunk.second == 'v' || order.empty() || order.back() != 'a') order += chunk.second;
  }
  EXPECT_EQ(order, "a" + std::string(9, 'v') + "a" + std::string(20, 'v'));

  ASSERT_GE(percents.size(), 20u);
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

TEST_F(Save, AnswerOtherThanZeroStops) {
  EXPECT_EQ(SaveBoth([](int) { return 1; }), AVIERR_USERABORT);
  int calls = 0;
  EXPECT_EQ(SaveBoth([&](int percent) {
              ++calls;
              return percent >= 50 ? -1 : 0;
            }),
            AVIERR_USERABORT);
  // What was copied before stays a playable file.
  EXPECT_EQ(Ffmpeg("-i " + Quote(output_) + " -f null -"), "");
  int callsAfterStop = 0;
  bool stopped = false;
  EXPECT_EQ(SaveBoth([&](int percent) {
              callsAfterStop += stopped ? 1 : 0;
              stopped = percent >= 50;
              return stopped ? -1 : 0;
            }),
            AVIERR_USERABORT);
  EXPECT_EQ(callsAfterStop, 0);
  EXPECT_GT(calls, 1);
}

TEST_F(Save, StreamWithoutFramesStillReportsZeroAndHundred) {
  MemoryFiles memory;
  const auto format = avi_test::MakeFormat(8, 8, 24);
  ASSERT_EQ(avi_test::WriteVideo(memory, "empty.avi", codecs_, 0, 10, format, {}), AVIERR_OK);
  PAVISTREAM streams[1] = {OpenFirstStream(memory, "empty.avi")};
  std::vector<int> percents;
  ASSERT_EQ(AVISaveV(
                memory, "out.avi",
                [&](int percent) {
                  percents.push_back(percent);
                  return 0;
                },
                1, streams, nullptr),
            AVIERR_OK);
  EXPECT_EQ(percents, (std::vector<int>{0, 100}));
}

TEST_F(Save, AudioAloneWhenTheVideoIsMissing) {
  PAVISTREAM streams[2] = {nullptr, OpenFirstStream(files_, audio_)};
  ASSERT_EQ(AVISaveV(files_, output_, nullptr, 2, streams, nullptr), AVIERR_OK);
  EXPECT_EQ(Probe("-show_entries stream=codec_type -of csv=p=0", output_), "audio\n");
  EXPECT_DOUBLE_EQ(AudioEnd(output_), 2.0);
}

TEST_F(Save, VideoAloneKeepsKeyFramesOfAnotherWriter) {
  const std::string source = folder_.Path("mpeg4.avi");
  Ffmpeg("-f lavfi -i testsrc=size=64x48:rate=10 -t 3 -c:v mpeg4 -g 7 -bf 0 " + Quote(source));
  PAVISTREAM streams[1] = {OpenFirstStream(files_, source)};
  ASSERT_EQ(AVISaveV(files_, output_, nullptr, 1, streams, nullptr), AVIERR_OK);
  const std::string packets = "-show_entries packet=pts,size,flags -of csv=p=0";
  EXPECT_EQ(Probe(packets, output_), Probe(packets, source));
  EXPECT_NE(Probe(packets, output_).find("__"), std::string::npos);
}

TEST_F(Save, CombinationsThatMakeNoSense) {
  const PAVISTREAM video = OpenFirstStream(files_, video_);
  const PAVISTREAM audio = OpenFirstStream(files_, audio_);
  PAVIFILE file;
  PAVISTREAM writing;
  ASSERT_EQ(AVIFileOpen(file, files_, folder_.Path("new.avi"), OF_WRITE | OF_CREATE), AVIERR_OK);
  ASSERT_EQ(AVIFileCreateStream(file, writing,
                                avi_test::VideoInfo(0, 10, avi_test::MakeFormat(8, 8, 24))),
            AVIERR_OK);
  const std::vector<std::vector<PAVISTREAM>> refused = {{},
                                                        {nullptr},
                                                        {nullptr, nullptr},
                                                        {audio, video},
                                                        {video, video},
                                                        {audio, audio},
                                                        {writing},
                                                        {video, audio, audio}};
  for (auto streams : refused) {
    EXPECT_EQ(AVISaveV(files_, output_, nullptr, static_cast<int>(streams.size()), streams.data(),
                       nullptr),
              AVIERR_BADPARAM)
        << streams.size();
  }
  EXPECT_EQ(AVISaveV(files_, output_, nullptr, 1, nullptr, nullptr), AVIERR_BADPARAM);
}

TEST_F(Save, ReadAndWriteFailures) {
  MemoryFiles memory;
  PAVISTREAM streams[2] = {OpenFirstStream(files_, video_), OpenFirstStream(files_, audio_)};
  EXPECT_EQ(AVISaveV(files_, folder_.Path("missing/out.avi"), nullptr, 2, streams, nullptr),
            AVIERR_FILEOPEN);
  memory.writeLimit = 100000;
  EXPECT_EQ(AVISaveV(memory, "out.avi", nullptr, 2, streams, nullptr), AVIERR_FILEWRITE);

  MemoryFiles source;
  source.Put("audio.wav", avi_test::ReadWholeFile(audio_));
  PAVISTREAM audio[1] = {OpenFirstStream(source, "audio.wav")};
  source.failReads = true;
  EXPECT_EQ(AVISaveV(memory, "out2.avi", nullptr, 1, audio, nullptr), AVIERR_FILEREAD);
}

}  // namespace
}  // namespace orvenna
