// Screen grabs of the X11 backend on the real (virtual) display: exact pixels, the raster
// operations, areas off the screen, changing sizes, servers without shared memory or with
// another depth, and a server that goes away.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/x11/X11Grabber.h"
#include "platform/x11/X11Screen.h"
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

using x11test::DisplayPtr;
using x11test::PatternWindow;
using x11test::PrivateXServer;

// Checks every pixel of `image`, grabbed from `area`: black off the screen, the window's
// colours (inverted when `inverted`) where the window is; other screen pixels are not known.
void ExpectGrab(const ImageView& image, const Rect& area, Size screen, const PatternWindow& window,
                bool inverted) {
  ASSERT_EQ(image.width, area.width);
  ASSERT_EQ(image.height, area.height);
  ASSERT_GE(image.stride, std::ptrdiff_t{area.width} * 4);
  int wrong = 0;
  std::ostringstream first;
  for (int y = 0; y < area.height; ++y) {
    for (int x = 0; x < area.width; ++x) {
      const int sx = area.left + x;
      const int sy = area.top + y;
      const bool onScreen = sx >= 0 && sy >= 0 && sx < screen.width && sy < screen.height;
      std::uint32_t expected = 0;
      if (onScreen) {
        if (!window.Covers(sx, sy)) continue;
        expected = window.ColourAt(sx, sy) ^ (inverted ? 0x00FFFFFFu : 0u);
      }
      if (image.Pixel(x, y) != expected && wrong++ == 0) {
        first << "screen (" << sx << "," << sy << "): " << std::hex << image.Pixel(x, y)
              << " instead of " << expected;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << "first wrong pixel at " << first.str();
}

class X11GrabberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs DISPLAY";
    std::string error;
    screen_ = X11Screen::Open("", error);
    ASSERT_NE(screen_, nullptr) << error;
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_NE(display_, nullptr);
  }

  // Grabs `area` with `op` and checks it against `window`.
  void GrabAndCheck(ScreenGrabber& grabber, const Rect& area, RasterOp op,
                    const PatternWindow& window) {
    ImageView image;
    ASSERT_TRUE(grabber.Grab(area, op, image));
    ExpectGrab(image, area, screen_->ScreenSize(), window, op == RasterOp::NotSrcCopy);
  }

  std::unique_ptr<X11Screen> screen_;
  DisplayPtr display_;
};

TEST_F(X11GrabberTest, ReadsTheExactPixelsAndTheirInverse) {
  const PatternWindow window(display_.get(), Rect{100, 200, 320, 240});
  ASSERT_TRUE(window.Shown());
  auto grabber = screen_->NewGrabber();
  for (const RasterOp op : {RasterOp::SrcCopy, RasterOp::NotSrcCopy}) {
    SCOPED_TRACE(static_cast<unsigned>(op));
    GrabAndCheck(*grabber, Rect{100, 200, 320, 240}, op, window);
    GrabAndCheck(*grabber, Rect{137, 251, 101, 77}, op, window);  // odd sizes, inside
  }
}

TEST_F(X11GrabberTest, AreasPartlyOffTheScreenAreBlackOutside) {
  const Size screen = screen_->ScreenSize();
  const PatternWindow topLeft(display_.get(), Rect{0, 0, 64, 48});
  const PatternWindow bottomRight(display_.get(),
                                  Rect{screen.width - 64, screen.height - 48, 64, 48});
  ASSERT_TRUE(topLeft.Shown());
  ASSERT_TRUE(bottomRight.Shown());
  auto grabber = screen_->NewGrabber();
  for (const RasterOp op : {RasterOp::SrcCopy, RasterOp::NotSrcCopy}) {
    SCOPED_TRACE(static_cast<unsigned>(op));
    GrabAndCheck(*grabber, Rect{-10, -5, 40, 30}, op, topLeft);
    GrabAndCheck(*grabber, Rect{-10, 7, 40, 30}, op, topLeft);   // off the left edge only
    GrabAndCheck(*grabber, Rect{13, -20, 40, 30}, op, topLeft);  // off the top edge only
    GrabAndCheck(*grabber, Rect{screen.width - 20, screen.height - 10, 50, 30}, op, bottomRight);
  }
}

TEST_F(X11GrabberTest, AreasWhollyOffTheScreenAreBlack) {
  const Size screen = screen_->ScreenSize();
  auto grabber = screen_->NewGrabber();
  for (const Rect& area : {Rect{-200, 10, 100, 50}, Rect{screen.width, screen.height, 30, 30},
                           Rect{10, -100, 20, 100}, Rect{-2000000000, 5, 16, 16}}) {
    for (const RasterOp op : {RasterOp::SrcCopy, RasterOp::NotSrcCopy}) {
      ImageView image;
      ASSERT_TRUE(grabber->Grab(area, op, image));
      ASSERT_EQ(image.width, area.width);
      ASSERT_EQ(image.height, area.height);
      int lit = 0;
      for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) lit += image.Pixel(x, y) != 0;
      }
      EXPECT_EQ(lit, 0) << "area at " << area.left << "," << area.top;
    }
  }
}

TEST_F(X11GrabberTest, GrabsOfChangingSizesKeepOneBufferUntilItMustGrow) {
  const PatternWindow window(display_.get(), Rect{300, 150, 400, 300});
  ASSERT_TRUE(window.Shown());
  X11Grabber grabber("");
  ASSERT_TRUE(grabber.UsesSharedMemory());
  const Size screen = screen_->ScreenSize();
  // Growing twice, then the whole screen, then smaller again.
  const Rect areas[] = {
      Rect{310, 160, 10, 10}, Rect{300, 150, 400, 300}, Rect{0, 0, screen.width, screen.height},
      Rect{320, 170, 20, 5},  Rect{350, 200, 50, 60},   Rect{301, 151, 399, 299}};
  const std::uint8_t* largest = nullptr;
  for (const Rect& area : areas) {
    SCOPED_TRACE(std::to_string(area.width) + "x" + std::to_string(area.height));
    ImageView image;
    ASSERT_TRUE(grabber.Grab(area, RasterOp::SrcCopy, image));
    ExpectGrab(image, area, screen, window, false);
    if (area.width == screen.width) largest = image.pixels;
    if (largest != nullptr) {
      EXPECT_EQ(image.pixels, largest) << "smaller grabs reuse the buffer";
    }
  }
}

// Repeated grabs of one area read again only what changed; each must still equal a plain read
// of the screen: after drawing into a window, a window coming, moving and going, the caller
// drawing into the image (and saying so), and a change of raster operation.
TEST_F(X11GrabberTest, RepeatedGrabsFollowEveryChange) {
  const Rect area{100, 200, 320, 240};
  PatternWindow window(display_.get(), area);
  ASSERT_TRUE(window.Shown());
  Display* display = display_.get();
  const int screen = DefaultScreen(display);
  X11Grabber grabber("");
  RasterOp op = RasterOp::SrcCopy;
  const auto expectScreen = [&](const char* step) {
    SCOPED_TRACE(step);
    XSync(display, False);
    ImageView image;
    ASSERT_TRUE(grabber.Grab(area, op, image));
    XImage* plain = XGetImage(display, DefaultRootWindow(display), area.left, area.top,
                              static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                              AllPlanes, ZPixmap);
    ASSERT_NE(plain, nullptr);
    const std::uint32_t flip = op == RasterOp::NotSrcCopy ? 0x00FFFFFFu : 0;
    int wrong = 0;
    for (int y = 0; y < area.height; ++y) {
      for (int x = 0; x < area.width; ++x) {
        wrong += (image.Pixel(x, y) & 0xFFFFFF) != ((XGetPixel(plain, x, y) & 0xFFFFFF) ^ flip);
      }
    }
    XDestroyImage(plain);
    EXPECT_EQ(wrong, 0);
  };
  expectScreen("first grab");
  expectScreen("nothing changed");
  XSetForeground(display, DefaultGC(display, screen), 0x123456);
  XFillRectangle(display, window.window(), DefaultGC(display, screen), 30, 50, 40, 7);
  XFillRectangle(display, window.window(), DefaultGC(display, screen), 200, 180, 9, 60);
  expectScreen("two rectangles drawn into the window");
  {
    const PatternWindow above(display, Rect{250, 300, 60, 40});
    ASSERT_TRUE(above.Shown());
    expectScreen("a window came");
    XMoveWindow(display, above.window(), 50, 150);
    expectScreen("it moved partly out of the area");
  }
  expectScreen("it went");
  {
    ImageView image;
    ASSERT_TRUE(grabber.Grab(area, op, image));
    for (int y = 10; y < 20; ++y) std::memset(image.pixels + image.stride * y + 40, 0xEE, 64);
    grabber.Touched(Rect{10, 10, 16, 10});
  }
  expectScreen("the caller drew into the image");
  op = RasterOp::NotSrcCopy;
  expectScreen("inverted");
  XFillRectangle(display, window.window(), DefaultGC(display, screen), 0, 0, 320, 3);
  expectScreen("inverted, after drawing");
}

TEST_F(X11GrabberTest, EmptyAreasSucceedWithEmptyImages) {
  auto grabber = screen_->NewGrabber();
  for (const Rect& area : {Rect{10, 10, 0, 5}, Rect{10, 10, 5, 0}, Rect{-50, 3000, 0, 0}}) {
    ImageView image;
    ASSERT_TRUE(grabber->Grab(area, RasterOp::SrcCopy, image));
    EXPECT_EQ(image.width, area.width);
    EXPECT_EQ(image.height, area.height);
  }
}

TEST_F(X11GrabberTest, GrabbersOfTwoThreadsWorkSideBySide) {
  const PatternWindow window(display_.get(), Rect{500, 500, 200, 100});
  ASSERT_TRUE(window.Shown());
  const auto grabMany = [this, &window](const Rect& area) {
    auto grabber = screen_->NewGrabber();
    for (int i = 0; i < 40; ++i) {
      GrabAndCheck(*grabber, Rect{area.left, area.top, area.width + i, area.height},
                   i % 2 ? RasterOp::NotSrcCopy : RasterOp::SrcCopy, window);
    }
  };
  std::thread other(grabMany, Rect{500, 500, 100, 100});
  grabMany(Rect{520, 510, 60, 80});
  other.join();
}

TEST(X11ScreenTest, ABadDisplayNameGivesAClearError) {
  std::string error;
  EXPECT_EQ(X11Screen::Open(":999", error), nullptr);
  EXPECT_NE(error.find("cannot open the X display ':999'"), std::string::npos) << error;
  EXPECT_NE(error.find("DISPLAY"), std::string::npos) << error;

  X11Grabber grabber(":999");
  ImageView image;
  EXPECT_FALSE(grabber.Grab(Rect{0, 0, 10, 10}, RasterOp::SrcCopy, image));
  EXPECT_EQ(grabber.Error(), error);
}

TEST(X11ScreenTest, ADisplayOfAnotherDepthIsRefusedWithAClearError) {
  PrivateXServer server({"-screen", "0", "640x480x16"});
  ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
  std::string error;
  EXPECT_EQ(X11Screen::Open(server.name(), error), nullptr);
  EXPECT_NE(error.find("16-bit colour"), std::string::npos) << error;
  EXPECT_NE(error.find("depth 24"), std::string::npos) << error;

  X11Grabber grabber(server.name());
  ImageView image;
  EXPECT_FALSE(grabber.Grab(Rect{0, 0, 10, 10}, RasterOp::SrcCopy, image));
}

TEST(X11ScreenTest, WithoutSharedMemoryGrabsReadThePixelsPlainly) {
  PrivateXServer server({"-screen", "0", "640x480x24", "-extension", "MIT-SHM"});
  ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
  std::string error;
  auto screen = X11Screen::Open(server.name(), error);
  ASSERT_NE(screen, nullptr) << error;
  EXPECT_EQ(screen->ScreenSize(), (Size{640, 480}));
  DisplayPtr display(XOpenDisplay(server.name().c_str()));
  const PatternWindow window(display.get(), Rect{600, 0, 40, 30});
  ASSERT_TRUE(window.Shown());

  X11Grabber grabber(server.name());
  EXPECT_FALSE(grabber.UsesSharedMemory());
  for (const RasterOp op : {RasterOp::SrcCopy, RasterOp::NotSrcCopy}) {
    for (const Rect& area : {Rect{600, 0, 40, 30}, Rect{610, -8, 50, 20}, Rect{700, 5, 9, 9}}) {
      ImageView image;
      ASSERT_TRUE(grabber.Grab(area, op, image));
      ExpectGrab(image, area, Size{640, 480}, window, op == RasterOp::NotSrcCopy);
    }
  }
}

TEST(X11ScreenTest, ALostServerFailsTheGrabInsteadOfEndingTheProcess) {
  PrivateXServer server({"-screen", "0", "320x240x24"});
  ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
  X11Grabber grabber(server.name());
  ImageView image;
  ASSERT_TRUE(grabber.Grab(Rect{0, 0, 32, 32}, RasterOp::SrcCopy, image));
  server.Stop();
  EXPECT_FALSE(grabber.Grab(Rect{0, 0, 32, 32}, RasterOp::SrcCopy, image));
  EXPECT_FALSE(grabber.Grab(Rect{0, 0, 64, 64}, RasterOp::SrcCopy, image));
}

}  // namespace
}  // namespace orvenna
