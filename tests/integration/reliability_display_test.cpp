// A recording through orvenna-cli on a display of the test's own that goes away in the middle:
// the recording ends as if stopped, says why, and keeps what was recorded.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

namespace fs = std::filesystem;

TEST(ReliabilityDisplayTest, ADisplayThatGoesAwayEndsTheRecordingAsAStop) {
  const fs::path folder =
      fs::temp_directory_path() / ("orvenna-display-test-" + std::to_string(getpid()));
  fs::create_directories(folder / "tmp");
  const std::string output = (folder / "lost.avi").string();
  // The display numbers itself (-displayfd) and is killed 2.5 s into the recording.
  {
    std::ofstream script(folder / "run.sh");
    script << "cd '" << folder.string() << "'\n"
           << "Xvfb -displayfd 3 -screen 0 640x480x24 3>display >/dev/null 2>&1 &\n"
           << "xvfb=$!\n"
           << "for i in $(seq 1 100); do [ -s display ] && break; sleep 0.05; done\n"
           << "TMPDIR=$PWD/tmp DISPLAY=:$(cat display) '" ORVENNA_CLI
           << "' --compressor ZMBV --region 0,0,320,240 '" << output << "' 2>cli.log &\n"
           << "cli=$!\n"
           << "sleep 2.5; kill $xvfb; wait $cli; echo exit=$?; cat cli.log\n";
  }
  const CommandResult run = RunCommand("bash '" + (folder / "run.sh").string() + "' 2>&1");
  EXPECT_NE(run.output.find("exit=0"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("The screen can no longer be read ("), std::string::npos) << run.output;
  const CommandResult probe = RunCommand(
      "ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of default=nw=1 '" +
      output + "'");
  EXPECT_GE(std::atoi(ProbeValue(probe.output, "nb_read_frames").c_str()), 30) << probe.output;
  fs::remove_all(folder);
}

}  // namespace
}  // namespace orvenna::test
