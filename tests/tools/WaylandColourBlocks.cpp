// orvenna-wayland-colour-blocks: a full-screen window of solid colour blocks (ColourBlocks.h)
// for the tests that read a Wayland desktop back. Run it with QT_QPA_PLATFORM=wayland. Runs
// until killed. Its pointer changes shape five times a second: a compositor sends the pointer's
// picture to screen recordings when it changes, so a recording sees one soon after it starts.

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>

#include "tests/tools/ColourBlocks.h"

namespace {

class BlocksWindow : public QRasterWindow {
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
  }
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  BlocksWindow window;
  window.showFullScreen();
  QTimer shapes;
  QObject::connect(&shapes, &QTimer::timeout, &window, [&window] {
    window.setCursor(window.cursor().shape() == Qt::ArrowCursor ? Qt::CrossCursor
                                                                : Qt::ArrowCursor);
  });
  shapes.start(200);
  return application.exec();
}
