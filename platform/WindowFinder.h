#pragma once

#include <cstdint>
#include <vector>

#include "platform/Geometry.h"

namespace orvenna {

// A window of the desktop found under a point.
struct FoundWindow {
  std::uint64_t window = 0;    // the window whose rectangle `outer` is
  std::uint64_t topLevel = 0;  // the top-level window that holds it (the window itself, or the
                               // window manager's frame around it)
  Rect outer;                  // in screen pixels, borders and title bar included
};

// Looks up the window at a point of the screen, as the window picker frames it: the innermost
// window there when it lies inside an application's window (a control), otherwise the
// application's top-level window with the window manager's frame. Where no application window
// is, the desktop itself (the whole screen) is found. UI thread only.
class WindowFinder {
 public:
  virtual ~WindowFinder() = default;

  // False when nothing can be said this time: the window closed during the lookup, the display
  // is gone, or the point lies in one of the `ignored` windows (given as the ids the windows
  // of this program have on the desktop), which are never found.
  virtual bool WindowAt(Point point, const std::vector<std::uint64_t>& ignored,
                        FoundWindow& found) = 0;
};

// The finder of a desktop that tells no program where the others' windows are (Wayland): it
// finds nothing.
class NoWindowFinder final : public WindowFinder {
 public:
  bool WindowAt(Point, const std::vector<std::uint64_t>&, FoundWindow&) override { return false; }
};

}  // namespace orvenna
