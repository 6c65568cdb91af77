// The region pickers as a user reaches them: "Fixed Region (Free Hand Mode)" or "Fixed Region
// (Region From Windows)" and Start Recording in the main window, on the real display with the
// window manager, driven by xdotool. The recordings are judged by ffprobe and their decoded
// pixels; screenshots go to $ORVENNA_SCREENSHOTS when it is set.
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <filesystem>
#include <functional>

#include "engine/Utf16.h"
#include "selection/FreeHandWnd.h"
#include "selection/SelObjWnd.h"
#include "tests/ui/QtTestApp.h"
#include "tests/ui/pickers_support.h"
#include "ui/DesktopPlatform.h"
#include "ui/Unit1.h"

namespace orvenna {
namespace {

using test::kRed;
using test::Quadrants;

bool WaitFor(const std::function<bool()>& done, int milliseconds = 15000) {
  return QTest::qWaitFor(done, milliseconds);
}

void Xdo(const QStringList& arguments) {
  EXPECT_FALSE(test::Tool("xdotool", arguments).isNull()) << arguments.join(' ').toStdString();
}

void MoveMouse(QPoint to) {
  Xdo({"mousemove", QString::number(to.x()), QString::number(to.y())});
}

QWidget* Showing(const char* objectName) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == objectName && widget->isVisible()) return widget;
  }
  return nullptr;
}

TFreeHandWindow* FreeHandWindow() {
  return dynamic_cast<TFreeHandWindow*>(Showing("FreeHandWindow"));
}

// The rectangle the window picker frames, from where its frame window stands.
QRect Framed() {
  const QWidget* frame = Showing("WindowPicker");
  if (frame == nullptr) return {};
  const int th = QFontMetrics(frame->font()).height();
  return frame->geometry().adjusted(2, th + 2, -1, -1);
}

bool AllRed(const QImage& screen, const QRect& line) {
  for (int y = line.top(); y <= line.bottom(); ++y) {
    for (int x = line.left(); x <= line.right(); ++x) {
      if (screen.pixelColor(x, y) != kRed) return false;
    }
  }
  return true;
}

class RegionPickersTest : public test::QtDisplayTest {
 protected:
  void SetUp() override {
    QtDisplayTest::SetUp();
    if (IsSkipped()) return;
    if (!test::WindowManagerRunning()) GTEST_SKIP() << "needs a window manager";
    ASSERT_TRUE(folder_.isValid());
    for (const char* name : {"HOME", "TMPDIR"}) {  // documents and temporary files
      saved_.emplace_back(name, qgetenv(name));
      qputenv(name, folder_.path().toLocal8Bit());
    }
    std::string error;
    std::unique_ptr<X11Screen> screen = X11Screen::Open("", error);
    ASSERT_TRUE(screen) << error;
    desktop_ = std::make_unique<DesktopPlatform>(std::move(screen));
    window_ = std::make_unique<TfrmMain>(desktop_->Services());
    desktop_->Shell().SetMainWindow(window_.get());
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    window_->move(40, 40);  // at the left, away from the windows picked
    ASSERT_TRUE(WaitFor([&] { return window_->frameGeometry().right() < 800; }));
    window_->CheckBox1->setChecked(false);  // the pointer rests on the pictures compared
    engine_ = window_->Engine();
    for (int i = 0; i < engine_->CompressorCount(); ++i) {  // lossless, to compare pixels
      if (FourCCText(engine_->CompressorTable()[i].fccHandler) == "ZMBV") {
        engine_->SetSelectedCompressor(i);
      }
    }
    output_ = folder_.path() + "/picked.avi";
    window_->Edit8->setText(output_);
  }
  void TearDown() override {
    if (window_) {
      if (engine_->Recording()) {
        // Stopped before its first picture, it would say so in a box that waits for an answer.
        WaitFor([&] { return engine_->FrameCount() > 0; }, 10000);
        engine_->StopRecording();
      }
      WaitFor([&] { return !engine_->SessionThreadRunning(); }, 60000);
      window_->close();
    }
    window_.reset();
    desktop_.reset();
    for (const auto& [name, value] : saved_) qputenv(name.c_str(), value);
  }

  // Chooses region item `item` and presses Start Recording; once `open` holds, `scenario` runs
  // from inside the picker's modal loop and closes the picker. Returns when the pick ended.
  void Pick(int item, std::function<bool()> open, std::function<void()> scenario) {
    QObject::connect(&poll_, &QTimer::timeout, [this, open, scenario] {
      if (!open()) return;
      poll_.stop();
      scenario();
      // A scenario that stopped early leaves the picker open: Esc closes it.
      if (FreeHandWindow() != nullptr || Showing("WindowPicker") != nullptr) Xdo({"key", "Escape"});
      scenarioDone_ = true;
    });
    poll_.start(10);
    window_->RadioGroup1Items->button(item)->click();
    QTest::mouseClick(window_->RecBut, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return scenarioDone_ && !Process().PendingStart; }, 120000));
  }
  // Lets the recording run, stops it with Shift+Esc, and checks the file: `size`, and the
  // pixels of `part` equal to `window`'s moved by `offset`.
  void ExpectRecording(QSize size, const QRect& part, const Quadrants& window, QPoint offset) {
    ASSERT_TRUE(WaitFor([&] { return window_->StopBut->isEnabled(); }));
    ASSERT_TRUE(WaitFor([&] { return engine_->FrameCount() >= 10; }, 30000));
    Xdo({"key", "shift+Escape"});
    ASSERT_TRUE(WaitFor(
        [&] { return !engine_->SessionThreadRunning() && window_->RecBut->isEnabled(); }, 60000));
    EXPECT_TRUE(Process().SaveSucceeded);
    ASSERT_EQ(test::ProbeSize(output_), size);
    const QImage last = test::LastFrame(output_, size);
    ASSERT_FALSE(last.isNull());
    EXPECT_EQ(test::Differences(last, part, window, offset), 0);
  }

  QTemporaryDir folder_;
  std::vector<std::pair<std::string, QByteArray>> saved_;
  std::unique_ptr<DesktopPlatform> desktop_;
  std::unique_ptr<TfrmMain> window_;
  TVistrel* engine_ = nullptr;
  QString output_;
  QTimer poll_;
  bool scenarioDone_ = false;
};

TEST_F(RegionPickersTest, FreeHandRectangleDrawnUpAndLeftIsConfirmedAndRecordedExactly) {
  Quadrants target(Qt::FramelessWindowHint);
  target.setGeometry(1100, 300, 320, 240);
  target.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
  const QRect client = test::ClientRect(target);
  const QRect mainWindow = window_->frameGeometry();
  // From the rectangle's bottom-right corner up to its top-left one, over all four colours.
  const QPoint topLeft = client.topLeft() + QPoint(40, 30);
  const QPoint bottomRight = topLeft + QPoint(200, 150);

  Pick(
      1, [] { return FreeHandWindow() != nullptr; },
      [&] {
        TFreeHandWindow& picker = *FreeHandWindow();
        EXPECT_EQ(picker.geometry(), QGuiApplication::primaryScreen()->geometry());
        // The still image shows the screen without the application, which minimised first.
        EXPECT_TRUE(window_->isMinimized());
        EXPECT_EQ(picker.Snapshot().pixelColor(mainWindow.center()), QColor(Qt::black));
        EXPECT_EQ(picker.Snapshot().pixelColor(topLeft), target.ColourAt(40, 30));

        MoveMouse(bottomRight);
        Xdo({"mousedown", "1"});
        MoveMouse(bottomRight - QPoint(60, 40));
        MoveMouse(topLeft);
        const Point end{topLeft.x(), topLeft.y()};
        ASSERT_TRUE(WaitFor([&] { return picker.State().Current() == end; }));
        // Four red lines across the screen through the corners; the tooltip (right of and below
        // the cursor) hides a piece of the right-hand one.
        QImage screen;
        ASSERT_TRUE(WaitFor([&] {
          screen = test::GrabScreen();
          return screen.pixelColor(topLeft.x(), 1) == kRed &&
                 screen.pixelColor(1, topLeft.y()) == kRed;
        }));
        test::KeepScreenshot(screen, "free-hand-drawing");
        const int w = screen.width();
        const int h = screen.height();
        EXPECT_TRUE(AllRed(screen, QRect(topLeft.x(), 0, 1, h)));
        EXPECT_TRUE(AllRed(screen, QRect(0, topLeft.y(), w, 1)));
        EXPECT_TRUE(AllRed(screen, QRect(0, bottomRight.y(), w, 1)));
        EXPECT_TRUE(AllRed(screen, QRect(bottomRight.x(), 0, 1, topLeft.y())));
        EXPECT_TRUE(
            AllRed(screen, QRect(bottomRight.x(), bottomRight.y(), 1, h - bottomRight.y())));
        EXPECT_EQ(screen.pixelColor(topLeft + QPoint(1, 1)), target.ColourAt(41, 31));
        EXPECT_EQ(QToolTip::text(), QString("X: %1 Y: %2\nSelected Area : 200 x 150\n%3\n"
                                            "For Cancel Press (Esc Key)\n"
                                            "For Select Press (Ctrl+Left Click)")
                                        .arg(topLeft.x())
                                        .arg(topLeft.y())
                                        .arg(QString(40, '-')));
        Xdo({"mouseup", "1", "keydown", "ctrl", "click", "1", "keyup", "ctrl"});
        ASSERT_TRUE(WaitFor([&] { return !picker.isVisible(); }));
      });

  EXPECT_EQ(engine_->Region(), (Rect{topLeft.x(), topLeft.y(), 200, 150}));
  EXPECT_EQ(engine_->ScreenRegion(), TScreenRegion::FixedStable);
  ExpectRecording(QSize(200, 150), QRect(0, 0, 200, 150), target, QPoint(40, 30));
}

TEST_F(RegionPickersTest, EscCancelsTheFreeHandWindowAndChangesNothing) {
  const Rect before = engine_->Region();
  Pick(
      1, [] { return FreeHandWindow() != nullptr; },
      [&] {
        TFreeHandWindow& picker = *FreeHandWindow();
        Xdo({"mousemove", "100", "100", "mousedown", "1", "mousemove", "400", "300", "mouseup",
             "1"});
        ASSERT_TRUE(WaitFor([&] { return picker.State().Selected(); }));
        Xdo({"key", "Escape"});
        ASSERT_TRUE(WaitFor([&] { return !picker.isVisible(); }));
      });
  EXPECT_EQ(engine_->Region(), before);
  EXPECT_EQ(engine_->ScreenRegion(), TScreenRegion::FreeHand);
  EXPECT_FALSE(engine_->Recording());
  EXPECT_TRUE(window_->RecBut->isEnabled());
  EXPECT_FALSE(QToolTip::isVisible());
  EXPECT_FALSE(std::filesystem::exists(output_.toStdString()));
}

TEST_F(RegionPickersTest, WindowPickerFramesAWindowFollowsItAndCtrlEnterRecordsIt) {
  Quadrants target;  // with the window manager's title bar and borders
  target.setWindowTitle(QStringLiteral("Picked window"));
  target.setGeometry(1000, 300, 320, 240);
  target.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&target));
  ASSERT_TRUE(WaitFor([&] { return !test::OuterRect(target).isNull(); }));
  QRect outer = test::OuterRect(target);
  const QRect client = test::ClientRect(target);
  ASSERT_GT(client.top(), outer.top()) << "the window manager gave the window no title bar";
  const QPoint inside = client.center();

  Pick(
      0, [] { return Showing("WindowPicker") != nullptr; },
      [&] {
        MoveMouse(inside);
        ASSERT_TRUE(WaitFor([&] { return Framed() == outer; }));
        // A red line one pixel outside the outer rectangle, the caption label above its corner.
        QImage screen;
        ASSERT_TRUE(WaitFor([&] {
          screen = test::GrabScreen();
          return AllRed(screen, QRect(outer.left() - 2, outer.top() - 2, outer.width() + 3, 1)) &&
                 AllRed(screen,
                        QRect(outer.left() - 2, outer.bottom() + 1, outer.width() + 3, 1)) &&
                 AllRed(screen, QRect(outer.left() - 2, outer.top() - 2, 1, outer.height() + 3)) &&
                 AllRed(screen, QRect(outer.right() + 1, outer.top() - 2, 1, outer.height() + 3));
        }));
        test::KeepScreenshot(screen, "window-picker-framed");
        const QFontMetrics metrics(Showing("WindowPicker")->font());
        const QRect caption(outer.left() - 2, outer.top() - 2 - metrics.height(),
                            metrics.horizontalAdvance(TSelObjWindow::kCaption), metrics.height());
        int red = 0;
        int white = 0;
        for (int y = caption.top(); y <= caption.bottom(); ++y) {
          for (int x = caption.left(); x <= caption.right(); ++x) {
            red += screen.pixelColor(x, y) == kRed;
            white += screen.pixelColor(x, y) == Qt::white;
          }
        }
        EXPECT_GT(red, caption.width() * caption.height() / 2);
        EXPECT_GT(white, 20) << "the caption's text";

        // On the picker's own frame line the window under it (the desktop) is found, never the
        // picker itself.
        MoveMouse(QPoint(outer.left() - 2, outer.top() + 50));
        ASSERT_TRUE(WaitFor([&] { return Framed() != outer; }));
        EXPECT_EQ(Framed(), QGuiApplication::primaryScreen()->geometry());
        MoveMouse(inside);
        ASSERT_TRUE(WaitFor([&] { return Framed() == outer; }));

        // The window moves under the resting pointer: a later tick follows it.
        Xdo({"windowmove", QString::number(target.winId()), QString::number(target.x() + 60),
             QString::number(target.y() + 40)});
        ASSERT_TRUE(WaitFor([&] {
          const QRect now = test::OuterRect(target);
          return !now.isNull() && now != outer && Framed() == now;
        }));
        const QRect before = outer;
        outer = test::OuterRect(target);
        // The old frame line is gone from the window that moved there.
        const QPoint oldLine(before.right() + 1, before.center().y());
        QImage moved;
        ASSERT_TRUE(WaitFor([&] {
          moved = test::GrabScreen();
          return moved.pixelColor(oldLine) != kRed &&
                 AllRed(moved, QRect(outer.left() - 2, outer.top() - 2, 1, outer.height() + 3));
        }));
        test::KeepScreenshot(moved, "window-picker-moved");
        Xdo({"key", "ctrl+Return"});
        ASSERT_TRUE(WaitFor([] { return Showing("WindowPicker") == nullptr; }));
      });

  EXPECT_EQ(engine_->Region(), (Rect{outer.x(), outer.y(), outer.width(), outer.height()}));
  EXPECT_EQ(engine_->ScreenRegion(), TScreenRegion::FixedStable);
  const QPoint frame = test::ClientRect(target).topLeft() - outer.topLeft();
  ExpectRecording(outer.size(), QRect(frame, target.size()), target, -frame);
}

TEST_F(RegionPickersTest, WindowPickerSkipsAClosedWindowAndTheApplicationTakesNoClicks) {
  auto target = std::make_unique<Quadrants>();
  target->setGeometry(1000, 400, 300, 200);
  target->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(target.get()));
  ASSERT_TRUE(WaitFor([&] { return !test::OuterRect(*target).isNull(); }));
  const QRect outer = test::OuterRect(*target);
  const QPoint inside = test::ClientRect(*target).center();
  const Rect before = engine_->Region();

  Pick(
      0, [] { return Showing("WindowPicker") != nullptr; },
      [&] {
        MoveMouse(inside);
        ASSERT_TRUE(WaitFor([&] { return Framed() == outer; }));
        // A click on a window of the application does nothing while the picker is open (a second
        // start would open a second picker); the move after it tells that it has been handled.
        Xdo({"click", "1"});
        MoveMouse(inside + QPoint(5, 5));
        ASSERT_TRUE(WaitFor([&] { return target->lastMove == inside + QPoint(5, 5); }));
        EXPECT_EQ(target->presses, 0);
        // The framed window closes: a later tick frames what is under the pointer now.
        target.reset();
        ASSERT_TRUE(
            WaitFor([&] { return Framed() == QGuiApplication::primaryScreen()->geometry(); }));
        Xdo({"key", "Escape"});
        ASSERT_TRUE(WaitFor([] { return Showing("WindowPicker") == nullptr; }));
      });
  EXPECT_EQ(engine_->Region(), before);
  EXPECT_EQ(engine_->ScreenRegion(), TScreenRegion::SelObject);
  EXPECT_FALSE(engine_->Recording());
  EXPECT_TRUE(window_->RecBut->isEnabled());
  EXPECT_FALSE(std::filesystem::exists(output_.toStdString()));
}

}  // namespace
}  // namespace orvenna
