#pragma once

#include <optional>
#include <string>

namespace orvenna {

// Where the screen is read: the X display, or the screen a Wayland desktop shares through its
// ScreenCast portal.
enum class ScreenKind { X11, Portal };

// Whether the desktop session is a Wayland one, from the variables a Wayland session sets
// (WAYLAND_DISPLAY, XDG_SESSION_TYPE=wayland); null stands for an unset variable.
bool IsWaylandSession(const char* waylandDisplay, const char* sessionType);

// The screen to record: `forced` ("x11" or "portal" in any case, from the command line or
// ORVENNA_SCREEN) when given, else the portal in a Wayland session and the X display elsewhere.
// Empty, with `error`, for any other word.
std::optional<ScreenKind> ChooseScreenKind(const std::string& forced, const char* waylandDisplay,
                                           const char* sessionType, std::string& error);
// The same, from ORVENNA_SCREEN and the session's variables when `forced` is empty; an `error`
// about the variable's value names the variable.
std::optional<ScreenKind> ScreenKindOfEnvironment(const std::string& forced, std::string& error);

// Empty unless the X display is recorded in a Wayland session; then what that means for a
// recording, in one plain paragraph. Reads the environment.
std::string WaylandSessionNote(ScreenKind kind);

}  // namespace orvenna
