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
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/screencast/KeptChoice.h"
#include "selection/FreeHandWnd.h"
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

// The main window on the desktop with the blocks window behind it, ZMBV chosen, the monitor's
// choice kept; a folder of its own for home, temporary and recorded files.
class MainWindowOnWayland : public testing::Test {
 protected:
  void SetUp() override {
    if (!wltest::UseDesktopEnvironment())
      GTEST_SKIP() << "needs the test desktop (ORVENNA_TEST_WAYLAND)";
    unsetenv("DISPLAY");
    setenv("HOME", home_.path.c_str(), 1);
    setenv("TMPDIR", home_.path.c_str(), 1);
    std::string error;
    const std::string token = wltest::SeededRestoreToken(error);
    ASSERT_FALSE(token.empty()) << error;
    ASSERT_TRUE(SaveKeptChoice(keptChoice_, KeptChoice{token, Size{1280, 720}}));
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    // Widgets draw into shared memory; without the EGL buffer integration Qt does not load the
    // desktop's GL driver, which leaves an allocation behind when it is unloaded at exit.
    setenv("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION", "none", 1);
    application_ = std::make_unique<QApplication>(argc_, argv_);
    blocks_ =
        std::make_unique<wltest::DesktopProgram>(std::vector<std::string>{ORVENNA_COLOUR_BLOCKS});
    ASSERT_TRUE(blocks_->Started());
    QTest::qWait(1500);  // the blocks window's opening animation ends
    desktop_ =
        std::make_unique<DesktopPlatform>(std::make_unique<PortalScreen>(PortalScreen::Options{
            .keptChoicePath = keptChoice_, .chooserTimeout = std::chrono::seconds(20)}));
    window_ = std::make_unique<TfrmMain>(desktop_->Services(), desktop_->Recorded());
    desktop_->Shell().SetMainWindow(window_.get());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    TVistrel& engine = *window_->Engine();
    for (int i = 0; i < TVistrel::CatalogueSize; ++i) {
      if (FourCCText(engine.CompressorTable()[i].fccHandler) == "ZMBV")
        engine.SetSelectedCompressor(i);
    }
    window_->CheckBox3->setChecked(false);
  }
  void TearDown() override {
    if (window_) window_->close();
    window_.reset();
    desktop_.reset();
    blocks_.reset();
    application_.reset();
  }

  // Stops the recording once it holds 20 frames and waits until it is saved.
  void StopWhenRecorded() {
    TVistrel& engine = *window_->Engine();
    EXPECT_TRUE(QTest::qWaitFor([&] { return engine.FrameCount() >= 20; }, 20000));
    window_->StopButClick();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !engine.SessionThreadRunning() && window_->RecBut->isEnabled(); }, 60000));
    EXPECT_TRUE(Process().SaveSucceeded);
  }

  TempFolder home_;
  const std::string keptChoice_ = home_.path + "/config/orvenna/screen-choice";
  int argc_ = 1;
  char name_[24] = "orvenna-wayland-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
  std::unique_ptr<wltest::DesktopProgram> blocks_;
  std::unique_ptr<DesktopPlatform> desktop_;
  std::unique_ptr<TfrmMain> window_;
};

TEST_F(MainWindowOnWayland, RecordsTheSharedMonitorFullScreenAndThenStopsSharing) {
  TfrmMain& window = *window_;
  DesktopPlatform& desktop = *desktop_;
  TVistrel& engine = *window.Engine();
  window.RadioGroup1Items->button(4)->setChecked(true);  // Full Screen

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
  EXPECT_TRUE(QTest::qWaitFor([&] { return shows(1, 1); }, 20000));
  StopWhenRecorded();
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
}

// Free hand on Wayland: the free-hand window covers the monitor with a still frame of the
// stream, and the rectangle dragged out on it (Ctrl + click confirms) is recorded, in the
// monitor's pixels.
TEST_F(MainWindowOnWayland, AFreeHandRectangleOnTheStillFrameIsRecordedThere) {
  TfrmMain& window = *window_;
  window.RadioGroup1Items->button(1)->setChecked(true);  // Free Hand
  window.CheckBox1->setChecked(false);                   // no pointer over the blocks
  // The picker runs modally inside the click: what the user does there comes from a timer.
  QSize still;
  QRgb stillPixel = 0;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    TFreeHandWindow* picker = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == "FreeHandWindow" && widget->isVisible() &&
          widget->windowHandle() != nullptr && widget->windowHandle()->isExposed())
        picker = dynamic_cast<TFreeHandWindow*>(widget);
    }
    if (picker == nullptr) return;
    user.stop();
    still = picker->Snapshot().size();
    stillPixel = picker->Snapshot().pixel(100, 650);
    const QPoint from(300, 200), to(620, 440);
    QTest::mousePress(picker, Qt::LeftButton, {}, from);
    QTest::mouseMove(picker, (from + to) / 2);
    QTest::mouseMove(picker, to);
    QTest::mouseRelease(picker, Qt::LeftButton, {}, to);
    QTest::mouseClick(picker, Qt::LeftButton, Qt::ControlModifier, to);
  });
  user.start(50);
  QTest::mouseClick(window.RecBut, Qt::LeftButton);
  TVistrel& engine = *window.Engine();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Recording(); }, 20000))
      << window.SessionNote->text().toStdString();
  // The still frame was the monitor's picture: the blocks, at the monitor's size.
  EXPECT_EQ(still, QSize(1280, 720));
  EXPECT_EQ(stillPixel & 0xFFFFFF, BlockColour(0, 2));
  EXPECT_EQ(engine.Region(), (Rect{300, 200, 320, 240}));
  StopWhenRecorded();

  const std::string frame = LastFrame(window.Edit8->text().toStdString(), 320, 240);
  ASSERT_FALSE(frame.empty());
  int wrong = 0;
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const auto* pixel = reinterpret_cast<const unsigned char*>(frame.data()) + (y * 320 + x) * 3;
      const std::uint32_t rgb = pixel[0] << 16 | pixel[1] << 8 | pixel[2];
      int column = 0, row = 0;
      while (BlockStart(column + 1, kBlockColumns, 1280) <= 300 + x) ++column;
      while (BlockStart(row + 1, kBlockRows, 720) <= 200 + y) ++row;
      wrong += rgb != BlockColour(column, row);
    }
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace orvenna::test
