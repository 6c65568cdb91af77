#pragma once

#include <memory>

#include "platform/ScreenRequests.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/qt/QtShell.h"
#include "platform/screencast/PortalScreen.h"
#include "platform/x11/X11Screen.h"
#include "selection/SelectionWindows.h"
#include "ui/Unit1.h"

namespace orvenna {

// The desktop application's platform: the real desktop services with the Qt shell and the
// Qt windows of the region, whose pickers look up windows on the X display, or on a Wayland
// desktop (which tells no program where the other windows are) ask it to share one. Create and
// destroy it on the UI thread while the QApplication exists; it must outlive the engine that uses
// it.
class DesktopPlatform {
 public:
  // On the display ($DISPLAY) as opened by X11Screen::Open.
  explicit DesktopPlatform(std::unique_ptr<X11Screen> screen)
      : DesktopPlatform(OnScreen{}, std::move(screen)) {}
  // On a Wayland desktop's screen sharing.
  explicit DesktopPlatform(std::unique_ptr<PortalScreen> screen)
      : DesktopPlatform(OnScreen{}, std::move(screen)) {}
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

  const Platform& Services() const { return services_.Services(); }
  DesktopServices& Desktop() { return services_; }
  QtShell& Shell() { return shell_; }
  // What the main window must know of the desktop it records.
  RecordedDesktop Recorded() const {
    return RecordedDesktop{.kind = sharing_ ? ScreenKind::Portal : ScreenKind::X11,
                           .sharing = sharing_.get(),
                           .hotKeysProblem = services_.HotKeysProblem()};
  }

 private:
  struct OnScreen {};  // picks the constructor below, for either kind of screen
  template <typename ScreenType>
  DesktopPlatform(OnScreen, std::unique_ptr<ScreenType> screen)
      : services_(std::move(screen), shell_, ui_) {
    if (ScreenSharing* sharing = services_.Sharing())
      sharing_ = std::make_unique<ScreenRequests>(*sharing, shell_);
    ui_.UsePickersOn(services_.Services(), services_.Windows(), sharing_.get());
  }

  QtShell shell_;
  QtUiFactory ui_;
  DesktopServices services_;
  std::unique_ptr<ScreenRequests> sharing_;  // null on the X display
};

}  // namespace orvenna
