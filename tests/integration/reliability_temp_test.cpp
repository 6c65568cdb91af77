// The temporary folder and its files through orvenna-cli on the virtual display, with TMPDIR
// pointed at a folder of the test's own: a folder that cannot be used, two recordings at once,
// and a recording killed with SIGKILL that the next start keeps. ffprobe and ffmpeg judge.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/integration/Command.h"

namespace orvenna::test {
namespace {

namespace fs = std::filesystem;

const std::string kCli = ORVENNA_CLI;
const std::string kUid = std::to_string(geteuid());
constexpr int kFps = 20;
// A small region, a light compressor, one frame per 50 ms slot.
const std::vector<std::string> kRecording = {"--region",   "0,0,160,120", "--compressor", "ZMBV",
                                             "--interval", "50",          "--fps",        "20"};

// True when ffmpeg decodes every frame of `file` without a word of complaint.
bool DecodesCleanly(const fs::path& file) {
  const CommandResult decoded =
      RunCommand("ffmpeg -nostdin -v error -i '" + file.string() + "' -f null - 2>&1");
  return decoded.exitCode == 0 && decoded.output.empty();
}

// The number in the last "frames N" of orvenna-cli's statistics lines, 0 before the first.
int LastReportedFrames(const std::string& log) {
  static const std::regex kFrames("frames ([0-9]+)");
  int frames = 0;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), kFrames);
       it != std::sregex_iterator(); ++it) {
    frames = std::stoi((*it)[1].str());
  }
  return frames;
}

class ReliabilityTempTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    root_ = fs::temp_directory_path() / ("orvenna-temp-test-" + std::to_string(getpid()));
    fs::remove_all(root_);
    for (const fs::path& folder : {Tmp(), Work(), Home()}) fs::create_directories(folder);
  }
  void TearDown() override {
    for (const pid_t pid : running_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (!root_.empty()) fs::remove_all(root_);
  }

  fs::path Tmp() const { return root_ / "tmp"; }    // TMPDIR
  fs::path Work() const { return root_ / "work"; }  // the working folder
  fs::path Home() const { return root_ / "home"; }  // HOME: the CLI's documents folder
  fs::path OwnTemp() const { return Tmp() / ("orvenna-" + kUid); }

  // Starts orvenna-cli in the working folder with `arguments`, its output going to `log`.
  pid_t Start(const std::vector<std::string>& arguments, const fs::path& log,
              const fs::path& tmpdir) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || chdir(Work().c_str()) != 0) _exit(127);
      dup2(out, 1);
      dup2(out, 2);
      setenv("TMPDIR", tmpdir.c_str(), 1);
      setenv("HOME", Home().c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(kCli.c_str())};
      for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
      argv.push_back(nullptr);
      execv(kCli.c_str(), argv.data());
      _exit(127);
    }
    running_.push_back(pid);
    return pid;
  }

  // The exit code of `pid`, or 128 + the signal that ended it.
  int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    std::erase(running_, pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // Records `seconds` into `output` to the end; the exit code, with the output in `log`.
  int Record(int seconds, const fs::path& output, std::string& log, const fs::path& tmpdir = {}) {
    std::vector<std::string> arguments = kRecording;
    arguments.insert(arguments.end(), {"--seconds", std::to_string(seconds), output.string()});
    const fs::path logFile = root_ / ("log-" + std::to_string(logs_++));
    const int code = Wait(Start(arguments, logFile, tmpdir.empty() ? Tmp() : tmpdir));
    log = ReadText(logFile);
    return code;
  }

  // Waits until the recording writing into `log` has printed its first statistics line.
  static bool WaitForFrames(const fs::path& log, pid_t pid) {
    for (int i = 0; i < 600; ++i) {
      if (LastReportedFrames(ReadText(log)) > 0) return true;
      if (waitpid(pid, nullptr, WNOHANG) != 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }

  fs::path root_;
  std::vector<pid_t> running_;
  int logs_ = 0;
};

// A temporary folder planted by someone else (a link to a folder of theirs), spoiled by a file,
// or not to be had at all: the working folder is never used instead, and the user's own
// "~vstream.avi" there is left alone. Where a fresh private folder can be made the recording
// goes through it, and the user is told; else the program refuses, naming the folder.
TEST_F(ReliabilityTempTest, TemporaryFolderThatCannotBeUsedIsNeverReplacedByTheWorkingFolder) {
  struct Case {
    const char* name;
    const char* problem;  // what the message must say
    bool records;
  };
  const Case cases[] = {
      {"link", "it is a link", true},
      {"file", "it is not a folder", true},
      {"missing TMPDIR", "nothing can be recorded", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Tmp());
    fs::create_directories(Tmp());
    const fs::path planted = root_ / "planted";
    fs::create_directories(planted);
    fs::path tmpdir = Tmp();
    if (std::string(c.name) == "link") fs::create_directory_symlink(planted, OwnTemp());
    if (std::string(c.name) == "file") std::ofstream(OwnTemp()) << "a file";
    if (std::string(c.name) == "missing TMPDIR") tmpdir = root_ / "missing";
    std::ofstream(Work() / "~vstream.avi") << "the user's own file";
    const fs::path output = root_ / (std::string(c.name) + ".avi");

    std::string log;
    const int code = Record(1, output, log, tmpdir);
    EXPECT_NE(log.find((tmpdir / ("orvenna-" + kUid)).string() + " cannot be used"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(c.problem), std::string::npos) << log;
    if (c.records) {
      EXPECT_EQ(code, 0) << log;
      EXPECT_NE(log.find("this run uses the new private folder " +
                         (tmpdir / ("orvenna-" + kUid + "-")).string()),
                std::string::npos)
          << log;
      EXPECT_GT(WrittenFrames(output), 0);
      EXPECT_TRUE(DecodesCleanly(output));
    } else {
      EXPECT_NE(code, 0) << log;
      EXPECT_FALSE(fs::exists(output));
    }
    EXPECT_EQ(ReadText(Work() / "~vstream.avi"), "the user's own file");
    EXPECT_EQ(std::distance(fs::directory_iterator(Work()), fs::directory_iterator()), 1)
        << "nothing is written into the working folder";
    EXPECT_TRUE(fs::is_empty(planted)) << "nothing goes through the planted link";
    // The private folder of the run goes with it.
    if (fs::exists(tmpdir)) {
      for (const auto& entry : fs::directory_iterator(tmpdir))
        EXPECT_FALSE(entry.path().filename().string().starts_with("orvenna-" + kUid + "-"))
            << entry.path();
    }
    fs::remove_all(planted);
    fs::remove(OwnTemp());
  }
}

// While one recording runs, a second one by the same user says so, naming the file the first
// writes, and does not start; the first goes on untouched and ends complete. The running
// recording's temporary file is the user's alone (mode 0600).
TEST_F(ReliabilityTempTest, SecondRecordingAtOnceIsRefusedAndTheFirstIsUntouched) {
  const fs::path first = root_ / "first.avi";
  const fs::path firstLog = root_ / "first.log";
  std::vector<std::string> arguments = kRecording;
  arguments.insert(arguments.end(), {"--seconds", "4", first.string()});
  const pid_t running = Start(arguments, firstLog, Tmp());
  ASSERT_TRUE(WaitForFrames(firstLog, running)) << ReadText(firstLog);

  struct stat status {};
  ASSERT_EQ(lstat((OwnTemp() / "~vstream.avi").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  const fs::path second = root_ / "second.avi";
  std::string log;
  EXPECT_NE(Record(1, second, log), 0) << log;
  EXPECT_NE(log.find("Another recording is running (writing " + first.string() + ")."),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("Error on create AVI file"), std::string::npos) << log;
  EXPECT_EQ(log.find("default compressor"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(second));

  EXPECT_EQ(Wait(running), 0) << ReadText(firstLog);
  // Four seconds of 50 ms slots: 80, fewer only when the machine could not keep up, and a few
  // more when a busy machine held up the timer that ends the recording.
  const int frames = WrittenFrames(first);
  EXPECT_GE(frames, 20);
  EXPECT_LE(frames, 84);
  EXPECT_TRUE(DecodesCleanly(first));
  EXPECT_FALSE(fs::exists(OwnTemp() / "~vstream.avi"));
}

// A recording killed with SIGKILL at a random moment leaves its temporary file; the next start
// repairs it and keeps it beside the file it was meant for, under a name that replaces nothing
// (the second kill's copy does not replace the first's), and says where. The kept file decodes
// and holds at least every frame reported before the kill.
TEST_F(ReliabilityTempTest, RecordingKilledAtARandomMomentIsKeptAtTheNextStart) {
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> delayMs(1000, 3000);
  const fs::path target = root_ / "killed.avi";
  const std::string names[] = {"killed.recovered.avi", "killed.recovered-2.avi"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const fs::path log = root_ / ("killed-" + name + ".log");
    std::vector<std::string> arguments = kRecording;
    arguments.insert(arguments.end(), {"--seconds", "60", target.string()});
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = Start(arguments, log, Tmp());
    ASSERT_TRUE(WaitForFrames(log, pid)) << ReadText(log);
    const int delay = delayMs(random);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    const int reported = LastReportedFrames(ReadText(log));
    kill(pid, SIGKILL);
    EXPECT_EQ(Wait(pid), 128 + SIGKILL);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_TRUE(fs::exists(OwnTemp() / "~vstream.avi"));
    EXPECT_FALSE(fs::exists(target));

    std::string next;
    const fs::path nextOutput = root_ / ("next-" + name);
    EXPECT_EQ(Record(1, nextOutput, next), 0) << next;
    const fs::path kept = root_ / name;
    EXPECT_NE(next.find("repaired and kept in " + kept.string() + "."), std::string::npos)
        << "killed after " << delay << " ms\n"
        << next;
    const std::size_t said = next.rfind('\n', next.find("repaired and kept")) + 1;
    EXPECT_EQ(next.compare(said, 13, "orvenna-cli: "), 0) << next;
    ASSERT_TRUE(fs::exists(kept)) << next;
    EXPECT_TRUE(DecodesCleanly(kept));
    const int frames = WrittenFrames(kept);
    EXPECT_GE(frames, reported) << "every frame reported before the kill is kept";
    EXPECT_LE(frames, static_cast<int>(seconds * kFps) + 1) << "no more than the run could write";
    // The next recording itself is whole, and nothing is left to keep again.
    EXPECT_TRUE(DecodesCleanly(nextOutput));
    EXPECT_FALSE(fs::exists(OwnTemp() / "~vstream.avi"));
  }
  EXPECT_TRUE(fs::exists(root_ / names[0])) << "the first kept copy is not replaced";
}

}  // namespace
}  // namespace orvenna::test
