#pragma once

#include <QPointF>
#include <QRect>
#include <QRegion>
#include <functional>

class QPainter;
class QWidget;

namespace orvenna {

// Screen positions and sizes are device pixels wherever the engine, the X server and the
// files see them. A Qt window measures in logical pixels instead: device pixels divided by
// the window's device pixel ratio, which is 1 unless the desktop scales (2 at Xft.dpi 192,
// 1.5 with QT_SCALE_FACTOR=1.5). These functions convert between the two for one window and
// put windows on exact device pixels. UI thread only.

// The screen's device pixel of a mouse event at the logical screen position `logical`. Qt
// gives event positions in whole logical pixels, so on a scaled desktop the pointer's device
// position is read (`readPointer`, device pixels) and taken while it still lies within one
// logical pixel of the event's; once the pointer has moved on, the event's position scaled.
QPoint DevicePoint(const QWidget& window, QPointF logical,
                   const std::function<QPoint()>& readPointer);
// Whether the program places its windows on the screen itself (X11). On a Wayland desktop the
// compositor places them; a window covers a monitor there only as a full-screen window.
bool PlacesOwnWindows();
// The smallest rectangle of whole pixels that covers `rect` multiplied by `factor`.
QRect ScaledCover(const QRect& rect, double factor);
// The smallest logical rectangle of `window` that covers the device pixels `device`.
QRect LogicalCover(const QWidget& window, const QRect& device);
// The smallest device rectangle that covers the logical rectangle `logical` of `window`.
QRect DeviceCover(const QWidget& window, const QRect& logical);
// Makes `painter`, open on `window`, draw in the window's device pixels: one unit is one
// screen pixel, and whole coordinates fall on whole pixels at any ratio.
void PaintInDevicePixels(QPainter& painter, const QWidget& window);

// Puts the top-level `window` exactly on the screen's device pixels `device` (at least one
// pixel wide and high). Qt places windows in logical pixels, which at a fractional or odd
// ratio cannot reach every device pixel; on X11 the window is then moved and sized in device
// pixels by the X server itself, and Qt follows from the server's answer.
void PlaceInDevicePixels(QWidget& window, const QRect& device);
// Cuts the top-level `window` down to `shape`, in the window's device pixels; with an empty
// shape nothing of the window shows.
void ShapeInDevicePixels(QWidget& window, const QRegion& shape);

}  // namespace orvenna
