#include "platform/desktop/WaylandSession.h"

#include <strings.h>

#include <cstdlib>

namespace orvenna {

bool IsWaylandSession(const char* waylandDisplay, const char* sessionType) {
  if (waylandDisplay != nullptr && *waylandDisplay != '\0') return true;
  return sessionType != nullptr && strcasecmp(sessionType, "wayland") == 0;
}

std::string WaylandSessionNote() {
  if (!IsWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"))) return {};
  // The recorder grabs the X display; under Wayland that is XWayland, which holds only the
  // windows of X11 programs.
  return "this is a Wayland session: Orvenna records through XWayland, which shows only X11 "
         "windows, so native Wayland windows come out black. To record them, log in to an X11 "
         "session (such as \"GNOME on Xorg\" on the login screen), or start the program to "
         "record as an X11 client (for Qt programs QT_QPA_PLATFORM=xcb, for GTK programs "
         "GDK_BACKEND=x11).";
}

}  // namespace orvenna
