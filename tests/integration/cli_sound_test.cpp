// Recordings with sound through orvenna-cli, from the private sound server's 880 Hz tone,
// judged by ffprobe and ffmpeg; the choice of the input and its volume, on a server of the
// test's own (the choice changes the server's default source for every client).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "tests/integration/Command.h"
#include "tests/integration/pulse_test_support.h"

namespace orvenna::test {
namespace {

const std::string kCli = ORVENNA_CLI;

class CliSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY") || !std::getenv("PULSE_SERVER")) {
      GTEST_SKIP() << "needs DISPLAY and PULSE_SERVER";
    }
    folder_ =
        std::filesystem::temp_directory_path() / ("orvenna-sound-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Output(const std::string& name) { return (folder_ / name).string(); }

  static CommandResult Record(const std::string& options, const std::string& output) {
    return RunCommand(kCli + " --seconds 2 --region 0,0,320,240 --compressor MJPG " + options +
                      " '" + output + "' 2>&1");
  }

  static std::string Probe(const std::string& file, const std::string& stream) {
    return RunCommand("ffprobe -v error -select_streams " + stream +
                      " -show_entries stream=codec_type,codec_name,sample_rate,channels,"
                      "nb_frames,duration -of default=nw=1 '" +
                      file + "'")
        .output;
  }

  std::filesystem::path folder_;
};

// The tone's frequency (from its zero crossings) and peak (of full scale) in the decoded sound.
// The frequency is taken over the crossings that follow each other within a period, so that
// silence where the sound input stalled on a busy machine does not lower it. The peak is that of
// all but the loudest 0.5 % of the samples, so that the brief overshoot a lossy encoder makes
// where the tone starts does not count.
struct Tone {
  double seconds = 0;
  double hertz = 0;
  double peak = 0;
};

Tone DecodedTone(const std::string& file, int rate) {
  const CommandResult pcm =
      RunCommand("ffmpeg -v error -i '" + file + "' -map 0:a -f s16le -ac 1 - 2>/dev/null");
  const std::size_t count = pcm.output.size() / 2;
  Tone tone;
  if (count < 2) return tone;
  const auto sample = [&](std::size_t i) {
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(pcm.output[2 * i]) |
                                     static_cast<std::uint8_t>(pcm.output[2 * i + 1]) << 8);
  };
  // A crossing goes from one side to the other past a small margin, so that the faint noise a
  // lossy encoder leaves in silence does not count.
  constexpr int kMargin = 512;
  std::vector<std::size_t> crossings;
  std::vector<int> magnitudes;
  magnitudes.reserve(count);
  int side = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int value = sample(i);
    if (std::abs(value) > kMargin) {
      const int now = value < 0 ? -1 : 1;
      if (side != 0 && now != side) crossings.push_back(i);
      side = now;
    }
    magnitudes.push_back(std::abs(value));
  }
  tone.seconds = static_cast<double>(count) / rate;
  // Half periods of the tone; a step between crossings much longer than most spans a silence.
  std::vector<std::size_t> steps;
  for (std::size_t i = 1; i < crossings.size(); ++i)
    steps.push_back(crossings[i] - crossings[i - 1]);
  std::vector<std::size_t> sorted = steps;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const double longestHalf =
      steps.empty() ? 0 : 1.5 * static_cast<double>(sorted[sorted.size() / 2]);
  std::size_t halves = 0;
  std::size_t samples = 0;
  for (const std::size_t step : steps) {
    if (static_cast<double>(step) > longestHalf) continue;
    ++halves;
    samples += step;
  }
  if (samples > 0) tone.hertz = halves / 2.0 / (static_cast<double>(samples) / rate);
  const auto at = magnitudes.begin() + static_cast<std::ptrdiff_t>(count * 995 / 1000);
  std::nth_element(magnitudes.begin(), at, magnitudes.end());
  tone.peak = *at / 32768.0;
  return tone;
}

TEST_F(CliSoundTest, TheToneIsRecordedInEveryKindOfFormat) {
  struct Case {
    int format;  // as --list-audio-formats numbers them
    const char* codec;
    int rate;
    int channels;
  };
  const Case cases[] = {
      {16, "pcm_s16le", 44100, 2},
      {1, "pcm_u8", 8000, 1},
      {7, "pcm_s16le", 11025, 1},
      {20, "pcm_s16le", 48000, 2},
  };
  for (const Case& c : cases) {
    const std::string out = Output("sound-" + std::to_string(c.format) + ".avi");
    const CommandResult run = Record("--audio-format " + std::to_string(c.format), out);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::string audio = Probe(out, "a:0");
    EXPECT_EQ(ProbeValue(audio, "codec_name"), c.codec) << c.format;
    EXPECT_EQ(ProbeValue(audio, "sample_rate"), std::to_string(c.rate)) << c.format;
    EXPECT_EQ(ProbeValue(audio, "channels"), std::to_string(c.channels)) << c.format;
    const double video = std::atof(ProbeValue(Probe(out, "v:0"), "duration").c_str());
    const Tone tone = DecodedTone(out, c.rate);
    EXPECT_NEAR(tone.seconds, video, 0.15) << c.format;
    EXPECT_NEAR(tone.hertz, 880, 880 * 0.03) << c.format;
    EXPECT_NEAR(tone.peak, 0.5, 0.1) << c.format;
  }
}

// Where the packets of `stream` ("v" or "a") end, in seconds: the last one's time and length.
double StreamEnd(const std::string& file, const std::string& stream) {
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams " + stream +
                                      " -show_entries packet=pts_time,duration_time -of csv=p=0 '" +
                                      file + "'")
                               .output);
  double end = 0;
  for (std::string line; std::getline(lines, line);) {
    double time = 0;
    double length = 0;
    if (std::sscanf(line.c_str(), "%lf,%lf", &time, &length) == 2)
      end = std::max(end, time + length);
  }
  return end;
}

// The ending of the name chooses the kind of file; picture and sound start and end together in
// each, a reader written apart from ffmpeg's reads each, and a browser plays the MP4 file.
TEST_F(CliSoundTest, EveryKindOfFileCarriesPictureAndSound) {
  struct Case {
    const char* name;
    const char* compressor;
    int format;  // as --list-audio-formats numbers them
    const char* video;
    const char* audio;
    int rate;
  };
  const Case cases[] = {
      {"talk.avi", "MJPG", 16, "mjpeg", "pcm_s16le", 44100},
      {"talk.mkv", "FFV1", 16, "ffv1", "pcm_s16le", 44100},
      {"talk.mp4", "H264", 16, "h264", "aac", 44100},
      {"low.mp4", "FMP4", 1, "mpeg4", "aac", 8000},
  };
  constexpr double kFrame = 1.0 / 15;  // at --fps 15
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string out = Output(c.name);
    const CommandResult run = RunCommand(kCli + " --seconds 3 --fps 15 --region 0,0,320,240 " +
                                         "--compressor " + c.compressor + " --audio-format " +
                                         std::to_string(c.format) + " '" + out + "' 2>&1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(ProbeValue(Probe(out, "v:0"), "codec_name"), c.video);
    EXPECT_EQ(ProbeValue(Probe(out, "a:0"), "codec_name"), c.audio);
    const double pictureEnd = StreamEnd(out, "v");
    EXPECT_NEAR(pictureEnd, 3.0, 0.5);
    EXPECT_NEAR(StreamEnd(out, "a"), pictureEnd, kFrame);
    const Tone tone = DecodedTone(out, c.rate);
    EXPECT_NEAR(tone.seconds, pictureEnd, kFrame);
    EXPECT_NEAR(tone.hertz, 880, 880 * 0.03);
    EXPECT_NEAR(tone.peak, 0.5, 0.1);
    EXPECT_TRUE(GstreamerReads(out));
    // Browsers show H.264 pictures in MP4 files.
    if (std::string(c.compressor) == "H264") {
      const CommandResult played =
          RunCommand(std::string(ORVENNA_PLAY_IN_BROWSER) + " --expect-sound '" + out + "' 2>&1");
      if (played.exitCode == 77) GTEST_SKIP() << "no browser: " << played.output;
      EXPECT_EQ(played.exitCode, 0) << played.output;
      EXPECT_NE(played.output.find("result=ended"), std::string::npos) << played.output;
    }
  }
}

// Without a sound server the video is recorded alone, at the playback rate asked for; with
// sound, the picture plays in real time (one frame per 40 ms here) and a line says so.
TEST_F(CliSoundTest, WithoutASoundServerTheVideoIsRecordedAloneAtItsOwnRate) {
  struct Case {
    bool server;
    const char* rate;
  };
  for (const Case c : {Case{false, "10/1"}, Case{true, "25/1"}}) {
    const std::string out = Output(c.server ? "sound.avi" : "silent.avi");
    const std::string server = c.server ? "" : "PULSE_SERVER=unix:" + Output("no-server") + " ";
    const CommandResult run =
        RunCommand(server + kCli +
                   " --seconds 1 --region 0,0,320,240 --compressor MJPG --fps 10 --interval 40 "
                   "--audio-format 16 '" +
                   out + "' 2>&1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("The sound cannot be recorded: no sound server at unix:" +
                              Output("no-server")) != std::string::npos,
              !c.server)
        << run.output;
    EXPECT_EQ(run.output.find("with sound the picture plays in real time, one frame per 40 ms, "
                              "not at --fps 10") != std::string::npos,
              c.server)
        << run.output;
    const CommandResult rate = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 '" +
        out + "'");
    EXPECT_EQ(rate.output, std::string(c.rate) + "\n") << c.server;
    EXPECT_EQ(Probe(out, "a:0").empty(), !c.server);
  }
}

// One line of --list-audio-inputs.
struct ListedInput {
  int index = -1;
  std::string name;
  std::string volume;
  bool selected = false;
};

std::vector<ListedInput> ListedInputs(const std::string& output) {
  std::vector<ListedInput> inputs;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() < 3 || fields[0].find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    inputs.push_back({std::stoi(fields[0]), fields[1], fields[2], fields.size() > 3});
  }
  return inputs;
}

class CliAudioInputTest : public CliSoundTest {
 protected:
  void SetUp() override {
    CliSoundTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(server_.WaitUntilReady());
  }
  CommandResult Cli(const std::string& arguments) {
    return RunCommand("PULSE_SERVER='" + server_.Address() + "' " + kCli + " " + arguments +
                      " 2>&1");
  }
  // The position of the listed input whose name holds `part`, or -1.
  int Find(const std::vector<ListedInput>& inputs, const std::string& part) {
    for (const ListedInput& input : inputs) {
      if (input.name.find(part) != std::string::npos) return input.index;
    }
    return -1;
  }

  PrivateSoundServer server_;
};

TEST_F(CliAudioInputTest, ListsTheSourcesSelectsOneAndRecordsIt) {
  const CommandResult listed = Cli("--list-audio-inputs");
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  const std::vector<ListedInput> inputs = ListedInputs(listed.output);
  const std::string sources = server_.Pactl("list short sources").output;
  EXPECT_EQ(inputs.size(),
            static_cast<std::size_t>(std::count(sources.begin(), sources.end(), '\n')))
      << listed.output << sources;
  const int monitor = Find(inputs, "Monitor of Null Output");
  const int sine = Find(inputs, "440");
  ASSERT_GE(monitor, 0) << listed.output;
  ASSERT_GE(sine, 0) << listed.output;
  EXPECT_TRUE(inputs[static_cast<std::size_t>(monitor)].selected) << listed.output;
  EXPECT_EQ(inputs[static_cast<std::size_t>(monitor)].volume, "100");

  const std::string out = Output("sine.avi");
  const CommandResult run =
      Cli("--seconds 3 --region 0,0,320,240 --compressor MJPG "
          "--audio-format 16 --audio-input " +
          std::to_string(sine) + " '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(server_.Pactl("get-default-source").output, "sine\n");
  EXPECT_TRUE(
      ListedInputs(Cli("--list-audio-inputs").output)[static_cast<std::size_t>(sine)].selected);
  EXPECT_NEAR(DecodedTone(out, 44100).hertz, 440, 440 * 0.03);
}

TEST_F(CliAudioInputTest, TheVolumeShowsInTheServerAndInTheRecordedLevel) {
  const int monitor =
      Find(ListedInputs(Cli("--list-audio-inputs").output), "Monitor of Null Output");
  const std::string out = Output("quiet.avi");
  const CommandResult run =
      Cli("--seconds 2 --region 0,0,320,240 --compressor MJPG "
          "--audio-format 16 --audio-input " +
          std::to_string(monitor) + " --audio-volume 50 '" + out + "'");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(server_.Pactl("get-source-volume nullsink.monitor").output.find(" 50% "),
            std::string::npos);
  // 50 % on the server's cubic scale is 0.125 of the amplitude: the half-scale tone peaks near
  // 0.0625 of full scale.
  const Tone tone = DecodedTone(out, 44100);
  EXPECT_NEAR(tone.peak, 0.0625, 0.02);
  EXPECT_NEAR(tone.hertz, 880, 880 * 0.03);
}

TEST_F(CliAudioInputTest, BadChoicesEndWithOneLineAndCodeTwo) {
  const std::string noServer = "PULSE_SERVER=unix:" + Output("no-server") + " " + kCli;
  const struct {
    std::string command;
    std::string says;
  } cases[] = {
      {"PULSE_SERVER='" + server_.Address() + "' " + kCli + " --audio-input 99 --list-audio-inputs",
       "there is no audio input 99"},
      {noServer + " --audio-input 0 --list-audio-inputs", "no sound input was found"},
      {noServer + " --audio-volume 10 --list-audio-inputs", "no sound input was found"},
  };
  for (const auto& c : cases) {
    const CommandResult run = RunCommand(c.command + " 2>&1");
    EXPECT_EQ(run.exitCode, 2) << c.command << "\n" << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
  }
  const CommandResult empty = RunCommand(noServer + " --list-audio-inputs 2>&1");
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_NE(empty.output.find("no sound input was found"), std::string::npos) << empty.output;
}

}  // namespace
}  // namespace orvenna::test
