#pragma once

#include <QRect>
#include <QRegion>
#include <QSize>

namespace orvenna {

// Where the capture frame window goes and what of it shows, for a screen area and the size of
// its caption text. The frame line is one pixel wide on screen columns left - 2 and
// left + width and rows top - 2 and top + height; the caption label sits on top of it at the
// left. Pure geometry, callable from any thread.
struct FrameLayout {
  QRect window;   // the window's screen geometry
  QRect paint;    // the rectangle filled with the frame colour, in window coordinates
  QRegion shape;  // the visible (and clickable) part of the window, in window coordinates
};

// `caption` is the caption text's advance width and line height in the window's font.
// With `cornersOnly` just the caption label and four corner marks of 20-pixel arms remain.
FrameLayout LayoutFrame(int left, int top, int width, int height, bool cornersOnly, QSize caption);

}  // namespace orvenna
