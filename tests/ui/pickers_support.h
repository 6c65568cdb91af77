#pragma once

// Helpers of the region pickers' tests on the real display: a window of four known colours,
// the tools that judge a recording (ffprobe, ffmpeg) and tell what the window manager did
// (xwininfo, xprop), and screenshots kept for a person to look at.

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

namespace orvenna::test {

const QColor kRed(255, 0, 0);

// A window in four colours, one to each quarter (none of them red, the pickers' colour); it
// counts the clicks it gets and notes where the mouse last moved over it.
class Quadrants final : public QWidget {
 public:
  explicit Quadrants(Qt::WindowFlags flags = {}) : QWidget(nullptr, flags) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
  }
  QColor ColourAt(int x, int y) const {
    static const QColor colours[4] = {{0, 0, 200}, {0, 160, 0}, {230, 200, 0}, {180, 0, 180}};
    return colours[(x >= width() / 2 ? 1 : 0) + (y >= height() / 2 ? 2 : 0)];
  }
  int presses = 0;
  QPoint lastMove;  // screen position

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const int w = width() / 2;
    const int h = height() / 2;
    painter.fillRect(0, 0, w, h, ColourAt(0, 0));
    painter.fillRect(w, 0, width() - w, h, ColourAt(w, 0));
    painter.fillRect(0, h, w, height() - h, ColourAt(0, h));
    painter.fillRect(w, h, width() - w, height() - h, ColourAt(w, h));
  }
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void mouseMoveEvent(QMouseEvent* event) override { lastMove = event->globalPosition().toPoint(); }
};

// Runs a tool to its end; its standard output, or a null array when it failed.
inline QByteArray Tool(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
      process.exitCode() != 0) {
    return {};
  }
  const QByteArray out = process.readAllStandardOutput();
  return out.isNull() ? QByteArray("") : out;
}

inline QImage GrabScreen() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage();
}

// Keeps `image` as NAME.png in the folder $ORVENNA_SCREENSHOTS names, when it names one.
inline void KeepScreenshot(const QImage& image, const QString& name) {
  const QString folder = qEnvironmentVariable("ORVENNA_SCREENSHOTS");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  image.save(folder + "/" + name + ".png");
}

// The client area of a top-level window on the screen, and the window manager's frame around
// it (as the manager says); null when either is unknown.
inline QRect ClientRect(const QWidget& window) {
  const QString info = Tool("xwininfo", {"-id", QString::number(window.winId())});
  const auto x = QRegularExpression("upper-left X:\\s+(-?\\d+)").match(info);
  const auto y = QRegularExpression("upper-left Y:\\s+(-?\\d+)").match(info);
  if (!x.hasMatch() || !y.hasMatch()) return {};
  return QRect(x.captured(1).toInt(), y.captured(1).toInt(), window.width(), window.height());
}
inline QRect OuterRect(const QWidget& window) {
  const auto e =
      QRegularExpression("= (\\d+), (\\d+), (\\d+), (\\d+)")
          .match(Tool("xprop", {"-id", QString::number(window.winId()), "_NET_FRAME_EXTENTS"}));
  const QRect client = ClientRect(window);
  if (!e.hasMatch() || client.isNull()) return {};
  return client.adjusted(-e.captured(1).toInt(), -e.captured(3).toInt(), e.captured(2).toInt(),
                         e.captured(4).toInt());
}

// The size of a recording's video as ffprobe reads it, and its last picture as ffmpeg decodes
// it (null when it cannot be read).
inline QSize ProbeSize(const QString& file) {
  const QStringList fields =
      QString(Tool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                               "stream=width,height", "-of", "csv=p=0", file}))
          .trimmed()
          .split(',');
  return fields.size() == 2 ? QSize(fields[0].toInt(), fields[1].toInt()) : QSize();
}
inline QImage LastFrame(const QString& file, QSize size) {
  const QByteArray all =
      Tool("ffmpeg", {"-v", "error", "-i", file, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  const qsizetype bytes = qsizetype{size.width()} * size.height() * 3;
  if (bytes == 0 || all.size() < bytes) return {};
  const QByteArray last = all.right(bytes);
  return QImage(reinterpret_cast<const uchar*>(last.constData()), size.width(), size.height(),
                size.width() * 3, QImage::Format_RGB888)
      .copy();
}

// Pixels of `part` of `picture` that differ from `window`'s pixel at the same place moved by
// `offset`.
inline int Differences(const QImage& picture, const QRect& part, const Quadrants& window,
                       QPoint offset) {
  int count = 0;
  for (int y = part.top(); y <= part.bottom(); ++y) {
    for (int x = part.left(); x <= part.right(); ++x) {
      count += picture.pixelColor(x, y) != window.ColourAt(x + offset.x(), y + offset.y());
    }
  }
  return count;
}

}  // namespace orvenna::test
