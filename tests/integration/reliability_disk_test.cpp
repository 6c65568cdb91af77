// Recordings through orvenna-cli when the disk says no: full at the temporary folder or at the
// target, a name the file system refuses, earlier rescued recordings, and a temporary file
// taken away during the recording. A full disk is a small file size limit of the process
// (writes past it fail with EFBIG, as on a full disk), or a small file system where one can be
// mounted.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = ORVENNA_CLI;
const std::string kOptions = "--yes --compressor HFYU --region 0,0,320,240 ";

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Decoded frames of a file, or -1 when ffmpeg cannot read it to the end.
int DecodedFrames(const std::string& path) {
  const CommandResult probe = RunCommand(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
      "-of default=nw=1 " +
      Quote(path) + " 2>&1");
  const std::string frames = ProbeValue(probe.output, "nb_read_frames");
  return probe.exitCode == 0 && !frames.empty() ? std::atoi(frames.c_str()) : -1;
}

class ReliabilityDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    folder_ = fs::temp_directory_path() / ("orvenna-disk-test-" + std::to_string(getpid()));
    fs::create_directories(folder_ / "tmp");
  }
  void TearDown() override {
    if (mounted_) umount2((folder_ / "small").c_str(), MNT_DETACH);
    fs::remove_all(folder_);
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  std::string TempFile() const {
    return Path("tmp/orvenna-" + std::to_string(geteuid()) + "/~vstream.avi");
  }

  // Runs the CLI with its own temporary folder; `limitKiB` > 0 caps every file it writes.
  CommandResult Record(const std::string& options, const std::string& output, int limitKiB = 0,
                       const std::string& during = "") const {
    std::string command = "TMPDIR=" + Quote(Path("tmp")) + " ";
    std::string cli = kCli + " " + kOptions + options + " " + Quote(output);
    if (limitKiB > 0) {
      cli = "sh -c \"trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; exec " + cli + "\"";
    }
    if (!during.empty()) {
      // `during` is timed from the start of the recording itself, which a loaded machine may
      // reach late.
      const std::string log = Quote(Path("run.log"));
      return RunCommand(command + cli + " > " + log +
                        " 2>&1 & for i in $(seq 200); do grep -qs 'recording a' " + log +
                        " && break; sleep 0.05; done; " + during + "; wait; cat " + log);
    }
    return RunCommand(command + cli + " 2>&1");
  }

  fs::path folder_;
  bool mounted_ = false;
};

TEST_F(ReliabilityDiskTest, FullTemporaryDiskKeepsWhatWasRecorded) {
  const std::string out = Path("out.avi");
  const CommandResult run = Record("--seconds 20", out, 2048);
  EXPECT_NE(run.output.find("The disk holding the temporary folder " + Path("tmp") + "/orvenna-"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("Use default compressor"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("User aborted"), std::string::npos) << run.output;
  // The same limit stops the assembly too: the recording is then kept beside the target.
  const std::string kept = fs::exists(out) ? out : Path("out.recovered.avi");
  EXPECT_GT(DecodedFrames(kept), 5) << run.output;
}

// Whatever the kind of file, a save that fills the target's disk leaves the file that was there
// and keeps the recording.
TEST_F(ReliabilityDiskTest, FullTargetDiskLeavesTheOldFileAndKeepsTheRecording) {
  fs::create_directories(folder_ / "small");
  if (mount("tmpfs", Path("small").c_str(), "tmpfs", 0, "size=256k") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here (needs root and a mount namespace)";
  }
  mounted_ = true;
  for (const std::string name : {"out.avi", "out.mkv", "out.mp4"}) {
    SCOPED_TRACE(name);
    const std::string out = Path("small/" + name);
    std::ofstream(out) << "older recording";
    // The disk has no room left for the recording.
    const fs::space_info space = fs::space(Path("small"));
    std::ofstream(Path("small/filler")) << std::string(space.available, 'x');
    // The last --compressor given counts: MP4 carries H.264.
    const CommandResult run =
        Record(name == "out.mp4" ? "--seconds 2 --compressor H264" : "--seconds 2", out);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.output.find("The disk holding " + Path("small") + "/ is full"), std::string::npos)
        << run.output;
    EXPECT_EQ(Contents(out), "older recording");
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(Path("small"))) {
      left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"filler", name})) << "no partial file is left";
    fs::remove(out);
    fs::remove(Path("small/filler"));
    // The recording moved to the temporary folder (another file system than the target's), as
    // an AVI file.
    const std::string kept =
        Path("tmp/orvenna-" + std::to_string(geteuid()) + "/out.recovered.avi");
    EXPECT_GT(DecodedFrames(kept), 5) << run.output;
    fs::remove(kept);
  }
}

TEST_F(ReliabilityDiskTest, SecondRescuedRecordingTakesTheNextFreeName) {
  // The target's folder goes during the recording, so the save fails and the recording is kept
  // in the temporary folder, where a file of the user's takes the second name already.
  const std::string out = Path("missing/out.avi");
  const std::string kept = Path("tmp/orvenna-" + std::to_string(geteuid()) + "/out.recovered");
  fs::create_directories(Path("tmp/orvenna-" + std::to_string(geteuid())));
  fs::permissions(Path("tmp/orvenna-" + std::to_string(geteuid())), fs::perms::owner_all);
  std::ofstream(kept + "-2.avi") << "the user's";
  for (const std::string ending : {".avi", "-3.avi"}) {
    fs::create_directories(Path("missing"));
    const CommandResult run = Record("--seconds 1", out, 0, "sleep 0.5; rm -r " + Path("missing"));
    EXPECT_NE(run.output.find("The recording was kept in " + kept + ending + "."),
              std::string::npos)
        << run.output;
    EXPECT_GT(DecodedFrames(kept + ending), 5) << ending;
  }
  EXPECT_EQ(Contents(kept + "-2.avi"), "the user's");
}

TEST_F(ReliabilityDiskTest, NameTooLongIsRefusedBeforeRecording) {
  const std::string out = Path(std::string(300, 'n') + ".avi");
  const CommandResult run = Record("--seconds 1", out);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("the name is too long for the file system"), std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("recording a "), std::string::npos) << run.output;
}

TEST_F(ReliabilityDiskTest, TemporaryFileDeletedDuringTheRecordingIsSaidAndSaved) {
  const std::string out = Path("out.avi");
  const CommandResult run = Record("--seconds 3", out, 0, "sleep 1.5; rm -f " + Quote(TempFile()));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("The temporary file " + TempFile() + " was deleted or replaced"),
            std::string::npos)
      << run.output;
  EXPECT_GT(DecodedFrames(out), 30);
}

// The sound's temporary file, or the whole temporary folder (as a cleaner of temporary folders
// would), goes during a recording with sound: both streams are saved from what was written,
// and each loss is said.
TEST_F(ReliabilityDiskTest, TemporarySoundDeletedDuringTheRecordingIsSaidAndSaved) {
  if (!std::getenv("PULSE_SERVER")) GTEST_SKIP() << "needs the test sound server";
  const std::string folder = Path("tmp/orvenna-" + std::to_string(geteuid()));
  const struct {
    std::string removed;
    std::vector<std::string> said;
  } cases[] = {
      {folder + "/~astream.wav", {folder + "/~astream.wav"}},
      {folder, {folder + "/~astream.wav", TempFile()}},
  };
  for (const auto& c : cases) {
    const std::string out = Path("sound.avi");
    fs::remove(out);
    const CommandResult run =
        Record("--seconds 3 --audio-format 16", out, 0, "sleep 1.5; rm -rf " + Quote(c.removed));
    EXPECT_EQ(run.exitCode, 0) << run.output;
    for (const std::string& file : c.said) {
      EXPECT_NE(run.output.find("The temporary file " + file + " was deleted or replaced"),
                std::string::npos)
          << run.output;
    }
    // The sound's sample frames: format 16 has 44100 a second.
    const CommandResult probe = RunCommand(
        "ffprobe -v error -select_streams a:0 -show_entries stream=nb_frames -of default=nw=1 " +
        Quote(out));
    EXPECT_GT(std::atof(ProbeValue(probe.output, "nb_frames").c_str()) / 44100, 2.5) << c.removed;
  }
}

}  // namespace
}  // namespace orvenna::test
