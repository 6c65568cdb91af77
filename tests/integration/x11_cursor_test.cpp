// The mouse cursor of the X11 backend on the real (virtual) display: position, image and hot
// spot, drawn into a grab where the pointer is; other threads; a server that goes away.

#include <X11/cursorfont.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/Cursor.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11Grabber.h"
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

using x11test::DisplayPtr;
using x11test::PatternWindow;
using x11test::PrivateXServer;

class X11CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs DISPLAY";
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_NE(display_, nullptr);
  }

  // Moves the pointer to `point` and waits until the server has done so.
  void MovePointer(Point point) {
    XWarpPointer(display_.get(), 0, DefaultRootWindow(display_.get()), 0, 0, 0, 0, point.x,
                 point.y);
    XSync(display_.get(), False);
    ASSERT_TRUE(x11test::WaitFor([&] { return cursor_.Position() == point; }));
  }

  DisplayPtr display_;
  X11Cursor cursor_{""};
};

TEST_F(X11CursorTest, TheImageDrawnIntoAGrabPutsItsHotSpotOnThePointer) {
  const PatternWindow window(display_.get(), Rect{200, 200, 300, 300});
  ASSERT_TRUE(window.Shown());
  // The cross-hair's hot spot is an opaque pixel at the crossing.
  XDefineCursor(display_.get(), window.window(), XCreateFontCursor(display_.get(), XC_crosshair));
  const Point pointer{350, 340};
  MovePointer(pointer);

  CursorImage cursor;
  ASSERT_TRUE(cursor_.Query(cursor));
  EXPECT_EQ(cursor.position, pointer);
  ASSERT_GT(cursor.width, 0);
  ASSERT_GT(cursor.height, 0);
  ASSERT_EQ(cursor.argb.size(), std::size_t(cursor.width) * cursor.height);
  ASSERT_GE(cursor.hotSpot.x, 0);
  ASSERT_LT(cursor.hotSpot.x, cursor.width);
  ASSERT_GE(cursor.hotSpot.y, 0);
  ASSERT_LT(cursor.hotSpot.y, cursor.height);
  const std::uint32_t hot =
      cursor.argb[std::size_t(cursor.hotSpot.y) * cursor.width + cursor.hotSpot.x];
  EXPECT_EQ(hot >> 24, 255u);
  for (const std::uint32_t pixel : cursor.argb) {
    const std::uint32_t alpha = pixel >> 24;
    ASSERT_TRUE(((pixel >> 16) & 0xFF) <= alpha && ((pixel >> 8) & 0xFF) <= alpha &&
                (pixel & 0xFF) <= alpha)
        << "not premultiplied: " << std::hex << pixel;
  }

  // Drawn into a grab around the pointer, opaque cursor pixels replace the window's and
  // transparent ones leave it.
  const Rect area{300, 290, 100, 100};
  X11Grabber grabber("");
  ImageView image;
  ASSERT_TRUE(grabber.Grab(area, RasterOp::SrcCopy, image));
  DrawCursor(cursor, Point{area.left, area.top}, image);
  EXPECT_EQ(image.Pixel(pointer.x - area.left, pointer.y - area.top), hot & 0xFFFFFF);
  int opaque = 0;
  int wrong = 0;
  for (int y = 0; y < cursor.height; ++y) {
    for (int x = 0; x < cursor.width; ++x) {
      const int sx = pointer.x - cursor.hotSpot.x + x;
      const int sy = pointer.y - cursor.hotSpot.y + y;
      const std::uint32_t pixel = cursor.argb[std::size_t(y) * cursor.width + x];
      const std::uint32_t drawn = image.Pixel(sx - area.left, sy - area.top);
      if (pixel >> 24 == 255) {
        ++opaque;
        wrong += drawn != (pixel & 0xFFFFFF);
      } else if (pixel >> 24 == 0) {
        wrong += drawn != window.ColourAt(sx, sy);
      }
    }
  }
  EXPECT_GT(opaque, 10);
  EXPECT_EQ(wrong, 0);
}

TEST_F(X11CursorTest, OtherThreadsReadItOverTheirOwnConnections) {
  const Point pointer{640, 480};
  MovePointer(pointer);
  bool queried = false;
  CursorImage cursor;
  Point position;
  std::thread reader([&] {
    queried = cursor_.Query(cursor);
    position = cursor_.Position();
  });
  reader.join();
  EXPECT_TRUE(queried);
  EXPECT_EQ(cursor.position, pointer);
  EXPECT_EQ(position, pointer);
}

TEST(X11CursorServerTest, AMissingOrLostServerFailsTheQuery) {
  CursorImage cursor;
  EXPECT_FALSE(X11Cursor(":999").Query(cursor));

  PrivateXServer server({"-screen", "0", "320x240x24"});
  ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
  X11Cursor lost(server.name());
  ASSERT_TRUE(lost.Query(cursor));
  EXPECT_EQ(cursor.position, (Point{160, 120}));  // a new server centres the pointer
  server.Stop();
  EXPECT_FALSE(lost.Query(cursor));
  EXPECT_EQ(lost.Position(), (Point{}));
}

}  // namespace
}  // namespace orvenna
