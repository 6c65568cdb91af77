// orvenna-wayland-colour-blocks: a full-screen window of solid colour blocks (ColourBlocks.h)
// for the tests that read a Wayland desktop back. Run it with QT_QPA_PLATFORM=wayland. Runs
// until killed.
//
//   orvenna-wayland-colour-blocks [READY_FILE]
//
// With READY_FILE it creates that file once the window has been drawn the first time, so that a
// test can wait until the window is on the screen before opening another one above it.
//
// It draws the same picture again ten times a second: a compositor that sends a screen frame
// only when the screen changes may leave out the last change of the window's opening animation
// (it drops a change that comes too soon after the previous frame), and a later redraw brings
// the finished picture. Its pointer changes shape five times a second: a compositor sends the
// pointer's picture to screen recordings when it changes, so a recording sees one soon after it
// starts.

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>
#include <utility>

#include "tests/tools/ColourBlocks.h"

namespace {

class BlocksWindow : public QRasterWindow {
 public:
  explicit BlocksWindow(QString readyFile) : readyFile_(std::move(readyFile)) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const int width = this->width(), height = this->height();
    using namespace orvenna::test;
    for (int row = 0; row < kBlockRows; ++row) {
      for (int column = 0; column < kBlockColumns; ++column) {
        const int left = BlockStart(column, kBlockColumns, width);
        const int top = BlockStart(row, kBlockRows, height);
        painter.fillRect(left, top, BlockStart(column + 1, kBlockColumns, width) - left,
                         BlockStart(row + 1, kBlockRows, height) - top,
                         QColor::fromRgb(BlockColour(column, row)));
      }
    }
    // Once the first picture has gone to the compositor.
    if (!readyFile_.isEmpty())
      QTimer::singleShot(0, this, [file = std::exchange(readyFile_, QString())] {
        QFile(file).open(QIODevice::WriteOnly);
      });
  }

 private:
  QString readyFile_;
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  BlocksWindow window(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
  window.showFullScreen();
  QTimer shapes;
  QObject::connect(&shapes, &QTimer::timeout, &window, [&window] {
    window.setCursor(window.cursor().shape() == Qt::ArrowCursor ? Qt::CrossCursor
                                                                : Qt::ArrowCursor);
  });
  shapes.start(200);
  QTimer redraw;
  QObject::connect(&redraw, &QTimer::timeout, &window, [&window] { window.update(); });
  redraw.start(100);
  return application.exec();
}
