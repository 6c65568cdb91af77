#pragma once

#include <memory>
#include <string>

#include "platform/WindowFinder.h"

namespace orvenna {

class X11Connection;

// The window under a point of an X display, over a connection of its own: a descent from the
// root through the mapped windows that contain the point (as the server decides it, shapes
// included), to the deepest one. A window below the application's client window (the one
// the window manager marks with WM_STATE) is a control and is found itself; anywhere else in
// an application's window (the client area, or the title bar and borders of the window
// manager's frame around it) the top-level window is found, with the frame. Protocol errors
// (a window destroyed during the lookup) make the lookup fail instead of ending the program.
// UI thread only: create, use and destroy it there.
class X11WindowFinder final : public WindowFinder {
 public:
  // `displayName` empty: $DISPLAY. The display is opened at the first lookup, and again after
  // the connection was lost.
  explicit X11WindowFinder(std::string displayName);
  ~X11WindowFinder() override;
  X11WindowFinder(const X11WindowFinder&) = delete;
  X11WindowFinder& operator=(const X11WindowFinder&) = delete;

  bool WindowAt(Point point, const std::vector<std::uint64_t>& ignored,
                FoundWindow& found) override;

 private:
  bool Connect();
  // Windows and atoms are Xlib's XIDs, kept out of this header.
  bool HasProperty(unsigned long window, unsigned long property);
  // Whether a window below `top` (down to a few levels) carries WM_STATE: `top` is then a
  // window manager's frame around a client.
  bool FramesAClient(unsigned long top);
  // The window's rectangle on the screen, its border included.
  bool OuterRect(unsigned long window, Rect& outer);
  // Widens a client's rectangle by the frame a non-reparenting window manager draws round it.
  void AddFrameExtents(unsigned long client, Rect& outer);

  const std::string displayName_;
  std::unique_ptr<X11Connection> connection_;
  unsigned long wmState_ = 0;       // the atom WM_STATE
  unsigned long frameExtents_ = 0;  // the atom _NET_FRAME_EXTENTS
};

}  // namespace orvenna
