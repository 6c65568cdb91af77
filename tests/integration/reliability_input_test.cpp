// Regions that reach beyond the screen or lie wholly off it, recorded by orvenna-cli on the
// virtual display and judged by ffprobe and ffmpeg.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

const std::string kCli = ORVENNA_CLI;

class ReliabilityInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    folder_ =
        std::filesystem::temp_directory_path() / ("orvenna-input-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    const CommandResult size = RunCommand("xdpyinfo | awk '/dimensions:/ {print $2}'");
    screen_ = size.output.substr(0, size.output.find('\n'));
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Output(const std::string& name) { return (folder_ / name).string(); }

  static CommandResult Record(const std::string& options, const std::string& output) {
    return RunCommand(kCli + " --seconds 1 " + options + " '" + output + "' 2>&1");
  }

  // "WIDTHxHEIGHT FRAMES" of the first video stream as ffprobe reads it, and the number of
  // frames ffmpeg decodes at that size.
  static std::string Probe(const std::string& file, int& decodedFrames) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=width,height,codec_tag_string "
        "-of default=nw=1 '" +
        file + "'");
    const std::string width = ProbeValue(probe.output, "width");
    const std::string height = ProbeValue(probe.output, "height");
    const CommandResult decoded = RunCommand("ffmpeg -v error -i '" + file +
                                             "' -f rawvideo -pix_fmt bgr24 - 2>/dev/null | wc -c");
    const long long frameBytes = std::atoll(width.c_str()) * std::atoll(height.c_str()) * 3;
    const long long bytes = std::atoll(decoded.output.c_str());
    decodedFrames =
        frameBytes > 0 && bytes % frameBytes == 0 ? static_cast<int>(bytes / frameBytes) : -1;
    return ProbeValue(probe.output, "codec_tag_string") + " " + width + "x" + height;
  }

  std::filesystem::path folder_;
  std::string screen_;
};

TEST_F(ReliabilityInputTest, RegionBeyondTheScreenRecordsItsPartOnTheScreen) {
  ASSERT_EQ(screen_, "1920x1080") << "the display the test suite starts";
  struct Case {
    const char* region;
    const char* note;   // the line that says what is recorded
    const char* video;  // what ffprobe reads
  };
  const Case cases[] = {
      {"0,0,99999,99999", "recording 1920 x 1080 at 0,0", "MSVC 1920x1080"},
      {"1800,1000,99999,99999", "recording 120 x 80 at 1800,1000", "MSVC 120x80"},
      {"-60,-40,100,100", "recording 40 x 60 at 0,0", "MSVC 40x60"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.region);
    const std::string file = Output("beyond.avi");
    std::filesystem::remove(file);
    const CommandResult run =
        Record(std::string("--yes --compressor MSVC --region ") + c.region, file);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("the region reaches beyond the screen (1920 x 1080); " +
                              std::string(c.note)),
              std::string::npos)
        << run.output;
    int frames = 0;
    EXPECT_EQ(Probe(file, frames), c.video);
    EXPECT_GT(frames, 0);
  }
}

TEST_F(ReliabilityInputTest, RegionWhollyOffTheScreenIsRefusedBeforeRecording) {
  for (const char* region : {"5000,5000,100,100", "1920,0,10,10", "-100,-100,100,100"}) {
    SCOPED_TRACE(region);
    const std::string file = Output("off.avi");
    const CommandResult run = Record(std::string("--region ") + region, file);
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_NE(run.output.find("lies wholly outside the screen (1920 x 1080), so nothing would be "
                              "recorded"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(std::filesystem::exists(file));
  }
}

}  // namespace
}  // namespace orvenna::test
