// Recordings with sound through orvenna-cli, from the private sound server's 880 Hz tone,
// judged by ffprobe and ffmpeg.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "tests/integration/Command.h"

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

// The tone's frequency (zero crossings) and peak (of full scale) in the decoded sound.
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
  int crossings = 0;
  int peak = 0;
  for (std::size_t i = 1; i < count; ++i) {
    if ((sample(i - 1) < 0) != (sample(i) < 0)) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(sample(i))));
  }
  tone.seconds = static_cast<double>(count) / rate;
  tone.hertz = crossings / 2.0 / tone.seconds;
  tone.peak = peak / 32768.0;
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

TEST_F(CliSoundTest, WithoutASoundServerTheVideoIsRecordedAlone) {
  const std::string out = Output("silent.avi");
  const CommandResult run = RunCommand("PULSE_SERVER=unix:" + Output("no-server") + " " + kCli +
                                       " --seconds 1 --region 0,0,320,240 --compressor MJPG "
                                       "--audio-format 16 '" +
                                       out + "' 2>&1");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("The sound cannot be recorded: no sound server at unix:" +
                            Output("no-server")),
            std::string::npos)
      << run.output;
  EXPECT_EQ(ProbeValue(Probe(out, "v:0"), "codec_type"), "video");
  EXPECT_EQ(Probe(out, "a:0"), "");
}

}  // namespace
}  // namespace orvenna::test
