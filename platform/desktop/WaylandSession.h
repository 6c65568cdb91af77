#pragma once

#include <string>

namespace orvenna {

// Whether the desktop session is a Wayland one, from the variables a Wayland session sets
// (WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland); null stands for an unset variable.
bool IsWaylandSession(const char* waylandDisplay, const char* sessionType);

// Empty outside a Wayland session; in one, what it means for a recording and what the user can
// do, in one plain paragraph. Reads the environment.
std::string WaylandSessionNote();

}  // namespace orvenna
