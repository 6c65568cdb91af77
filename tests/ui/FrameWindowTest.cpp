// The capture frame window on the real X display (with the window manager running): where
// its line lands on the screen, what stays uncovered, and that clicks pass through it.
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/Timer.h"
#include "selection/FlashWnd.h"
#include "selection/SelectionWindows.h"
#include "tests/ui/QtTestApp.h"

namespace orvenna {
namespace {

const QColor kBackground(0, 96, 160);
const QColor kRed(255, 0, 0);
const std::string kCaption = "Recording... Cancel: Esc -- Stop: Shift+Esc";

// A screen-sized window of one known colour that notes where it was pressed.
class Backdrop final : public QWidget {
 public:
  Backdrop() : QWidget(nullptr, Qt::FramelessWindowHint) {
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);
    setGeometry(QGuiApplication::primaryScreen()->geometry());
  }
  std::vector<QPoint> presses;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    presses.push_back(event->globalPosition().toPoint());
  }
};

QImage GrabScreen() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Pixels of `area` on `screen` that are not `colour`.
int Mismatches(const QImage& screen, const QRect& area, const QColor& colour) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (screen.pixelColor(x, y) != colour) ++count;
    }
  }
  return count;
}

bool WaitForColour(QPoint point, const QColor& colour) {
  return QTest::qWaitFor([&] { return GrabScreen().pixelColor(point) == colour; }, 3000);
}

void Click(QPoint point) {
  test::RunTool("xdotool", {"mousemove", QString::number(point.x()), QString::number(point.y()),
                            "click", "1"});
}

class FrameWindowTest : public test::QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (IsSkipped()) return;
    backdrop_ = std::make_unique<Backdrop>();
    frame_ = std::make_unique<TFlashingWnd>();
    backdrop_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(backdrop_.get()));
    ASSERT_TRUE(WaitForColour({960, 540}, kBackground));
  }

  // What the engine does on each tick of its area timer.
  void Tick(int left, int top, int width, int height, bool cornersOnly,
            const std::string& caption = kCaption) {
    frame_->PlaceFrame(left, top, width, height, cornersOnly, caption);
    frame_->PaintFrame(255, caption);
    frame_->ShowOnTop();
  }

  int CaptionHeight() const { return QFontMetrics(frame_->font()).height(); }
  int CaptionWidth() const {
    return QFontMetrics(frame_->font()).horizontalAdvance(QString::fromStdString(kCaption));
  }

  QRect CaptionLabel() const {
    return QRect(98, 198 - CaptionHeight(), CaptionWidth(), CaptionHeight());
  }

  // White text blended onto red keeps full red and equal green and blue.
  bool CaptionLabelDrawn(const QImage& screen) const {
    const QRect label = CaptionLabel();
    for (int y = label.top(); y <= label.bottom(); ++y) {
      for (int x = label.left(); x <= label.right(); ++x) {
        const QColor c = screen.pixelColor(x, y);
        if (c.red() != 255 || c.green() != c.blue()) return false;
      }
    }
    return true;
  }

  // The caption label above the top-left corner of a frame whose line runs along row 198
  // from column 98: white text on red, with the rest of the row band uncovered.
  void ExpectCaptionLabel(const QImage& screen) {
    const int th = CaptionHeight();
    const int tw = CaptionWidth();
    EXPECT_TRUE(CaptionLabelDrawn(screen));
    int red = 0, white = 0;
    const QRect label = CaptionLabel();
    for (int y = label.top(); y <= label.bottom(); ++y) {
      for (int x = label.left(); x <= label.right(); ++x) {
        const QColor c = screen.pixelColor(x, y);
        if (c == kRed) ++red;
        if (c == QColor(255, 255, 255)) ++white;
      }
    }
    EXPECT_GT(red, tw * th / 2);
    EXPECT_GT(white, 20);
    EXPECT_EQ(Mismatches(screen, QRect(98 + tw, 198 - th, 500, th), kBackground), 0)
        << "right of the caption label";
    EXPECT_EQ(Mismatches(screen, QRect(90, 197 - th, 800, 1), kBackground), 0)
        << "above the caption label";
  }

  // Made in SetUp: without a display there is no QApplication to make widgets with.
  std::unique_ptr<Backdrop> backdrop_;
  std::unique_ptr<TFlashingWnd> frame_;
};

TEST_F(FrameWindowTest, FullLineRunsJustOutsideTheAreaAndLeavesItsInsideUncovered) {
  Tick(100, 200, 300, 150, false);
  EXPECT_EQ(frame_->geometry(),
            QRect(98, 200 - CaptionHeight() - 2, 303, 150 + CaptionHeight() + 3));
  EXPECT_TRUE(frame_->IsShowing());
  ASSERT_TRUE(WaitForColour({400, 350}, kRed));
  ASSERT_TRUE(QTest::qWaitFor([&] { return CaptionLabelDrawn(GrabScreen()); }, 3000));

  const QImage screen = GrabScreen();
  EXPECT_EQ(Mismatches(screen, QRect(98, 198, 1, 153), kRed), 0) << "column 98";
  EXPECT_EQ(Mismatches(screen, QRect(400, 198, 1, 153), kRed), 0) << "column 400";
  EXPECT_EQ(Mismatches(screen, QRect(98, 198, 303, 1), kRed), 0) << "row 198";
  EXPECT_EQ(Mismatches(screen, QRect(98, 350, 303, 1), kRed), 0) << "row 350";
  EXPECT_EQ(Mismatches(screen, QRect(99, 199, 301, 151), kBackground), 0) << "inside";
  EXPECT_EQ(Mismatches(screen, QRect(97, 198, 1, 153), kBackground), 0) << "left of the line";
  EXPECT_EQ(Mismatches(screen, QRect(401, 190, 1, 162), kBackground), 0) << "right of the line";
  EXPECT_EQ(Mismatches(screen, QRect(97, 351, 305, 1), kBackground), 0) << "below the line";
  ExpectCaptionLabel(screen);
}

TEST_F(FrameWindowTest, CornersOnlyKeepsTwentyPixelArmsAndTheCaption) {
  Tick(100, 200, 300, 150, false);  // a full frame first: the next tick must replace its shape
  ASSERT_TRUE(WaitForColour({250, 198}, kRed));
  Tick(100, 200, 300, 150, true);
  ASSERT_TRUE(WaitForColour({250, 198}, kBackground));

  const QImage screen = GrabScreen();
  const struct {
    QRect area;
    const char* what;
  } arms[] = {
      {{98, 198, 20, 1}, "top-left, across"},      {{98, 198, 1, 20}, "top-left, down"},
      {{381, 198, 20, 1}, "top-right, across"},    {{400, 198, 1, 20}, "top-right, down"},
      {{98, 350, 20, 1}, "bottom-left, across"},   {{98, 331, 1, 20}, "bottom-left, up"},
      {{381, 350, 20, 1}, "bottom-right, across"}, {{400, 331, 1, 20}, "bottom-right, up"},
  };
  for (const auto& arm : arms) EXPECT_EQ(Mismatches(screen, arm.area, kRed), 0) << arm.what;
  EXPECT_EQ(Mismatches(screen, QRect(118, 198, 263, 1), kBackground), 0) << "middle of top";
  EXPECT_EQ(Mismatches(screen, QRect(118, 350, 263, 1), kBackground), 0) << "middle of bottom";
  EXPECT_EQ(Mismatches(screen, QRect(98, 218, 1, 113), kBackground), 0) << "middle of left";
  EXPECT_EQ(Mismatches(screen, QRect(400, 218, 1, 113), kBackground), 0) << "middle of right";
  EXPECT_EQ(Mismatches(screen, QRect(99, 199, 301, 151), kBackground), 0) << "inside";
  ExpectCaptionLabel(screen);

  Tick(100, 200, 300, 150, false);  // and back: the whole line shows again
  ASSERT_TRUE(WaitForColour({250, 198}, kRed));
  EXPECT_EQ(Mismatches(GrabScreen(), QRect(98, 198, 1, 153), kRed), 0);
}

TEST_F(FrameWindowTest, AreaOfWidthZeroStillGetsBothSidesOfTheLine) {
  Tick(500, 500, 0, 100, false);
  EXPECT_EQ(frame_->width(), 3);
  ASSERT_TRUE(WaitForColour({500, 600}, kRed));
  const QImage screen = GrabScreen();
  EXPECT_EQ(Mismatches(screen, QRect(498, 498, 1, 103), kRed), 0);
  EXPECT_EQ(Mismatches(screen, QRect(500, 498, 1, 103), kRed), 0);
  EXPECT_EQ(Mismatches(screen, QRect(499, 499, 1, 101), kBackground), 0);
}

TEST_F(FrameWindowTest, ShapeWithNothingLeftShowsNothing) {
  Tick(700, 700, 0, 0, false, "");
  ASSERT_TRUE(WaitForColour({698, 698}, kRed));
  // Without a caption, the corner cuts of a zero-sized area remove every pixel.
  Tick(700, 700, 0, 0, true, "");
  EXPECT_TRUE(WaitForColour({698, 698}, kBackground));
  EXPECT_EQ(Mismatches(GrabScreen(), QRect(690, 650, 20, 60), kBackground), 0);
}

TEST_F(FrameWindowTest, ClicksInsideTheFrameReachTheWindowUnderneath) {
  Tick(100, 200, 300, 150, false);
  ASSERT_TRUE(WaitForColour({98, 275}, kRed));
  Click({250, 275});
  Click({98, 275});  // on the line: the frame window takes it
  Click({260, 280});
  ASSERT_TRUE(QTest::qWaitFor([&] { return backdrop_->presses.size() >= 2; }, 3000));
  QTest::qWait(50);
  EXPECT_EQ(backdrop_->presses, (std::vector<QPoint>{{250, 275}, {260, 280}}));

  Tick(100, 200, 300, 150, true);
  ASSERT_TRUE(WaitForColour({98, 275}, kBackground));
  Click({98, 275});  // the middle of a side is open in the corners-only style
  ASSERT_TRUE(QTest::qWaitFor([&] { return backdrop_->presses.size() >= 3; }, 3000));
  EXPECT_EQ(backdrop_->presses.back(), QPoint(98, 275));
}

TEST_F(FrameWindowTest, NextTickBringsTheFrameAboveAnActivatedFullScreenWindow) {
  Tick(100, 200, 300, 150, false);
  ASSERT_TRUE(WaitForColour({98, 275}, kRed));
  backdrop_->showFullScreen();
  backdrop_->raise();
  backdrop_->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return backdrop_->isActiveWindow(); }, 3000));
  Tick(100, 200, 300, 150, false);
  EXPECT_TRUE(WaitForColour({98, 275}, kRed));
}

TEST_F(FrameWindowTest, HideAndShowAgain) {
  Tick(100, 200, 300, 150, false);
  ASSERT_TRUE(WaitForColour({98, 275}, kRed));
  frame_->Hide();
  EXPECT_FALSE(frame_->IsShowing());
  EXPECT_TRUE(WaitForColour({98, 275}, kBackground));
  Tick(120, 200, 300, 150, false);
  EXPECT_TRUE(WaitForColour({118, 275}, kRed));
  EXPECT_EQ(GrabScreen().pixelColor(98, 275), kBackground);
}

using QtUiFactoryTest = test::QtDisplayTest;

TEST_F(QtUiFactoryTest, MakesAHiddenFrameAStoppedTimerAndNoPickersYet) {
  QtUiFactory factory;
  const std::unique_ptr<FrameWindow> frame = factory.NewFrameWindow();
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(frame->IsShowing());
  EXPECT_EQ(dynamic_cast<QWidget&>(*frame).geometry(), QRect(0, 16, 300, 300));
  const std::unique_ptr<Timer> timer = factory.NewTimer();
  ASSERT_NE(timer, nullptr);
  EXPECT_FALSE(timer->Enabled());
  EXPECT_EQ(factory.NewFreeHandPicker(), nullptr);
  EXPECT_EQ(factory.NewObjectPicker(), nullptr);
}

}  // namespace
}  // namespace orvenna
