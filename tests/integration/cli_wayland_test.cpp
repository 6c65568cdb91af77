// Whole recordings of a Wayland desktop (the private headless GNOME desktop of
// scripts/lib/wayland.sh, skipped without it) through orvenna-cli with no X display: the screen
// the desktop shares through its portal comes back pixel for pixel at the place each region kind
// asks for, the user's monitor choice is kept and renewed, and a sharing the desktop ends stops
// the recording and keeps it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Geometry.h"
#include "tests/integration/Command.h"
#include "tests/integration/wayland_test_support.h"
#include "tests/tools/ColourBlocks.h"

namespace orvenna {
namespace {

using test::RunCommand;
using namespace std::chrono_literals;

const std::string kCli = ORVENNA_CLI;
constexpr Size kMonitor{1280, 720};

// The colour the blocks window shows at a point of the monitor, as 0xRRGGBB.
std::uint32_t BlocksAt(int x, int y) {
  int column = 0, row = 0;
  while (test::BlockStart(column + 1, test::kBlockColumns, kMonitor.width) <= x) ++column;
  while (test::BlockStart(row + 1, test::kBlockRows, kMonitor.height) <= y) ++row;
  return test::BlockColour(column, row);
}

// `text` as one word of the shell.
std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class CliWaylandTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!wltest::UseDesktopEnvironment()) return;
    unsetenv("DISPLAY");  // nothing of a Wayland recording needs an X display
    folder_ = new std::string((std::filesystem::temp_directory_path() /
                               ("orvenna-cli-wayland-" + std::to_string(getpid())))
                                  .string());
    std::filesystem::create_directories(*folder_ + "/config/orvenna");
    setenv("XDG_CONFIG_HOME", (*folder_ + "/config").c_str(), 1);
    setenv("TMPDIR", folder_->c_str(), 1);
    const std::string drawn = *folder_ + "/blocks-drawn";
    blocks_ = new wltest::DesktopProgram({ORVENNA_COLOUR_BLOCKS, drawn});
    pointer_ = new wltest::MutterScreenCast;
    if (!pointer_->Start(error_)) return;
    for (int i = 0; i < 600 && !std::filesystem::exists(drawn); ++i)
      std::this_thread::sleep_for(50ms);
    if (!std::filesystem::exists(drawn)) error_ = "the blocks window did not draw in 30 seconds";
  }
  static void TearDownTestSuite() {
    delete pointer_;
    delete blocks_;
    if (folder_) std::filesystem::remove_all(*folder_);
    delete folder_;
  }
  void SetUp() override {
    if (!folder_) GTEST_SKIP() << "no test desktop (ORVENNA_TEST_WAYLAND is not set)";
    ASSERT_TRUE(error_.empty()) << error_;
  }

  static std::string ChoiceFile() { return *folder_ + "/config/orvenna/screen-choice"; }
  static std::string KeptChoice() {
    std::ifstream file(ChoiceFile());
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  // Keeps a monitor choice the desktop knows, as a first recording would have.
  static void KeepSeededChoice() {
    std::string error;
    const std::string token = wltest::SeededRestoreToken(error);
    ASSERT_FALSE(token.empty()) << error;
    std::ofstream(ChoiceFile()) << token << "\n0 0\n";
  }
  static std::string RegionArgument(const Rect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.width) +
           "," + std::to_string(r.height);
  }
  static std::string Output(const std::string& name) { return *folder_ + "/" + name; }

  static int DecodedFrames(const std::string& file) {
    return std::atoi(RunCommand("ffprobe -v error -count_frames -select_streams v:0 "
                                "-show_entries stream=nb_read_frames -of csv=p=0 '" +
                                file + "'")
                         .output.c_str());
  }
  // Picture `index` of `file` (or its last, where a busy machine let fewer be written) as
  // 0xRRGGBB pixels, rows top-down.
  static std::vector<std::uint32_t> Frame(const std::string& file, int index, Size size) {
    index = std::min(index, DecodedFrames(file) - 1);
    const test::CommandResult raw =
        RunCommand("ffmpeg -v error -i '" + file + "' -vf 'select=eq(n\\," + std::to_string(index) +
                   ")' -frames:v 1 -f rawvideo -pix_fmt bgr0 - 2>/dev/null");
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size.width) * size.height);
    if (raw.output.size() != pixels.size() * 4) return {};
    std::memcpy(pixels.data(), raw.output.data(), raw.output.size());
    for (std::uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    return pixels;
  }

  static inline std::string* folder_ = nullptr;
  static inline wltest::DesktopProgram* blocks_ = nullptr;
  static inline wltest::MutterScreenCast* pointer_ = nullptr;
  static inline std::string error_;
};

// Each region kind records the blocks it covers, every pixel exact (a lossless compressor at
// 24 and 32 bits), with no chooser: the kept choice shares the monitor, and each run keeps the
// token the desktop gives with the monitor's size.
TEST_F(CliWaylandTest, EveryRegionKindRecordsTheSharedMonitorExactly) {
  KeepSeededChoice();
  std::string error;
  ASSERT_TRUE(pointer_->MovePointer(900, 500, error)) << error;
  const struct {
    std::string arguments;
    Rect region;
  } cases[] = {
      {"--colors 24", {0, 0, kMonitor.width, kMonitor.height}},
      {"--colors 32 --region 250,200,320,240", {250, 200, 320, 240}},
      {"--colors 24 --follow-mouse 200,100", {800, 450, 200, 100}},
  };
  for (const auto& c : cases) {
    const std::string out = Output("region.avi");
    const test::CommandResult run = RunCommand("timeout 60 " + kCli +
                                               " --yes --seconds 1 --no-cursor "
                                               "--compressor ZMBV " +
                                               c.arguments + " '" + out + "' 2>&1");
    ASSERT_EQ(run.exitCode, 0) << c.arguments << "\n" << run.output;
    // The token the desktop gave (it may give the same again) and the monitor's size.
    EXPECT_TRUE(KeptChoice().ends_with("\n1280 720\n")) << KeptChoice();
    const std::vector<std::uint32_t> frame = Frame(out, 20, {c.region.width, c.region.height});
    ASSERT_FALSE(frame.empty()) << c.arguments;
    int wrong = 0;
    for (int y = 0; y < c.region.height; ++y) {
      for (int x = 0; x < c.region.width; ++x)
        wrong += frame[static_cast<std::size_t>(y) * c.region.width + x] !=
                 BlocksAt(c.region.left + x, c.region.top + y);
    }
    EXPECT_EQ(wrong, 0) << c.arguments;
  }
}

// The first recording asks in the desktop's chooser (answered by clicks), the next one shares the
// kept choice without asking, and --choose-screen asks again: cancelled there, nothing is
// recorded, the program says so in one line, and the kept choice stays for the next recording.
// A choice that cannot be kept (its folder cannot be made) is said, once.
TEST_F(CliWaylandTest, TheChooserIsAskedOnceAndAgainOnRequest) {
  std::filesystem::remove(ChoiceFile());
  const std::string out = Output("asked.avi");
  const std::string record = "timeout 60 " + kCli +
                             " --yes --seconds 1 --compressor ZMBV "
                             "--region 0,0,64,48 ";
  std::ofstream(Output("not-a-folder")) << "a file";
  const std::string unkeepable = "XDG_CONFIG_HOME='" + Output("not-a-folder") + "' ";
  const struct {
    const char* answer;  // what the chooser is told, or null: no chooser is expected
    std::string arguments;
    int exitCode;
    const char* said;  // a part of the output said once
  } runs[] = {
      {"share", "", 0, "wrote"},
      {nullptr, "", 0, "wrote"},
      {"cancel", "--choose-screen", 1, "chooser was cancelled, so nothing was recorded"},
      {nullptr, "", 0, "wrote"},
      {"share", unkeepable, 0, "the screen choice cannot be kept"},
  };
  std::string kept;
  for (const auto& r : runs) {
    SCOPED_TRACE(std::string(r.answer ? r.answer : "kept choice") + " " + r.arguments);
    std::filesystem::remove(out);
    std::unique_ptr<wltest::DesktopProgram> chooser;
    if (r.answer) {
      chooser = std::make_unique<wltest::DesktopProgram>(
          std::vector<std::string>{ORVENNA_ANSWER_CHOOSER, r.answer, "--timeout", "20"});
    }
    const bool environment = r.arguments.starts_with("XDG_");
    const test::CommandResult run = RunCommand(
        (environment ? r.arguments + record : record + r.arguments) + " '" + out + "' 2>&1");
    if (chooser) {
      EXPECT_EQ(chooser->Wait(), 0);
    }
    EXPECT_EQ(run.exitCode, r.exitCode) << run.output;
    EXPECT_EQ(std::filesystem::exists(out), r.exitCode == 0);
    std::size_t said = 0;
    for (std::size_t at = run.output.find(r.said); at != std::string::npos;
         at = run.output.find(r.said, at + 1))
      ++said;
    EXPECT_EQ(said, 1u) << run.output;
    if (kept.empty()) kept = KeptChoice();
    EXPECT_FALSE(kept.empty());
    if (r.exitCode != 0) {
      EXPECT_EQ(KeptChoice(), kept) << "a cancelled chooser keeps the choice";
    }
    kept = KeptChoice();
  }
}

// Before a monitor was ever shared the screen's size is not known: compressors are listed
// plainly, none marked as unable to take the region.
TEST_F(CliWaylandTest, CompressorsAreListedPlainlyBeforeTheFirstSharing) {
  std::filesystem::remove(ChoiceFile());
  const test::CommandResult list = RunCommand("timeout 60 " + kCli + " --list-compressors 2>&1");
  EXPECT_EQ(list.exitCode, 0) << list.output;
  EXPECT_NE(list.output.find("\tZMBV\t"), std::string::npos) << list.output;
  EXPECT_EQ(list.output.find("cannot take"), std::string::npos) << list.output;
  EXPECT_EQ(list.output.find("Error"), std::string::npos) << list.output;
}

// The pointer is drawn from the stream's metadata where the pointer stands.
TEST_F(CliWaylandTest, ThePointerIsDrawnWhereTheStreamPutsIt) {
  KeepSeededChoice();
  std::string error;
  const Rect region{600, 200, 200, 200};
  for (const Point pointer : {Point{700, 300}, Point{640, 350}}) {
    // Two motions: the window under the pointer hears it enter and sets its shape.
    ASSERT_TRUE(pointer_->MovePointer(pointer.x - 5, pointer.y - 5, error)) << error;
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(pointer_->MovePointer(pointer.x, pointer.y, error)) << error;
    const std::string out = Output("pointer.avi");
    const test::CommandResult run =
        RunCommand("timeout 60 " + kCli + " --yes --seconds 2 --compressor ZMBV --region " +
                   RegionArgument(region) + " '" + out + "' 2>&1");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    const std::vector<std::uint32_t> frame = Frame(out, 50, {region.width, region.height});
    ASSERT_FALSE(frame.empty());
    // The box of the pixels that are not the blocks': the pointer's picture.
    Rect drawn{region.width, region.height, 0, 0};
    int right = -1, bottom = -1;
    for (int y = 0; y < region.height; ++y) {
      for (int x = 0; x < region.width; ++x) {
        if (frame[static_cast<std::size_t>(y) * region.width + x] ==
            BlocksAt(region.left + x, region.top + y))
          continue;
        drawn.left = std::min(drawn.left, x);
        drawn.top = std::min(drawn.top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
    }
    ASSERT_GE(right, 0) << "no pointer drawn";
    const Point at{pointer.x - region.left, pointer.y - region.top};
    // The blocks window shows an arrow or a cross, whichever it was: the picture covers the
    // pointer's position and is no larger than a pointer.
    EXPECT_LE(drawn.left, at.x);
    EXPECT_LE(drawn.top, at.y);
    EXPECT_GE(right, at.x);
    EXPECT_GE(bottom, at.y);
    EXPECT_LT(right - drawn.left, 64);
    EXPECT_LT(bottom - drawn.top, 64);
  }
}

// The sharing ends while recording (the desktop's screen sharing service goes away, as when
// the user stops it from the desktop's indicator): the recording stops there, what was
// recorded is written, and the program says why and exits with 3.
TEST_F(CliWaylandTest, ASharingTheDesktopEndsStopsAndKeepsTheRecording) {
  KeepSeededChoice();
  const std::string out = Output("ended.avi");
  const std::string stopSharing =
      "sleep 2; kill $(gdbus call --session --dest org.freedesktop.DBus --object-path "
      "/org/freedesktop/DBus --method org.freedesktop.DBus.GetConnectionUnixProcessID "
      "org.freedesktop.impl.portal.desktop.gnome | sed 's/.* \\([0-9]*\\),.*/\\1/')";
  const test::CommandResult run =
      RunCommand("(" + stopSharing + ") & timeout 60 " + kCli +
                 " --yes --seconds 30 --compressor ZMBV --region 0,0,320,240 '" + out +
                 "' 2>&1; status=$?; wait; exit $status");
  EXPECT_EQ(run.exitCode, 3) << run.output;
  EXPECT_NE(run.output.find("no longer available"), std::string::npos) << run.output;
  const int frames = test::WrittenFrames(out);
  EXPECT_GT(frames, 20) << run.output;
  EXPECT_LT(frames, 300) << run.output;
}

// PipeWire ends mid-recording (on a desktop of the test's own, which it cannot outlive): the
// recording stops there, is written, and the program says why and exits with 3.
TEST(CliWaylandPipeWire, PipeWireEndingStopsAndKeepsTheRecording) {
  if (!std::getenv("ORVENNA_TEST_WAYLAND"))
    GTEST_SKIP() << "no test desktop (ORVENNA_TEST_WAYLAND)";
  const std::string folder = ::testing::TempDir() + "orvenna-pipewire-ends";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder + "/config/orvenna");
  const std::string out = folder + "/ended.avi";
  // The desktop's second program is PipeWire; the monitor's choice is seeded in the desktop's
  // permission store.
  const std::string script =
      "source '" ORVENNA_WAYLAND_SCRIPT
      "'; start_wayland_desktop 640x480 || exit 90; "
      "set -a; source \"$ORVENNA_TEST_WAYLAND\"; set +a; unset DISPLAY; "
      "export XDG_CONFIG_HOME='" +
      folder + "/config' TMPDIR='" + folder +
      "'; "
      "uuid=$(cat /proc/sys/kernel/random/uuid); now=$(($(date +%s%N) / 1000)); "
      "gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore --object-path "
      "/org/freedesktop/impl/portal/PermissionStore --method "
      "org.freedesktop.impl.portal.PermissionStore.Set screencast true \"$uuid\" \"{'': "
      "['yes']}\" \"<('GNOME', uint32 1, <(int64 $now, int64 $now, [(uint32 0, uint32 1, "
      "<'MetaVendor:MetaVirtualMonitor:0x00'>)])>)>\" >/dev/null; "
      "printf '%s\\n0 0\\n' \"$uuid\" > \"$XDG_CONFIG_HOME/orvenna/screen-choice\"; "
      "(sleep 2; kill ${WAYLAND_DESKTOP_PIDS[1]}) & ender=$!; "
      "timeout 60 " +
      kCli + " --seconds 30 --compressor ZMBV --region 0,0,160,120 '" + out +
      "' 2>&1; status=$?; wait $ender; stop_wayland_desktop; exit $status";
  const test::CommandResult run = RunCommand("bash -c " + Quoted(script));
  EXPECT_EQ(run.exitCode, 3) << run.output;
  EXPECT_NE(run.output.find("the connection to the PipeWire daemon was lost"), std::string::npos)
      << run.output;
  const int frames = test::WrittenFrames(out);
  EXPECT_GT(frames, 20) << run.output;
  EXPECT_LT(frames, 300) << run.output;
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace orvenna
