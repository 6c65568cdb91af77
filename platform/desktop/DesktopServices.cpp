#include "platform/desktop/DesktopServices.h"

#include "platform/UnavailableHotKeys.h"
#include "platform/portal/PortalHotKeys.h"
#include "platform/screencast/KeptChoice.h"
#include "platform/screencast/PortalScreen.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Screen.h"
#include "platform/x11/X11WindowFinder.h"

namespace orvenna {

std::unique_ptr<DesktopServices> DesktopServices::Open(ScreenKind kind, Shell& shell, UiFactory& ui,
                                                       std::string& error) {
  if (kind == ScreenKind::Portal) {
    auto screen = std::make_unique<PortalScreen>(
        PortalScreen::Options{.keptChoicePath = DefaultKeptChoicePath()});
    return std::make_unique<DesktopServices>(std::move(screen), shell, ui);
  }
  auto screen = X11Screen::Open("", error);
  if (!screen) return nullptr;
  return std::make_unique<DesktopServices>(std::move(screen), shell, ui);
}

namespace {

DesktopServices::ScreenParts X11Parts(std::unique_ptr<X11Screen> screen, Shell& shell) {
  return {std::move(screen), std::make_unique<X11Cursor>(""),
          std::make_unique<X11HotKeys>("", shell), nullptr, ""};
}

// The global keys come from the desktop's GlobalShortcuts portal where it has one.
DesktopServices::ScreenParts PortalParts(std::unique_ptr<PortalScreen> screen, Shell& shell) {
  DesktopServices::ScreenParts parts;
  parts.cursor = std::make_unique<PortalCursor>(*screen);
  std::string problem;
  parts.hotKeys = PortalHotKeys::Open(shell, problem);
  if (!parts.hotKeys) {
    parts.hotKeys = std::make_unique<UnavailableHotKeys>();
    parts.hotKeysProblem =
        "the global keys (Shift+Esc to stop, Esc to cancel, Ctrl+Enter to "
        "confirm) are not available: " +
        problem;
  }
  parts.sharing = screen.get();
  parts.screen = std::move(screen);
  return parts;
}

}  // namespace

DesktopServices::DesktopServices(std::unique_ptr<X11Screen> screen, Shell& shell, UiFactory& ui)
    : DesktopServices(X11Parts(std::move(screen), shell), shell, ui) {}

DesktopServices::DesktopServices(std::unique_ptr<PortalScreen> screen, Shell& shell, UiFactory& ui)
    : DesktopServices(PortalParts(std::move(screen), shell), shell, ui) {}

DesktopServices::~DesktopServices() = default;

DesktopServices::DesktopServices(ScreenParts parts, Shell& shell, UiFactory& ui)
    : screen_(std::move(parts.screen)),
      cursor_(std::move(parts.cursor)),
      hotKeys_(std::move(parts.hotKeys)),
      sharing_(parts.sharing),
      hotKeysProblem_(std::move(parts.hotKeysProblem)),
      codecs_(shell),
      mixer_([&shell](std::function<void()> work) { shell.PostToUiThread(std::move(work)); }),
      services_{
          .screen = *screen_,
          .cursor = *cursor_,
          .hotKeys = *hotKeys_,
          .files = files_,
          .clock = clock_,
          .shell = shell,
          .ui = ui,
          .codecs = codecs_,
          .waveIn = waveIn_,
          .mixer = mixer_,
          .audioConverter = audioConverter_,
          .containers = containers_,
      } {}

WindowFinder& DesktopServices::Windows() {
  if (!windows_) {
    if (sharing_) {
      windows_ = std::make_unique<NoWindowFinder>();
    } else {
      windows_ = std::make_unique<X11WindowFinder>("");
    }
  }
  return *windows_;
}

}  // namespace orvenna
