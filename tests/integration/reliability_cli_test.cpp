// orvenna-cli against a hostile or unlucky caller, on the virtual display, with TMPDIR pointed
// at a folder of the test's own: its messages' reader goes away, its standard streams are
// closed, its terminal closes, its output is the recorder's temporary file, an existing file or
// a kind of file that cannot carry its compressor, and its compressor takes only rounded sizes.
// ffprobe judges the files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = ORVENNA_CLI;
const std::string kRecording = "--region 0,0,160,120 --compressor ZMBV --interval 50 --fps 20";

int LineCount(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

class ReliabilityCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    root_ = fs::temp_directory_path() / ("orvenna-cli-reliability-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "tmp");
  }
  void TearDown() override { fs::remove_all(root_); }

  // `arguments` run by the shell with this test's TMPDIR; `redirect` follows the command.
  CommandResult Cli(const std::string& arguments, const std::string& redirect = "2>&1") const {
    return RunCommand("TMPDIR='" + (root_ / "tmp").string() + "' " + kCli + " " + arguments + " " +
                      redirect);
  }
  fs::path Out(const std::string& name) const { return root_ / name; }
  fs::path TempFolder() const { return root_ / "tmp" / ("orvenna-" + std::to_string(geteuid())); }

  fs::path root_;
};

// The reader of the statistics goes away after the first line: the recording goes on and is
// saved, and the program ends as a success.
TEST_F(ReliabilityCliTest, ABrokenPipeDoesNotCostTheRecording) {
  const fs::path out = Out("pipe.avi");
  const CommandResult run = RunCommand("bash -c \"TMPDIR='" + (root_ / "tmp").string() + "' " +
                                       kCli + " --seconds 2 " + kRecording + " '" + out.string() +
                                       "' 2>&1 | head -1; echo exit=\\${PIPESTATUS[0]}\"");
  EXPECT_NE(run.output.find("exit=0"), std::string::npos) << run.output;
  EXPECT_EQ(LineCount(run.output), 2) << run.output;  // the first line, then the exit code
  EXPECT_GT(WrittenFrames(out), 10);
}

// Started with standard input, output and error closed, the program still records, saves and
// ends (it used to hand descriptor 2 to the X connection, write into it and hang); `timeout`
// turns a hang into a failure.
TEST_F(ReliabilityCliTest, ClosedStandardStreamsNeitherHangNorLoseTheRecording) {
  for (const std::string closed : {"2>&-", "<&- >&- 2>&-"}) {
    SCOPED_TRACE(closed);
    const fs::path out = Out("closed.avi");
    fs::remove(out);
    const CommandResult run = RunCommand(
        "TMPDIR='" + (root_ / "tmp").string() + "' timeout -s KILL 60 " + kCli + " --seconds 1 " +
        kRecording + " '" + out.string() + "' " + closed + "; echo exit=$?");
    EXPECT_NE(run.output.find("exit=0"), std::string::npos) << run.output;
    EXPECT_GT(WrittenFrames(out), 5);
  }
}

// The terminal closes (SIGHUP) once the recording runs: stop and keep, as SIGTERM does.
TEST_F(ReliabilityCliTest, HangUpStopsAndKeeps) {
  const fs::path out = Out("hangup.avi");
  const fs::path log = Out("hangup.log");
  // The signal goes once the first statistics line shows frames being written.
  const CommandResult run =
      RunCommand("TMPDIR='" + (root_ / "tmp").string() + "' " + kCli + " " + kRecording + " '" +
                 out.string() + "' 2>'" + log.string() + "' & pid=$!; " +
                 "for i in $(seq 600); do grep -q " + "'frames [1-9]' '" + log.string() +
                 "' && break; sleep 0.1; done; kill -HUP $pid; " + "wait $pid; echo exit=$?");
  const std::string messages = ReadText(log);
  EXPECT_NE(run.output.find("exit=0"), std::string::npos) << run.output << messages;
  EXPECT_NE(messages.find("wrote"), std::string::npos) << messages;
  EXPECT_GT(WrittenFrames(out), 0);
}

// An output that names the recorder's temporary file, however spelled, is refused in one line
// with exit code 2 before anything is recorded; the temporary folder keeps nothing of it.
TEST_F(ReliabilityCliTest, TheTemporaryFileIsRefusedAsOutput) {
  fs::create_directories(TempFolder());
  fs::create_directory_symlink(TempFolder(), Out("link-to-temp"));
  const std::string uid = std::to_string(geteuid());
  const std::vector<fs::path> names = {
      TempFolder() / "~vstream.avi",
      TempFolder() / "~astream.wav",
      TempFolder() / ".." / ("orvenna-" + uid) / "~vstream.avi",
      Out("link-to-temp") / "~vstream.avi",
  };
  for (const fs::path& name : names) {
    SCOPED_TRACE(name.string());
    for (const std::string yes : {"", "--yes"}) {
      const CommandResult run =
          Cli("--seconds 1 " + yes + " " + kRecording + " '" + name.string() + "'");
      EXPECT_EQ(run.exitCode, 2) << run.output;
      EXPECT_EQ(LineCount(run.output), 1) << run.output;
      EXPECT_NE(run.output.find("temporary file"), std::string::npos) << run.output;
      EXPECT_FALSE(fs::exists(TempFolder() / "~vstream.avi"));
    }
  }
}

// An existing output is refused in one line with exit code 2 and left as it was; --yes lets
// the recording replace it. A folder is never replaced.
TEST_F(ReliabilityCliTest, AnExistingOutputIsKeptUnlessYesIsGiven) {
  const fs::path out = Out("existing.avi");
  std::ofstream(out) << "the user's file";
  const CommandResult refused = Cli("--seconds 1 " + kRecording + " '" + out.string() + "'");
  EXPECT_EQ(refused.exitCode, 2) << refused.output;
  EXPECT_EQ(LineCount(refused.output), 1) << refused.output;
  EXPECT_NE(refused.output.find("--yes"), std::string::npos) << refused.output;
  EXPECT_EQ(ReadText(out), "the user's file");

  const CommandResult folder = Cli("--seconds 1 --yes " + kRecording + " '" + root_.string() + "'");
  EXPECT_EQ(folder.exitCode, 2) << folder.output;
  EXPECT_EQ(LineCount(folder.output), 1) << folder.output;

  const CommandResult replaced = Cli("--seconds 1 --yes " + kRecording + " '" + out.string() + "'");
  EXPECT_EQ(replaced.exitCode, 0) << replaced.output;
  EXPECT_GT(WrittenFrames(out), 5);
}

// Without --yes the save replaces nothing that appeared at the output name meanwhile: of two
// recorders started one after the other on one output (each with a temporary folder of its own),
// the first writes it and the second keeps its recording whole beside it and ends with 1; a
// file copied there during a recording stays, the recording is kept beside it.
TEST_F(ReliabilityCliTest, WithoutYesTheSaveReplacesNothingThatAppearedMeanwhile) {
  const fs::path out = Out("shared.avi");
  fs::create_directories(root_ / "tmp2");
  const std::string second =
      "TMPDIR='" + (root_ / "tmp2").string() + "' " + kCli + " --seconds 4 " + kRecording;
  // The second starts as soon as the first records (not after a fixed time, which a loaded
  // machine may spend on the first's start alone); both record long enough for the second to
  // be recording when the first saves, however slowly a loaded machine starts it.
  const CommandResult both =
      Cli("--seconds 4 " + kRecording + " '" + out.string() + "'",
          "> '" + Out("first.log").string() +
              "' 2>&1 & first=$!; for i in $(seq 200); do grep -qs 'recording a' '" +
              Out("first.log").string() + "' && break; sleep 0.05; done; " + second + " '" +
              out.string() + "' > '" + Out("second.log").string() +
              "' 2>&1; second=$?; wait $first; echo $? $second");
  EXPECT_EQ(both.output, "0 1\n") << ReadText(Out("first.log")) << ReadText(Out("second.log"));
  EXPECT_NE(ReadText(Out("second.log"))
                .find("was created by another program during the recording and was left as it "
                      "was; the recording was kept in " +
                      Out("shared-2.avi").string()),
            std::string::npos)
      << ReadText(Out("second.log"));
  EXPECT_GT(WrittenFrames(out), 20);
  EXPECT_GT(WrittenFrames(Out("shared-2.avi")), 20);

  const fs::path copied = Out("copied.avi");
  const CommandResult during =
      Cli("--seconds 2 " + kRecording + " '" + copied.string() + "'",
          "2>&1 & sleep 1; echo 'the user' > '" + copied.string() + "'; wait $!");
  EXPECT_EQ(during.exitCode, 1) << during.output;
  EXPECT_TRUE(ReadText(copied) == "the user\n") << "the copied file was replaced";
  EXPECT_GT(WrittenFrames(Out("copied-2.avi")), 20);
  for (const auto& entry : fs::directory_iterator(root_))
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
}

// Compressors are numbered over all installed ones, whatever the region. One that takes only
// sizes in multiples of 2, 4 or 8 takes any region all the same, by position or by code: the
// region is recorded at the nearest such size, which the program says before it records. An MP4
// file with no compressor chosen takes the first that MP4 carries (H.264), whose stream declares
// the file's own rate.
TEST_F(ReliabilityCliTest, AnOddRegionIsRoundedAloudForTheCompressorThatNeedsIt) {
  const CommandResult fitting = Cli("--list-compressors --region 0,0,320,240", "2>/dev/null");
  const CommandResult odd = Cli("--list-compressors --region 0,0,301,299", "2>/dev/null");
  ASSERT_EQ(fitting.exitCode, 0);
  EXPECT_EQ(odd.output, fitting.output);  // the same positions, and none refused
  std::istringstream lines(odd.output);
  std::string cinepak;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("\tcvid\t") != std::string::npos) cinepak = line.substr(0, line.find('\t'));
  }
  ASSERT_FALSE(cinepak.empty()) << "no Cinepak encoder is installed";

  const std::string cinepakNote =
      "orvenna-cli: cvid (Cinepak - Cinepak Codec) takes only sizes in multiples of 4: the 301 x "
      "299 region is recorded at 304 x 300.\n";
  const struct {
    std::string arguments;
    std::string name;
    std::string streams;  // as ffprobe shows codec, size and the stream's own rate
    std::string note;
  } cases[] = {
      {"--compressor " + cinepak, "by-position.avi", "cinepak|304|300", cinepakNote},
      {"--compressor CVID", "by-code.avi", "cinepak|304|300", cinepakNote},
      {"", "default.mp4", "h264|302|300|10/1",
       "orvenna-cli: H264 (H.264 - x264 H.264 / AVC) takes only sizes in multiples of 2: the 301 x "
       "299 region is recorded at 302 x 300.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path out = Out(c.name);
    const CommandResult run = Cli("--seconds 1 --region 0,0,301,299 --fps 10 --interval 100 " +
                                  c.arguments + " '" + out.string() + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(run.output.starts_with(c.note)) << run.output;
    // The stream of an MP4 file is read on its own too, where only its own timing tells the rate.
    const std::string streams =
        out.extension() == ".mp4"
            ? "ffmpeg -v error -i '" + out.string() +
                  "' -c copy -f h264 - | ffprobe -v error "
                  "-show_entries stream=codec_name,width,height,r_frame_rate -of csv=p=0:s='|' -"
            : "ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0:s='|' '" +
                  out.string() + "'";
    EXPECT_EQ(RunCommand(streams).output, c.streams + "\n");
  }
}

// The ending of the output's name chooses the kind of file. An ending that is no kind, or an MP4
// file with a compressor it cannot carry, is refused in one line that says what works, with exit
// code 2, before anything is recorded; every other pairing records.
TEST_F(ReliabilityCliTest, TheOutputsEndingIsRefusedWhereItCannotCarryTheCompressor) {
  const std::string unknown =
      ": the ending .webm is not a kind of file a recording is saved as; "
      "name the file .avi (AVI), .mkv (Matroska) or .mp4 (MP4)";
  const struct {
    std::string name;
    std::string compressor;
    std::string refusal;  // a part of the line; empty: recorded
  } cases[] = {
      {"talk.webm", "ZMBV", unknown},
      {"talk.mp4", "MJPG", ": MP4 files carry H.264 or MPEG-4 pictures, not MJPG"},
      {"talk.MP4", "MSVC", "name the file .mkv or .avi to keep MSVC"},
      {"talk.mp4", "H264", ""},
      {"talk.mp4", "FMP4", ""},
      {"talk.mkv", "MJPG", ""},
      {"talk.MKV", "MSVC", ""},
      {"talk", "ZMBV", ""},
      {"talk.avi", "MJPG", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " " + c.compressor);
    const fs::path out = Out(c.name);
    const CommandResult run =
        Cli("--seconds 1 --yes --region 0,0,160,120 --interval 50 --fps 20 " +
            std::string("--compressor ") + c.compressor + " '" + out.string() + "'");
    if (c.refusal.empty()) {
      EXPECT_EQ(run.exitCode, 0) << run.output;
      EXPECT_GT(WrittenFrames(out), 5);
      continue;
    }
    EXPECT_EQ(run.exitCode, 2) << run.output;
    EXPECT_EQ(LineCount(run.output), 1) << run.output;
    EXPECT_TRUE(run.output.starts_with("orvenna-cli: " + out.string() + ": ")) << run.output;
    EXPECT_NE(run.output.find(c.refusal), std::string::npos) << run.output;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(TempFolder() / "~vstream.avi"));
  }
}

}  // namespace
}  // namespace orvenna::test
