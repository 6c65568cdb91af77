#include "selection/FlashWnd.h"

#include <QColor>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include "selection/FrameLayout.h"

namespace orvenna {
namespace {

const QColor kFrameColour(255, 0, 0);
const QColor kCaptionColour(255, 255, 255);

}  // namespace

TFlashingWnd::TFlashingWnd(Mouse mouse)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint |
                           (mouse == Mouse::PassesThrough ? Qt::WindowTransparentForInput
                                                          : Qt::WindowFlags())) {
  // The window manager stays out: no decoration, the exact position even partly off the
  // screen, and no window manager layer that could put a full-screen window above the frame.
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(0, 16, 300, 300);
}

void TFlashingWnd::PlaceFrame(int left, int top, int width, int height, bool cornersOnly,
                              const std::string& caption) {
  const QFontMetrics metrics(font());
  const QSize text(metrics.horizontalAdvance(QString::fromStdString(caption)), metrics.height());
  const FrameLayout layout = LayoutFrame(left, top, width, height, cornersOnly, text);
  setGeometry(layout.window);
  paintRect_ = layout.paint;
  // An empty mask would mean "no shape" (the whole window shows); a shape with nothing left
  // is given as one pixel outside the window instead, so that nothing of it shows.
  setMask(layout.shape.isEmpty() ? QRegion(-1, -1, 1, 1) : layout.shape);
}

void TFlashingWnd::PaintFrame(std::uint32_t /*colour*/, const std::string& caption) {
  if (paintRect_.isEmpty()) return;
  const QString text = QString::fromStdString(caption);
  // The window keeps its drawing and Qt redraws it when uncovered, so a tick that changes
  // nothing needs no painting: that saves most of the cost of a large frame every 10 ms.
  if (painted_ && text == caption_ && paintRect_ == paintedRect_) return;
  caption_ = text;
  paintedRect_ = paintRect_;
  painted_ = true;
  update();
}

void TFlashingWnd::paintEvent(QPaintEvent* /*event*/) {
  if (!painted_) return;
  QPainter painter(this);
  painter.fillRect(paintRect_, kFrameColour);
  const QFontMetrics metrics(font());
  const QRect label(0, 0, metrics.horizontalAdvance(caption_), metrics.height());
  painter.fillRect(label, kFrameColour);
  painter.setPen(kCaptionColour);
  painter.drawText(label, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption_);
}

void TFlashingWnd::ShowOnTop() {
  show();
  raise();
}

void TFlashingWnd::Hide() {
  hide();
}

bool TFlashingWnd::IsShowing() const {
  return isVisible();
}

void TFlashingWnd::Restore() {
  if (isMinimized()) showNormal();
}

}  // namespace orvenna
