// The region windows on a scaled desktop. Qt measures its windows in logical pixels, the X
// server, the engine and the files in device pixels; the windows must agree with the screen.
// Each run scales a private display of its own one way (Xft.dpi from ORVENNA_TEST_XFT_DPI, or
// Qt's QT_SCALE_FACTOR) and names the device pixel ratio it expects in ORVENNA_TEST_RATIO.
// Positions and sizes below are odd on purpose: no ratio above 1 reaches them in whole
// logical pixels.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/qt/QtShell.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11Screen.h"
#include "platform/x11/X11WindowFinder.h"
#include "selection/FlashWnd.h"
#include "selection/FreeHandWnd.h"
#include "selection/SelObjWnd.h"
#include "ui/WindowPlacement.h"

// After Qt's headers: Xlib's macros (None, Bool, ...) would break them.
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlack = 0;

// The private display, scaled as the run asks, and the QApplication on it.
class ScaledDisplay final : public testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<x11test::PrivateXServer>(
        std::vector<std::string>{"-screen", "0", "1280x720x24", "+extension", "MIT-SHM", "-br"});
    if (server_->name().empty()) return;
    setenv("DISPLAY", server_->name().c_str(), 1);
    const QByteArray dpi = qgetenv("ORVENNA_TEST_XFT_DPI");
    if (!dpi.isEmpty()) {
      FILE* xrdb = popen("xrdb -merge", "w");
      if (xrdb == nullptr) return;
      std::fprintf(xrdb, "Xft.dpi: %s\n", dpi.constData());
      if (pclose(xrdb) != 0) return;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override {
    app_.reset();
    server_.reset();
  }

 private:
  int argc_ = 1;
  char name_[24] = "orvenna-scaled-test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<x11test::PrivateXServer> server_;
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new ScaledDisplay);

void Xdo(const QStringList& arguments) {
  QProcess tool;
  tool.start("xdotool", arguments);
  EXPECT_TRUE(tool.waitForFinished(10000) && tool.exitCode() == 0)
      << arguments.join(' ').toStdString();
}

class ScaledWindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (QApplication::instance() == nullptr) GTEST_SKIP() << "no private X server (Xvfb)";
    const QWidget probe;
    ASSERT_DOUBLE_EQ(probe.devicePixelRatio(),
                     qEnvironmentVariable("ORVENNA_TEST_RATIO").toDouble())
        << "the desktop is not scaled as the run asks";
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_NE(display_, nullptr);
    std::string error;
    screen_ = X11Screen::Open("", error);
    ASSERT_NE(screen_, nullptr) << error;
  }

  // The screen as the X server holds it, in device pixels.
  struct Shot {
    struct Destroy {
      void operator()(XImage* image) const { XDestroyImage(image); }
    };
    std::unique_ptr<XImage, Destroy> image;
    std::uint32_t operator()(int x, int y) const {
      return static_cast<std::uint32_t>(XGetPixel(image.get(), x, y)) & 0xFFFFFF;
    }
    // Pixels of `area` that are not `colour`.
    int Mismatches(const QRect& area, std::uint32_t colour) const {
      int count = 0;
      for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) count += (*this)(x, y) != colour;
      }
      return count;
    }
  };
  Shot TakeShot() {
    Shot shot;
    shot.image.reset(XGetImage(display_.get(), DefaultRootWindow(display_.get()), 0, 0, 1280, 720,
                               AllPlanes, ZPixmap));
    return shot;
  }

  // A window's place on the screen as the X server has it.
  QRect ServerGeometry(const QWidget& window) {
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    ::Window child = 0;
    const auto id = static_cast<::Window>(window.winId());
    XSync(display_.get(), False);
    XGetWindowAttributes(display_.get(), id, &attributes);
    XTranslateCoordinates(display_.get(), id, DefaultRootWindow(display_.get()), 0, 0, &x, &y,
                          &child);
    return QRect(x, y, attributes.width, attributes.height);
  }

  // The frame line of an area, one screen pixel on columns left - 2 and left + width and rows
  // top - 2 and top + height, with black (the screen's background) just outside it.
  void ExpectFrameLine(const QRect& area) {
    const QRect line = area.adjusted(-2, -2, 1, 1);
    const auto lineDrawn = [&](const Shot& shot) {
      return shot.Mismatches(QRect(line.left(), line.top(), 1, line.height()), kRed) +
                 shot.Mismatches(QRect(line.right(), line.top(), 1, line.height()), kRed) +
                 shot.Mismatches(QRect(line.left(), line.top(), line.width(), 1), kRed) +
                 shot.Mismatches(QRect(line.left(), line.bottom(), line.width(), 1), kRed) ==
             0;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return lineDrawn(TakeShot()); }, 5000)) << "frame line";
    const Shot shot = TakeShot();
    EXPECT_EQ(shot.Mismatches(QRect(line.left() - 1, line.top(), 1, line.height()), kBlack) +
                  shot.Mismatches(QRect(line.right() + 1, line.top(), 1, line.height()), kBlack),
              0)
        << "beside";
    EXPECT_EQ(shot.Mismatches(line.adjusted(-1, line.height(), 1, 1), kBlack), 0) << "below";
  }

  x11test::DisplayPtr display_;
  std::unique_ptr<X11Screen> screen_;
  QtShell shell_;
  X11Cursor cursor_{""};
  X11WindowFinder windows_{""};
};

TEST_F(ScaledWindowsTest, FreeHandWindowShowsTheScreenOneToOneAndDrawsInDevicePixels) {
  const x11test::PatternWindow pattern(display_.get(), Rect{0, 0, 1280, 720});
  ASSERT_TRUE(pattern.Shown());
  const auto showsPattern = [&](const Shot& shot, const QRect& area) {
    int wrong = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x)
        wrong += shot(x, y) != pattern.ColourAt(x, y);
    }
    return wrong;
  };

  TFreeHandWindow window(PickerDesktop{shell_, *screen_, cursor_, windows_});
  QTimer::singleShot(0, [&] {
    // The still image covers the screen pixel for pixel, before any line is drawn.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.isVisible() && showsPattern(TakeShot(), QRect(0, 0, 1280, 720)) == 0; },
        5000))
        << "still image not one to one";
    // One step at a time, as a hand moves: the window reads the pointer at each event.
    const auto step = [&](const QStringList& action, const std::function<bool()>& seen) {
      Xdo(action);
      EXPECT_TRUE(QTest::qWaitFor(seen, 5000)) << action.join(' ').toStdString();
    };
    step({"mousemove", "101", "77"},
         [&] { return window.State().Tooltip().starts_with("X: 101 Y: 77"); });
    step({"mousedown", "1"}, [&] { return window.State().Dragging(); });
    step({"mousemove", "300", "200"},
         [&] { return window.State().Tooltip().starts_with("X: 300 Y: 200"); });
    step({"mousemove", "421", "317"},
         [&] { return window.State().Tooltip().starts_with("X: 421 Y: 317"); });
    step({"mouseup", "1"}, [&] { return !window.State().Dragging(); });
    EXPECT_EQ(window.Selection(), (Rect{101, 77, 320, 240}));
    EXPECT_TRUE(window.State().Tooltip().find("Selected Area : 320 x 240") != std::string::npos);
    // The four guide lines are one screen pixel wide, on the pixels of the rectangle's edges.
    EXPECT_TRUE(QTest::qWaitFor([&] { return TakeShot()(421, 600) == kRed; }, 5000));
    const Shot shot = TakeShot();
    for (const int x : {101, 421}) {
      EXPECT_EQ(shot.Mismatches(QRect(x, 0, 1, 720), kRed), 0) << "column " << x;
      EXPECT_EQ(showsPattern(shot, QRect(x - 1, 400, 1, 300)) +
                    showsPattern(shot, QRect(x + 1, 400, 1, 300)),
                0)
          << "beside column " << x;
    }
    for (const int y : {77, 317}) {
      EXPECT_EQ(shot.Mismatches(QRect(0, y, 1280, 1), kRed), 0) << "row " << y;
    }
    Xdo({"mousemove", "250", "200", "keydown", "ctrl", "click", "1", "keyup", "ctrl"});
    if (!QTest::qWaitFor([&] { return !window.isVisible(); }, 5000))
      window.Close(ModalResult::Cancel);
  });
  EXPECT_EQ(window.ShowModal(), ModalResult::Ok);
  EXPECT_EQ(window.Selection(), (Rect{101, 77, 320, 240}));
}

TEST_F(ScaledWindowsTest, CaptureFrameLiesOnTheDevicePixelsAroundItsArea) {
  TFlashingWnd frame;
  const std::string caption = "Recording... Cancel: Esc -- Stop: Shift+Esc";
  frame.PlaceFrame(101, 201, 301, 151, false, caption);
  frame.PaintFrame(255, caption);
  frame.ShowOnTop();
  ExpectFrameLine(QRect(101, 201, 301, 151));
  EXPECT_EQ(TakeShot().Mismatches(QRect(100, 200, 301, 151), kBlack), 0) << "inside";
  const QRect placed = ServerGeometry(frame);
  EXPECT_EQ(placed.left(), 99);
  EXPECT_EQ(placed.width(), 304);
  EXPECT_EQ(placed.top() + placed.height(), 201 + 151 + 1);

  // Moved and resized by the next tick, as the engine's timer does.
  frame.PlaceFrame(333, 77, 99, 55, false, caption);
  frame.PaintFrame(255, caption);
  ExpectFrameLine(QRect(333, 77, 99, 55));
}

TEST_F(ScaledWindowsTest, WindowPickerFramesTheWindowUnderThePointer) {
  const x11test::PatternWindow target(display_.get(), Rect{201, 151, 333, 221});
  ASSERT_TRUE(target.Shown());
  Xdo({"mousemove", "300", "250"});
  TSelObjWindow picker(PickerDesktop{shell_, *screen_, cursor_, windows_});
  picker.Timer1Timer();
  EXPECT_EQ(picker.Selection(), (Rect{201, 151, 333, 221}));
  ExpectFrameLine(QRect(201, 151, 333, 221));
}

TEST_F(ScaledWindowsTest, AWindowTallerThanTheScreenIsCentredWithItsTopOnTheScreen) {
  QWidget window;
  window.resize(600, 500);  // 1200 x 1000 device pixels at 2, 900 x 750 at 1.5: taller than 720
  CentreOnPrimaryScreen(window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QRect placed = ServerGeometry(window);
  EXPECT_EQ(placed.top(), 0);
  EXPECT_NEAR(placed.center().x(), 640, 1);
}

}  // namespace
}  // namespace orvenna
