#include "selection/FrameLayout.h"

#include <algorithm>
#include <cstdlib>

namespace orvenna {
namespace {

constexpr int kOuterMargin = 2;  // from the area's left and top edge to the window's
constexpr int kSizeMargin = 3;   // added to the area's width and height
constexpr int kCornerArm = 20;   // length of each arm of a corner mark

// The rectangle between two corners given with exclusive right and bottom; the coordinates
// are put in ascending order first, so a band whose ends cross still covers the pixels
// between them.
QRect Span(int x1, int y1, int x2, int y2) {
  return QRect(std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1), std::abs(y2 - y1));
}

}  // namespace

FrameLayout LayoutFrame(int left, int top, int width, int height, bool cornersOnly, QSize caption) {
  const int tw = caption.width();
  const int th = caption.height();
  const int ww = width + kSizeMargin;
  const int wh = height + th + kSizeMargin;

  FrameLayout layout;
  layout.window = QRect(left - kOuterMargin, top - th - kOuterMargin, ww, wh);
  layout.paint = QRect(0, th, ww, wh - th);  // empty when the window has no size

  QRegion shape(Span(0, 0, ww, wh));
  shape -= Span(tw, 0, ww, th);                          // right of the caption label
  shape -= Span(1, th + 1, width + 2, height + th + 2);  // inside of the frame
  if (cornersOnly) {
    shape -= Span(0, th + kCornerArm, ww, wh - kCornerArm);  // middles of the left and right
    shape -= Span(kCornerArm, th, ww - kCornerArm, wh);      // middles of the top and bottom
  }
  layout.shape = shape;
  return layout;
}

}  // namespace orvenna
