#pragma once

#include "platform/Cursor.h"
#include "platform/Screen.h"
#include "platform/ScreenRequests.h"
#include "platform/Shell.h"
#include "platform/WindowFinder.h"

namespace orvenna {

// The desktop services the region pickers work with; they must outlive every picker.
struct PickerDesktop {
  Shell& shell;           // its ProcessEventsUntil is a picker's modal loop, which also serves
                          // the engine's hot keys
  Screen& screen;         // the free-hand window's size and still image
  Cursor& cursor;         // where the window picker looks
  WindowFinder& windows;  // what the window picker frames
  // A desktop that shares its screen only on request (Wayland): a window is picked in the
  // desktop's own chooser, and no program can place a frame around the region. Null on X11.
  ScreenRequests* sharing = nullptr;
};

}  // namespace orvenna
