#include "selection/FlashWnd.h"

#include <QColor>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include "platform/qt/DevicePixels.h"
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
  // The area and the whole geometry are device pixels; the caption's font measures in the
  // window's logical pixels, so its label is the device pixels that cover the text.
  const QFontMetrics metrics(font());
  const QRect text(0, 0, metrics.horizontalAdvance(QString::fromStdString(caption)),
                   metrics.height());
  const FrameLayout layout =
      LayoutFrame(left, top, width, height, cornersOnly, DeviceCover(*this, text).size());
  // The engine places the frame on every tick of its timer; the X server hears only of changes.
  if (placedWindow_ != layout.window) PlaceInDevicePixels(*this, layout.window);
  if (placedShape_ != layout.shape) ShapeInDevicePixels(*this, layout.shape);
  placedWindow_ = layout.window;
  placedShape_ = layout.shape;
  paintRect_ = layout.paint;
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
  const QFontMetrics metrics(font());
  const QRect label(0, 0, metrics.horizontalAdvance(caption_), metrics.height());
  PaintInDevicePixels(painter, *this);
  painter.fillRect(paintRect_, kFrameColour);
  painter.fillRect(DeviceCover(*this, label), kFrameColour);
  painter.resetTransform();  // the text in the font's own (logical) size
  painter.setPen(kCaptionColour);
  painter.drawText(label, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption_);
}

void TFlashingWnd::ShowOnTop() {
  const bool wasHidden = !isVisible();
  show();
  raise();
  // Showing puts the window where Qt's logical geometry says, which on a scaled desktop can be
  // off the device pixels by a fraction of a logical pixel: the place is given again.
  if (wasHidden && placedWindow_) PlaceInDevicePixels(*this, *placedWindow_);
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
