// Sound through PipeWire's PulseAudio service, the sound server of today's Wayland desktops
// (the one of the private headless desktop, scripts/lib/wayland.sh): orvenna-cli lists its
// sources, selects one and sets its volume in the server, and records its sound for as long as
// the picture lasts.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

const std::string kCli = ORVENNA_CLI;

// The test desktop's sound server address; empty when the tests run without that desktop.
std::string DesktopSoundServer() {
  const char* file = std::getenv("ORVENNA_TEST_WAYLAND");
  if (file == nullptr) return "";
  std::ifstream lines(file);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("PULSE_SERVER=")) return line.substr(line.find('=') + 1);
  }
  return "";
}

std::string Trimmed(std::string text) {
  text.erase(text.find_last_not_of('\n') + 1);
  return text;
}

TEST(PipeWireSound, TheCliSelectsSetsAndRecordsASourceOfPipeWire) {
  const std::string server = DesktopSoundServer();
  if (server.empty() || !std::getenv("DISPLAY")) {
    GTEST_SKIP() << "needs the test desktop (ORVENNA_TEST_WAYLAND) and DISPLAY";
  }
  setenv("PULSE_SERVER", server.c_str(), 1);
  const std::string module = Trimmed(RunCommand("pactl load-module module-null-sink sink_name=tone "
                                                "sink_properties=device.description=Tone")
                                         .output);
  ASSERT_FALSE(module.empty());

  // The source's position as the program numbers them.
  const CommandResult listed = RunCommand(kCli + " --list-audio-inputs 2>&1");
  std::istringstream lines(listed.output);
  std::string input;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\tMonitor of Tone\t") != std::string::npos)
      input = line.substr(0, line.find('\t'));
  }
  ASSERT_FALSE(input.empty()) << listed.output;

  const std::string folder =
      (std::filesystem::temp_directory_path() / ("orvenna-pipewire-" + std::to_string(getpid())))
          .string();
  std::filesystem::create_directories(folder);
  const std::string out = folder + "/sound.avi";
  const CommandResult run = RunCommand("TMPDIR='" + folder + "' " + kCli +
                                       " --seconds 2 --region 0,0,64,48 --compressor ZMBV"
                                       " --audio-format 16 --audio-input " +
                                       input + " --audio-volume 40 '" + out + "' 2>&1");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Trimmed(RunCommand("pactl get-default-source").output), "tone.monitor");
  EXPECT_NE(RunCommand("pactl get-source-volume tone.monitor").output.find(" 40% "),
            std::string::npos);
  // Format 16 is 44.1 kHz: two seconds of sound beside two seconds of picture.
  const CommandResult probe = RunCommand(
      "ffprobe -v error -select_streams a:0 -show_entries stream=nb_frames -of default=nw=1 '" +
      out + "'");
  const double seconds = std::atof(ProbeValue(probe.output, "nb_frames").c_str()) / 44100;
  EXPECT_NEAR(seconds, 2.0, 0.2) << probe.output << run.output;

  RunCommand("pactl unload-module " + module);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvenna::test
