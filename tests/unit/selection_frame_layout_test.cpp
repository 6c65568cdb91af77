// Where the capture frame goes and which of its pixels show, for areas of every shape.
#include <gtest/gtest.h>

#include <QRect>
#include <QRegion>
#include <initializer_list>

#include "selection/FrameLayout.h"

namespace orvenna {
namespace {

QRegion Union(std::initializer_list<QRect> rects) {
  QRegion region;
  for (const QRect& rect : rects) region += rect;
  return region;
}

// The example area (100, 200, 300, 150) with a caption 80 x 13 pixels: the window is at
// (98, 185), 303 x 166; the line runs on window columns 0 and 302 (screen 98 and 400) and
// window rows 13 and 165 (screen 198 and 350).
TEST(FrameLayoutTest, FullLineAroundTheAreaWithTheCaptionLabelOnTop) {
  const FrameLayout layout = LayoutFrame(100, 200, 300, 150, false, QSize(80, 13));
  EXPECT_EQ(layout.window, QRect(98, 185, 303, 166));
  EXPECT_EQ(layout.paint, QRect(0, 13, 303, 153));
  EXPECT_EQ(
      layout.shape,
      Union(
          {{0, 0, 80, 13}, {0, 13, 303, 1}, {0, 165, 303, 1}, {0, 13, 1, 153}, {302, 13, 1, 153}}));
}

TEST(FrameLayoutTest, CornersOnlyLeavesFourCornerMarksAndTheLabel) {
  const FrameLayout layout = LayoutFrame(100, 200, 300, 150, true, QSize(80, 13));
  EXPECT_EQ(layout.window, QRect(98, 185, 303, 166));
  EXPECT_EQ(layout.shape, Union({{0, 0, 80, 13},  // the caption label
                                 {0, 13, 20, 1},  // top-left
                                 {0, 13, 1, 20},
                                 {283, 13, 20, 1},  // top-right
                                 {302, 13, 1, 20},
                                 {0, 165, 20, 1},  // bottom-left
                                 {0, 146, 1, 20},
                                 {283, 165, 20, 1},  // bottom-right
                                 {302, 146, 1, 20}}));
}

// A side of S pixels keeps a gap of |S - 40| pixels in its middle: arms of S - 20 pixels for S
// from 20 to 40, the whole side at 40, nothing at 20 or less.
TEST(FrameLayoutTest, CornersOnlyOnShortSides) {
  const QSize noCaption(0, 10);
  struct Case {
    int size;        // area width (and height) giving a side of size + 3 pixels
    QRegion topRow;  // what stays of the window's top row of the frame
  } cases[] = {
      {27, Union({{0, 10, 10, 1}, {20, 10, 10, 1}})},  // S = 30: two arms of 10
      {37, Union({{0, 10, 40, 1}})},                   // S = 40: whole side
      {17, QRegion()},                                 // S = 20: gone
      {12, QRegion()},                                 // S = 15: gone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const FrameLayout layout = LayoutFrame(0, 0, c.size, c.size, true, noCaption);
    const int side = c.size + 3;
    EXPECT_EQ(layout.shape & QRect(0, 10, side, 1), c.topRow);
    // The left side runs down from the top row: the same pattern turned by 90 degrees.
    QRegion leftColumn;
    for (const QRect& r : c.topRow) leftColumn += QRect(0, r.left() + 10, 1, r.width());
    EXPECT_EQ(layout.shape & QRect(0, 10, 1, side), leftColumn);
  }
}

TEST(FrameLayoutTest, AreaOfWidthZeroGivesAThreePixelWindowWithBothLines) {
  const FrameLayout layout = LayoutFrame(500, 500, 0, 100, false, QSize(0, 13));
  EXPECT_EQ(layout.window, QRect(498, 485, 3, 116));
  EXPECT_EQ(layout.shape & QRect(0, 14, 3, 101), Union({{0, 14, 1, 101}, {2, 14, 1, 101}}));
}

TEST(FrameLayoutTest, CaptionLabelIsCutAtTheWindowEdgeOrAbsentWhenEmpty) {
  const FrameLayout wide = LayoutFrame(100, 200, 50, 50, false, QSize(500, 13));
  EXPECT_EQ(wide.shape & QRect(0, 0, 1000, 13), QRegion(0, 0, 53, 13));
  const FrameLayout empty = LayoutFrame(100, 200, 50, 50, false, QSize(0, 13));
  EXPECT_TRUE((empty.shape & QRect(0, 0, 1000, 13)).isEmpty());
}

}  // namespace
}  // namespace orvenna
