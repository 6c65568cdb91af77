// The window under a point of the real (virtual) display with its window manager: a control
// inside a window, the window with the manager's frame, the desktop, windows without a manager,
// and windows of our own that are never found.

#include <X11/Xatom.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/x11/X11WindowFinder.h"
#include "tests/integration/x11_test_support.h"

namespace orvenna {
namespace {

using x11test::DisplayPtr;
using x11test::WaitFor;

class X11WindowFinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs DISPLAY";
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_NE(display_, nullptr);
    if (!HasProperty(Root(), "_NET_SUPPORTING_WM_CHECK")) GTEST_SKIP() << "needs a window manager";
  }
  void TearDown() override {
    for (const Window window : windows_) XDestroyWindow(display_.get(), window);
    if (display_) XSync(display_.get(), False);
  }

  Display* X() const { return display_.get(); }
  Window Root() const { return DefaultRootWindow(display_.get()); }

  bool HasProperty(Window window, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(X(), window, XInternAtom(X(), name, False), 0, 4, False, AnyPropertyType,
                       &type, &format, &count, &after, &data);
    if (data != nullptr) XFree(data);
    return type != None;
  }

  // A plain window of one colour; the window manager frames it unless `overrideRedirect`.
  Window Make(Window parent, const Rect& place, unsigned border, bool overrideRedirect) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = overrideRedirect ? True : False;
    attributes.background_pixel = 0x3060A0;
    attributes.border_pixel = 0xFFFF00;
    const Window window = XCreateWindow(
        X(), parent, place.left, place.top, static_cast<unsigned>(place.width),
        static_cast<unsigned>(place.height), border, CopyFromParent, InputOutput, CopyFromParent,
        CWOverrideRedirect | CWBackPixel | CWBorderPixel, &attributes);
    if (parent == Root()) windows_.push_back(window);
    XMapWindow(X(), window);
    XSync(X(), False);
    return window;
  }

  // A framed top-level window once the window manager has taken it.
  Window MakeManaged(const Rect& place) {
    const Window window = Make(Root(), place, 0, false);
    EXPECT_TRUE(WaitFor([&] {
      return HasProperty(window, "WM_STATE") && HasProperty(window, "_NET_FRAME_EXTENTS") &&
             Viewable(window);
    }));
    return window;
  }

  bool Viewable(Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(X(), window, &attributes) && attributes.map_state == IsViewable;
  }

  // The screen position of the inside of `window`.
  Point Origin(Window window) {
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(X(), window, Root(), 0, 0, &x, &y, &child);
    return Point{x, y};
  }

  // The client's rectangle widened by the frame the window manager says it drew.
  Rect FramedRect(Window client, Size size) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(X(), client, XInternAtom(X(), "_NET_FRAME_EXTENTS", False), 0, 4, False,
                       XA_CARDINAL, &type, &format, &count, &after, &data);
    long extents[4] = {0, 0, 0, 0};
    if (data != nullptr && count == 4) {
      for (int i = 0; i < 4; ++i) extents[i] = reinterpret_cast<long*>(data)[i];
    }
    if (data != nullptr) XFree(data);
    const Point origin = Origin(client);
    return Rect{origin.x - static_cast<int>(extents[0]), origin.y - static_cast<int>(extents[2]),
                size.width + static_cast<int>(extents[0] + extents[1]),
                size.height + static_cast<int>(extents[2] + extents[3])};
  }

  DisplayPtr display_;
  std::vector<Window> windows_;
  X11WindowFinder finder_{""};
};

struct Expected {
  const char* name;
  Point at;
  Rect outer;
  unsigned long window;
};

TEST_F(X11WindowFinderTest, FindsControlsFramedWindowsAndTheDesktop) {
  const Window client = MakeManaged(Rect{300, 250, 400, 300});
  // A control: 50 x 40 inside a 2-pixel border, its outer corner at (20, 30) of the client.
  const Window control = Make(client, Rect{20, 30, 50, 40}, 2, false);
  const Point origin = Origin(client);
  const Rect framed = FramedRect(client, Size{400, 300});
  ASSERT_LT(framed.top, origin.y) << "the window manager gave the window no title bar";
  const Size screen{DisplayWidth(X(), DefaultScreen(X())), DisplayHeight(X(), DefaultScreen(X()))};
  Window root = None;
  Window frame = None;
  Window* children = nullptr;
  unsigned count = 0;
  XQueryTree(X(), client, &root, &frame, &children, &count);
  if (children != nullptr) XFree(children);

  const std::vector<Expected> cases = {
      {"on the control",
       {origin.x + 40, origin.y + 50},
       {origin.x + 20, origin.y + 30, 54, 44},
       control},
      {"on the control's border",
       {origin.x + 20, origin.y + 30},
       {origin.x + 20, origin.y + 30, 54, 44},
       control},
      {"in the client area", {origin.x + 200, origin.y + 200}, framed, frame},
      {"on the title bar", {origin.x + 200, (framed.top + origin.y) / 2}, framed, frame},
      {"on the desktop",
       {screen.width - 2, screen.height - 2},
       {0, 0, screen.width, screen.height},
       root},
  };
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.name);
    FoundWindow found;
    ASSERT_TRUE(finder_.WindowAt(c.at, {}, found));
    EXPECT_EQ(found.outer, c.outer);
    EXPECT_EQ(found.window, c.window);
    EXPECT_EQ(found.topLevel, c.window == root ? root : frame);
  }
  // Windows of our own, at the top of the chain or further down, are never found.
  FoundWindow found;
  EXPECT_FALSE(finder_.WindowAt(cases[0].at, {frame}, found));
  EXPECT_FALSE(finder_.WindowAt(cases[0].at, {12345, control}, found));
}

TEST_F(X11WindowFinderTest, WindowsWithoutAManagerHaveTheirChildrenAsControls) {
  // An unmanaged window (as menus and our own frames are) with one child window.
  const Window top = Make(Root(), Rect{900, 200, 200, 150}, 0, true);
  const Window child = Make(top, Rect{10, 10, 30, 20}, 0, false);
  XRaiseWindow(X(), top);
  XSync(X(), False);
  FoundWindow found;
  ASSERT_TRUE(finder_.WindowAt(Point{915, 215}, {}, found));
  EXPECT_EQ(found.window, child);
  EXPECT_EQ(found.outer, (Rect{910, 210, 30, 20}));
  ASSERT_TRUE(finder_.WindowAt(Point{1000, 300}, {}, found));
  EXPECT_EQ(found.window, top);
  EXPECT_EQ(found.outer, (Rect{900, 200, 200, 150}));
  EXPECT_EQ(found.topLevel, top);
}

}  // namespace
}  // namespace orvenna
