#include "platform/desktop/WaylandSession.h"

#include <strings.h>

#include <cstdlib>

namespace orvenna {

bool IsWaylandSession(const char* waylandDisplay, const char* sessionType) {
  if (waylandDisplay != nullptr && *waylandDisplay != '\0') return true;
  return sessionType != nullptr && strcasecmp(sessionType, "wayland") == 0;
}

std::optional<ScreenKind> ChooseScreenKind(const std::string& forced, const char* waylandDisplay,
                                           const char* sessionType, std::string& error) {
  if (strcasecmp(forced.c_str(), "x11") == 0) return ScreenKind::X11;
  if (strcasecmp(forced.c_str(), "portal") == 0) return ScreenKind::Portal;
  if (!forced.empty()) {
    error = "unknown screen \"" + forced +
            "\": use x11 (the X display) or portal (the screen a "
            "Wayland desktop shares)";
    return std::nullopt;
  }
  return IsWaylandSession(waylandDisplay, sessionType) ? ScreenKind::Portal : ScreenKind::X11;
}

std::optional<ScreenKind> ScreenKindOfEnvironment(const std::string& forced, std::string& error) {
  const char* variable = std::getenv("ORVENNA_SCREEN");
  const bool fromVariable = forced.empty() && variable != nullptr;
  const std::string chosen = fromVariable ? variable : forced;
  const std::optional<ScreenKind> kind = ChooseScreenKind(chosen, std::getenv("WAYLAND_DISPLAY"),
                                                          std::getenv("XDG_SESSION_TYPE"), error);
  // The user may not know the variable is set: the message names it.
  if (!kind && fromVariable) error = "the environment variable ORVENNA_SCREEN: " + error;
  return kind;
}

std::string WaylandSessionNote(ScreenKind kind) {
  if (kind != ScreenKind::X11 ||
      !IsWaylandSession(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE")))
    return {};
  // Under Wayland the X display is XWayland, which holds only the windows of X11 programs.
  return "this is a Wayland session, but the X display is recorded (XWayland), which shows only "
         "X11 windows: native Wayland windows come out black. Record through the desktop's "
         "screen sharing instead (leave out --screen x11 and ORVENNA_SCREEN=x11).";
}

}  // namespace orvenna
