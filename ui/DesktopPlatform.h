#pragma once

#include <memory>

#include "platform/desktop/DesktopServices.h"
#include "platform/qt/QtShell.h"
#include "platform/screencast/PortalScreen.h"
#include "platform/x11/X11Screen.h"
#include "platform/x11/X11WindowFinder.h"
#include "selection/SelectionWindows.h"

namespace orvenna {

// The desktop application's platform: the real desktop services with the Qt shell and the
// Qt windows of the region, whose pickers look up windows on the X display (a Wayland desktop
// tells no program where the other windows are). Create and destroy it on the UI thread while
// the QApplication exists; it must outlive the engine that uses it.
class DesktopPlatform {
 public:
  // On the display ($DISPLAY) as opened by X11Screen::Open.
  explicit DesktopPlatform(std::unique_ptr<X11Screen> screen)
      : DesktopPlatform(std::move(screen), std::make_unique<X11WindowFinder>("")) {}
  // On a Wayland desktop's screen sharing.
  explicit DesktopPlatform(std::unique_ptr<PortalScreen> screen)
      : DesktopPlatform(std::move(screen), std::make_unique<NoWindowFinder>()) {}
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

  const Platform& Services() const { return services_.Services(); }
  DesktopServices& Desktop() { return services_; }
  QtShell& Shell() { return shell_; }

 private:
  template <typename ScreenType>
  DesktopPlatform(std::unique_ptr<ScreenType> screen, std::unique_ptr<WindowFinder> windows)
      : services_(std::move(screen), shell_, ui_), windows_(std::move(windows)) {
    const Platform& services = services_.Services();
    ui_.UsePickerDesktop(PickerDesktop{.shell = shell_,
                                       .screen = services.screen,
                                       .cursor = services.cursor,
                                       .windows = *windows_});
  }

  QtShell shell_;
  QtUiFactory ui_;
  DesktopServices services_;
  std::unique_ptr<WindowFinder> windows_;
};

}  // namespace orvenna
