// The desktop application on the private headless GNOME desktop (scripts/lib/wayland.sh,
// ORVENNA_TEST_WAYLAND) as a native Wayland client with DISPLAY unset: Start Recording asks the
// desktop for the monitor (answered by a kept choice the desktop knows, so no chooser shows),
// records it full screen with a lossless compressor, and ends the sharing once the recording
// is saved. Skipped without that desktop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/screencast/KeptChoice.h"
#include "tests/integration/Command.h"
#include "tests/integration/wayland_test_support.h"
#include "tests/tools/ColourBlocks.h"
#include "ui/DesktopPlatform.h"

namespace orvenna::test {
namespace {

// A folder of the test's own, removed with it.
struct TempFolder {
  TempFolder() {
    std::string pattern = "/tmp/orvenna-wayland-ui-XXXXXX";
    path = mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path); }
  std::string path;
};

// A restore token that the desktop's permission store grants the virtual monitor for a
// program that is not sandboxed, as if the user had chosen it once.
std::string SeededToken() {
  std::string uuid = RunCommand("cat /proc/sys/kernel/random/uuid").output;
  uuid.erase(uuid.find_last_not_of('\n') + 1);
  const std::string stamp =
      "int64 " + std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count());
  const CommandResult seeded = RunCommand(
      "gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore --object-path "
      "/org/freedesktop/impl/portal/PermissionStore --method "
      "org.freedesktop.impl.portal.PermissionStore.Set screencast true '" +
      uuid + "' \"{'': ['yes']}\" \"<('GNOME', uint32 1, <(" + stamp + ", " + stamp +
      ", [(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:0x00'>)])>)>\" 2>&1");
  EXPECT_EQ(seeded.exitCode, 0) << seeded.output;
  return uuid;
}

// The last frame of `file` as 24-bit RGB pixels of `width` x `height`.
std::string LastFrame(const std::string& file, int width, int height) {
  const std::string raw = file + ".rgb";
  const CommandResult decoded = RunCommand("ffmpeg -v error -y -sseof -1 -i '" + file +
                                           "' -f rawvideo -pix_fmt rgb24 '" + raw + "' 2>&1");
  EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
  const auto frame = static_cast<std::size_t>(width) * height * 3;
  std::string pixels(frame, '\0');
  std::ifstream in(raw, std::ios::binary | std::ios::ate);
  if (static_cast<std::size_t>(in.tellg()) < frame) return {};
  in.seekg(-static_cast<std::streamoff>(frame), std::ios::end);
  in.read(pixels.data(), static_cast<std::streamsize>(frame));
  return pixels;
}

TEST(MainWindowOnWayland, RecordsTheSharedMonitorFullScreenAndThenStopsSharing) {
  if (!wltest::UseDesktopEnvironment())
    GTEST_SKIP() << "needs the test desktop (ORVENNA_TEST_WAYLAND)";
  unsetenv("DISPLAY");
  TempFolder home;
  setenv("HOME", home.path.c_str(), 1);
  setenv("TMPDIR", home.path.c_str(), 1);
  const std::string keptChoice = home.path + "/config/orvenna/screen-choice";
  ASSERT_TRUE(SaveKeptChoice(keptChoice, KeptChoice{SeededToken(), Size{1280, 720}}));

  setenv("QT_QPA_PLATFORM", "wayland", 1);
  int argc = 1;
  char name[] = "orvenna-wayland-test";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  wltest::DesktopProgram blocks({ORVENNA_COLOUR_BLOCKS});
  ASSERT_TRUE(blocks.Started());

  DesktopPlatform desktop(std::make_unique<PortalScreen>(PortalScreen::Options{
      .keptChoicePath = keptChoice, .chooserTimeout = std::chrono::seconds(20)}));
  TfrmMain window(desktop.Services(), desktop.Recorded());
  desktop.Shell().SetMainWindow(&window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  TVistrel& engine = *window.Engine();
  for (int i = 0; i < TVistrel::CatalogueSize; ++i) {
    if (FourCCText(engine.CompressorTable()[i].fccHandler) == "ZMBV")
      engine.SetSelectedCompressor(i);
  }
  window.RadioGroup1Items->button(4)->setChecked(true);  // Full Screen
  window.CheckBox3->setChecked(false);

  QTest::mouseClick(window.RecBut, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Recording(); }, 20000))
      << window.SessionNote->text().toStdString();
  EXPECT_TRUE(desktop.Desktop().Sharing()->Sharing());
  const std::unique_ptr<ScreenGrabber> grabber = desktop.Services().screen.NewGrabber();
  EXPECT_EQ(window.StopBut->text(), "Stop");  // no global keys on this desktop
  // Recorded until the blocks show where the main window was: it minimised itself.
  const auto shows = [&](int column, int row) {
    const int x =
        (BlockStart(column, kBlockColumns, 1280) + BlockStart(column + 1, kBlockColumns, 1280)) / 2;
    const int y = (BlockStart(row, kBlockRows, 720) + BlockStart(row + 1, kBlockRows, 720)) / 2;
    ImageView pixel;
    return grabber->Grab(Rect{x, y, 1, 1}, RasterOp::SrcCopy, pixel) &&
           (*reinterpret_cast<const std::uint32_t*>(pixel.Row(0)) & 0xFFFFFF) ==
               BlockColour(column, row);
  };
  EXPECT_TRUE(QTest::qWaitFor([&] { return shows(1, 1) && engine.FrameCount() >= 20; }, 20000));
  window.StopButClick();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return !engine.SessionThreadRunning() && window.RecBut->isEnabled(); }, 60000));
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !desktop.Desktop().Sharing()->Sharing(); }, 5000))
      << "the sharing ends once nothing reads the screen";

  // The main window minimised itself: the last frame is the blocks, pixel for pixel.
  const std::string frame = LastFrame(window.Edit8->text().toStdString(), 1280, 720);
  ASSERT_FALSE(frame.empty());
  for (int row = 0; row < kBlockRows; ++row) {
    for (int column = 0; column < kBlockColumns; ++column) {
      const int x =
          (BlockStart(column, kBlockColumns, 1280) + BlockStart(column + 1, kBlockColumns, 1280)) /
          2;
      const int y = (BlockStart(row, kBlockRows, 720) + BlockStart(row + 1, kBlockRows, 720)) / 2;
      const auto* pixel = reinterpret_cast<const unsigned char*>(frame.data()) + (y * 1280 + x) * 3;
      const std::uint32_t rgb = pixel[0] << 16 | pixel[1] << 8 | pixel[2];
      EXPECT_EQ(rgb, BlockColour(column, row)) << "block " << column << ", " << row;
    }
  }
  window.close();
}

}  // namespace
}  // namespace orvenna::test
