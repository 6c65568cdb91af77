// Recordings on a display of the test's own that goes away in the middle, through orvenna-cli
// and through the desktop application, and the desktop application asked to end by a signal:
// the recording ends as if stopped and keeps what was recorded.

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

class ReliabilityDisplayTest : public ::testing::Test {
 protected:
  ReliabilityDisplayTest()
      : folder_(fs::temp_directory_path() / ("orvenna-display-test-" + std::to_string(getpid()))) {
    fs::create_directories(folder_ / "tmp");
    fs::create_directories(folder_ / "home");
  }
  ~ReliabilityDisplayTest() override { fs::remove_all(folder_); }

  // Runs `recorder` (shell lines, in the background, its pid in $app) on a display of its own
  // (-displayfd picks a free number) once that display answers, and 3 s later runs `ending`
  // (by default: the display is killed); answers what the script printed: "did not end" if
  // the recorder outlives that by a minute, "exit=N" with its exit status, then its output.
  // The killed server is waited for: one still going may remove the socket of the next test's
  // server.
  std::string RunUntil(const std::string& recorder,
                       const std::string& ending = "kill $xvfb; wait $xvfb") {
    {
      std::ofstream script(folder_ / "run.sh");
      script << "cd '" << folder_.string() << "'\n"
             << "Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 3>display >/dev/null 2>&1 &\n"
             << "xvfb=$!\n"
             << "for i in $(seq 1 400); do\n"
             << "  [ -s display ] && DISPLAY=:$(cat display) xdpyinfo >/dev/null 2>&1 && break\n"
             << "  sleep 0.05\ndone\n"
             << "export DISPLAY=:$(cat display) TMPDIR=$PWD/tmp HOME=$PWD/home\n"
             << recorder << "\nsleep 3; " << ending << "\n"
             << "for i in $(seq 1 600); do kill -0 $app 2>/dev/null || break; sleep 0.1; done\n"
             << "if kill -0 $app 2>/dev/null; then echo 'did not end'; kill -ABRT $app; fi\n"
             << "wait $app; echo exit=$?; cat app.log\n"
             << "kill $xvfb 2>/dev/null; wait $xvfb\n";
    }
    return RunCommand("bash '" + (folder_ / "run.sh").string() + "' 2>&1").output;
  }

  static int DecodedFrames(const std::string& file) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of default=nw=1 '" +
        file + "'");
    return std::atoi(ProbeValue(probe.output, "nb_read_frames").c_str());
  }

  const fs::path folder_;
};

// The recording is kept and said to be cut short, by its exit status and in one line of the
// lost display.
TEST_F(ReliabilityDisplayTest, TheCliEndsTheRecordingAsAStop) {
  const std::string output = (folder_ / "lost.avi").string();
  const std::string said = RunUntil("'" ORVENNA_CLI "' --compressor ZMBV --region 0,0,320,240 '" +
                                    output + "' >app.log 2>&1 &\napp=$!");
  EXPECT_NE(said.find("exit=3"), std::string::npos) << said;
  EXPECT_NE(said.find("The screen can no longer be read ("), std::string::npos) << said;
  const std::string lost = "lost the connection to the X display";
  EXPECT_EQ(said.find(lost), said.rfind(lost)) << said;
  EXPECT_GE(DecodedFrames(output), 30) << said;
}

// The desktop application started, its Start Recording button clicked, and the temporary
// video file begun.
const char* const kDesktopRecording =
    "'" ORVENNA_PROGRAM
    "' >app.log 2>&1 &\napp=$!\n"
    "for i in $(seq 1 200); do\n"
    "  w=$(xdotool search --name '^Orvenna$' 2>/dev/null | head -n 1); [ -n \"$w\" ] && break\n"
    "  sleep 0.1\ndone\n"
    "sleep 0.5; xdotool mousemove --window \"$w\" 64 20 click 1  # Start Recording\n"
    "for i in $(seq 1 100); do [ -n \"$(ls tmp/orvenna-*/*.avi 2>/dev/null)\" ] && break; "
    "sleep 0.1; done";

// Qt ends the process on the broken connection; the recording started with the Start
// Recording button is saved to the default file before it goes.
TEST_F(ReliabilityDisplayTest, TheDesktopApplicationSavesTheRecordingBeforeItEnds) {
  const std::string said = RunUntil(kDesktopRecording);
  EXPECT_GE(DecodedFrames((folder_ / "home/Documents/Capture.avi").string()), 30) << said;
}

// What logout, shutdown and a closed terminal send: the recording is stopped and saved as the
// Stop button does, and the program ends.
TEST_F(ReliabilityDisplayTest, TheDesktopApplicationSavesTheRecordingOnTermAndHangUp) {
  for (const char* signal : {"TERM", "HUP"}) {
    const fs::path saved = folder_ / "home/Documents/Capture.avi";
    fs::remove(saved);
    const std::string said = RunUntil(kDesktopRecording, std::string("kill -") + signal + " $app");
    EXPECT_NE(said.find("exit=0"), std::string::npos) << signal << ": " << said;
    EXPECT_GE(DecodedFrames(saved.string()), 30) << signal << ": " << said;
  }
}

}  // namespace
}  // namespace orvenna::test
