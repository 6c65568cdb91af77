// Whole recordings through orvenna-cli on the virtual display, judged by ffprobe and ffmpeg.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/integration/Command.h"

extern char** environ;

namespace orvenna::test {
namespace {

const std::string kCli = ORVENNA_CLI;
const std::string kMovingContent = ORVENNA_MOVING_CONTENT;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
const std::string kRegion = "40,40,320,240";

class CliRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    folder_ =
        std::filesystem::temp_directory_path() / ("orvenna-cli-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
    const char* args[] = {
        kMovingContent.c_str(), "--geometry", "320x240+40+40", "--fps", "30", nullptr};
    ASSERT_EQ(posix_spawn(&content_, kMovingContent.c_str(), nullptr, nullptr,
                          const_cast<char**>(args), environ),
              0);
    usleep(300000);  // its frames are uploaded and the first one is on screen
  }
  void TearDown() override {
    if (content_ > 0) {
      kill(content_, SIGTERM);
      waitpid(content_, nullptr, 0);
    }
    std::filesystem::remove_all(folder_);
  }

  std::string Output(const std::string& name) { return (folder_ / name).string(); }

  static CommandResult Record(const std::string& options, const std::string& output) {
    return RunCommand(kCli + " " + options + " '" + output + "' 2>&1");
  }

  // A shell command that records `out` with `arguments` (the messages going into `log`), runs
  // `then` ($pid is the recorder) once the first statistics line shows that the recording runs,
  // and prints the recorder's exit status as "exit=N".
  static std::string RecordAndThen(const std::string& arguments, const std::string& out,
                                   const std::string& log, const std::string& then) {
    return "( : >" + Quote(log) + "; " + kCli + " " + arguments + " " + Quote(out) + " 2>" +
           Quote(log) + " & pid=$!; until grep -q frames " + Quote(log) +
           "; do kill -0 $pid 2>/dev/null || break; sleep 0.05; done; " + then +
           "; wait $pid; echo exit=$? )";
  }

  // Distinct decoded frames of the first video stream (as 24-bit pictures).
  static std::size_t DistinctFrames(const std::string& file) {
    const CommandResult decoded =
        RunCommand("ffmpeg -v error -i '" + file + "' -f rawvideo -pix_fmt bgr24 - 2>/dev/null");
    const std::size_t frameBytes = static_cast<std::size_t>(kWidth) * kHeight * 3;
    std::set<std::string> distinct;
    for (std::size_t at = 0; at + frameBytes <= decoded.output.size(); at += frameBytes) {
      distinct.insert(decoded.output.substr(at, frameBytes));
    }
    return distinct.size();
  }

  void ExpectRecording(const std::string& file, const std::string& tag) {
    const CommandResult probe = RunCommand(
        "ffprobe -v error -select_streams v:0 -count_packets -show_entries "
        "stream=codec_type,codec_tag_string,r_frame_rate,width,height,nb_frames "
        "-of default=nw=1 '" +
        file + "'");
    ASSERT_EQ(probe.exitCode, 0) << probe.output;
    EXPECT_EQ(ProbeValue(probe.output, "codec_type"), "video");
    EXPECT_EQ(ProbeValue(probe.output, "codec_tag_string"), tag);
    EXPECT_EQ(ProbeValue(probe.output, "r_frame_rate"), "30/1");
    EXPECT_EQ(ProbeValue(probe.output, "width"), std::to_string(kWidth));
    // Five seconds in slots of 33 ms, counting the empty ones: about 151.
    const int slots = std::atoi(ProbeValue(probe.output, "nb_frames").c_str());
    EXPECT_GE(slots, 140);
    EXPECT_LE(slots, 160);
    // The moving content shows: many different pictures.
    EXPECT_GT(DistinctFrames(file), 20u);
  }

  std::filesystem::path folder_;
  pid_t content_ = 0;
};

TEST_F(CliRecordTest, DefaultCompressorRecordsFiveSeconds) {
  const std::string out = Output("default.avi");
  const CommandResult run = Record("--seconds 5 --region " + kRegion, out);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("frames"), std::string::npos);  // statistics were printed
  const CommandResult list = RunCommand(kCli + " --list-compressors --region " + kRegion);
  const std::string firstTag = list.output.substr(list.output.find('\t') + 1, 4);
  ExpectRecording(out, firstTag);
}

TEST_F(CliRecordTest, ZmbvRecordsFiveSecondsAndReplacesAnOldFile) {
  const std::string out = Output("zmbv.avi");
  std::ofstream(out) << "an older file";
  const CommandResult run = Record("--seconds 5 --yes --compressor ZMBV --region " + kRegion, out);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  ExpectRecording(out, "ZMBV");
}

TEST_F(CliRecordTest, SigtermStopsAndKeeps) {
  const std::string out = Output("term.avi");
  const std::string log = Output("term.log");
  const CommandResult run = RunCommand(
      RecordAndThen("--compressor ZMBV --region " + kRegion, out, log, "kill -TERM $pid"));
  EXPECT_NE(run.output.find("exit=0"), std::string::npos) << run.output;
  EXPECT_TRUE(std::filesystem::exists(out));
}

// Keys typed during a recording: Ctrl+Enter belongs to the program typed into and the recording
// goes on to its end; Esc cancels it and says so.
TEST_F(CliRecordTest, CtrlEnterLeavesTheRecordingAndEscCancelsIt) {
  struct Case {
    const char* key;
    const char* name;
    const char* ends;  // the last line
    int exit;
  };
  for (const Case c : {Case{"ctrl+Return", "typed.avi", "wrote ", 0},
                       Case{"Escape", "esc.avi", "the recording was cancelled (Esc), so ", 1}}) {
    const std::string out = Output(c.name);
    const std::string log = Output(std::string(c.name) + ".log");
    const CommandResult run =
        RunCommand(RecordAndThen("--seconds 3 --compressor ZMBV --region " + kRegion, out, log,
                                 std::string("xdotool key ") + c.key));
    const std::string said = ReadText(log);
    EXPECT_NE(run.output.find("exit=" + std::to_string(c.exit)), std::string::npos) << c.key << "\n"
                                                                                    << said;
    EXPECT_NE(said.find(std::string("orvenna-cli: ") + c.ends), std::string::npos) << said;
    EXPECT_EQ(std::filesystem::exists(out), c.exit == 0) << c.key;
  }
  EXPECT_GE(WrittenFrames(Output("typed.avi")), 60) << "three seconds at 30 frames a second";
}

// The target's folder goes while the recording runs: the save fails, and the recording is kept.
TEST_F(CliRecordTest, UnwritableTargetKeepsTheRecording) {
  const std::string folder = Output("going");
  std::filesystem::create_directory(folder);
  const std::string out = folder + "/lost.avi";
  const std::string log = Output("going.log");
  const CommandResult run = RunCommand(RecordAndThen(
      "--seconds 2 --compressor ZMBV --region " + kRegion, out, log, "rm -r " + Quote(folder)));
  const std::string said = ReadText(log);
  EXPECT_EQ(run.output.find("exit=0"), std::string::npos) << said;
  EXPECT_NE(said.find("Error: "), std::string::npos) << said;
  const std::size_t kept = said.find("The recording was kept in ");
  ASSERT_NE(kept, std::string::npos) << said;
  const std::size_t start = kept + std::string("The recording was kept in ").size();
  const std::string path = said.substr(start, said.find(".\n", start) - start);
  EXPECT_EQ(RunCommand("ffprobe -v error '" + path + "'").exitCode, 0) << path;
  std::filesystem::remove(path);
}

TEST_F(CliRecordTest, BadArgumentsExitWithTwo) {
  EXPECT_EQ(RunCommand(kCli + " --colors 12 x.avi 2>/dev/null").exitCode, 2);
  EXPECT_EQ(RunCommand(kCli + " 2>/dev/null").exitCode, 2);
  EXPECT_EQ(RunCommand(kCli + " --compressor QQQQ x.avi 2>/dev/null").exitCode, 2);
}

}  // namespace
}  // namespace orvenna::test
