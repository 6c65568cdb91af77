#include "platform/qt/DevicePixels.h"

#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <vector>

// After Qt's headers: Xlib's macros (None, Bool, ...) would break them.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

namespace orvenna {
namespace {

// Qt's connection to the X server; null on another window system.
Display* X11Display() {
  const auto* x11 =
      qGuiApp == nullptr ? nullptr : qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 == nullptr ? nullptr : x11->display();
}

// Whole pixels of the other measure from the edges of a span, rounded outwards. The small
// allowance keeps an edge that is whole in both measures (300 / 1.5) from growing by one for
// a rounding error of the division.
int RoundDown(double value) {
  return static_cast<int>(std::floor(value + 1e-6));
}
int RoundUp(double value) {
  return static_cast<int>(std::ceil(value - 1e-6));
}

}  // namespace

bool PlacesOwnWindows() {
  return X11Display() != nullptr;
}

QRect ScaledCover(const QRect& rect, double factor) {
  const int left = RoundDown(rect.x() * factor);
  const int top = RoundDown(rect.y() * factor);
  const int right = RoundUp((rect.x() + rect.width()) * factor);
  const int bottom = RoundUp((rect.y() + rect.height()) * factor);
  return QRect(left, top, right - left, bottom - top);
}

QPoint DevicePoint(const QWidget& window, QPointF logical,
                   const std::function<QPoint()>& readPointer) {
  const double ratio = window.devicePixelRatio();
  const QPoint scaled = (logical * ratio).toPoint();
  if (ratio == 1.0) return scaled;
  const QPoint pointer = readPointer();
  const bool near = std::abs(pointer.x() - logical.x() * ratio) < ratio &&
                    std::abs(pointer.y() - logical.y() * ratio) < ratio;
  return near ? pointer : scaled;
}

QRect LogicalCover(const QWidget& window, const QRect& device) {
  return ScaledCover(device, 1.0 / window.devicePixelRatio());
}

QRect DeviceCover(const QWidget& window, const QRect& logical) {
  return ScaledCover(logical, window.devicePixelRatio());
}

void PaintInDevicePixels(QPainter& painter, const QWidget& window) {
  const double ratio = window.devicePixelRatio();
  painter.setWorldTransform(QTransform::fromScale(1.0 / ratio, 1.0 / ratio));
}

void PlaceInDevicePixels(QWidget& window, const QRect& device) {
  const QRect place(device.topLeft(), device.size().expandedTo(QSize(1, 1)));
  // Qt's own idea of the window, and its only placement on another window system.
  window.setGeometry(LogicalCover(window, place));
  Display* display = X11Display();
  if (display == nullptr) return;
  XMoveResizeWindow(display, static_cast<Window>(window.winId()), place.x(), place.y(),
                    static_cast<unsigned>(place.width()), static_cast<unsigned>(place.height()));
  XFlush(display);
}

void ShapeInDevicePixels(QWidget& window, const QRegion& shape) {
  Display* display = X11Display();
  if (display == nullptr) {
    // An empty mask would mean "no shape" (the whole window shows); a shape with nothing left
    // is given as one pixel outside the window instead.
    QRegion logical;
    for (const QRect& rect : shape) logical += LogicalCover(window, rect);
    window.setMask(logical.isEmpty() ? QRegion(-1, -1, 1, 1) : logical);
    return;
  }
  std::vector<XRectangle> rectangles;
  for (const QRect& rect : shape) {
    rectangles.push_back(XRectangle{static_cast<short>(rect.x()), static_cast<short>(rect.y()),
                                    static_cast<unsigned short>(rect.width()),
                                    static_cast<unsigned short>(rect.height())});
  }
  // No rectangles at all is a shape of nothing: the window shows no pixel.
  XShapeCombineRectangles(display, static_cast<Window>(window.winId()), ShapeBounding, 0, 0,
                          rectangles.data(), static_cast<int>(rectangles.size()), ShapeSet,
                          Unsorted);
  XFlush(display);
}

}  // namespace orvenna
