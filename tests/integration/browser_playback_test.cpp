// MP4 files played to their end by a real browser (headless Chromium, through
// tests/tools/play_in_browser.sh): the duration it reports, and that a file it cannot play is
// reported as a failure rather than as played.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/integration/Command.h"

namespace orvenna {
namespace {

namespace fs = std::filesystem;
using test::CommandResult;
using test::Quote;
using test::RunCommand;

// The value of `key=` in the browser check's line, up to the next space; empty when absent.
std::string Field(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 2;
  return line.substr(start, line.find_first_of(" \n", start) - start);
}

class BrowserPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* chromium = std::getenv("CHROMIUM");
    if (access(chromium ? chromium : "/usr/bin/chromium", X_OK) != 0)
      GTEST_SKIP() << "needs Chromium (scripts/deps.sh installs it)";
    std::string folder = (fs::temp_directory_path() / "orvenna-browser-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    folder_ = folder;
  }
  void TearDown() override {
    if (!folder_.empty()) fs::remove_all(folder_);
  }

  // Three seconds of 320x240 H.264 pictures at 30 frames a second with AAC sound, the index at
  // the front.
  fs::path MakeMp4() {
    const fs::path path = folder_ / "three-seconds.mp4";
    const CommandResult made = RunCommand(
        "ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=320x240:rate=30 -f lavfi -i sine "
        "-t 3 -c:v libx264 -pix_fmt yuv420p -c:a aac -movflags +faststart " +
        Quote(path.string()) + " 2>&1");
    EXPECT_EQ(made.exitCode, 0) << made.output;
    return path;
  }

  // Plays `file`; the exit code and the check's one line (the browser's messages, on standard
  // error, are left out).
  CommandResult Play(const fs::path& file, const std::string& options = "") {
    return RunCommand(Quote(ORVENNA_PLAY_IN_BROWSER) + " " + options + " " + Quote(file.string()) +
                      " 2>/dev/null");
  }

  fs::path folder_;
};

TEST_F(BrowserPlayback, PlaysAnMp4ToItsEndWithPictureAndSound) {
  const fs::path file = MakeMp4();
  const CommandResult played = Play(file, "--expect-sound --expect-duration 3 --tolerance 0.05");
  EXPECT_EQ(played.exitCode, 0) << played.output;
  EXPECT_EQ(played.output.rfind("result=ended ", 0), 0u) << played.output;
  EXPECT_EQ(Field(played.output, "error"), "none") << played.output;
  EXPECT_EQ(Field(played.output, "size"), "320x240") << played.output;
  EXPECT_EQ(Field(played.output, "frames"), "90") << played.output;
}

// A file cut short, and one whose pictures the browser cannot decode (it would play the sound
// alone, in a blank element, to the end and without an error).
TEST_F(BrowserPlayback, ReportsFilesItCannotPlayAsFailures) {
  const fs::path whole = MakeMp4();
  const fs::path cut = folder_ / "cut.mp4";
  fs::copy_file(whole, cut);
  fs::resize_file(cut, fs::file_size(whole) / 4);
  const CommandResult cutPlayed = Play(cut);
  EXPECT_EQ(cutPlayed.exitCode, 1) << cutPlayed.output;
  EXPECT_EQ(cutPlayed.output.rfind("result=error ", 0), 0u) << cutPlayed.output;

  const fs::path jpeg = folder_ / "jpeg.mp4";
  const CommandResult made = RunCommand("ffmpeg -nostdin -v error -i " + Quote(whole.string()) +
                                        " -c:v mjpeg -c:a copy " + Quote(jpeg.string()) + " 2>&1");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const CommandResult jpegPlayed = Play(jpeg);
  EXPECT_EQ(jpegPlayed.exitCode, 1) << jpegPlayed.output;
  EXPECT_EQ(jpegPlayed.output.rfind("result=incomplete ", 0), 0u) << jpegPlayed.output;
}

}  // namespace
}  // namespace orvenna
