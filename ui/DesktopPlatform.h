#pragma once

#include <memory>

#include "platform/desktop/DesktopServices.h"
#include "platform/qt/QtShell.h"
#include "platform/x11/X11WindowFinder.h"
#include "selection/SelectionWindows.h"

namespace orvenna {

// The desktop application's platform: the real desktop services with the Qt shell and the
// Qt windows of the region, whose pickers look up windows on the X display. Create and destroy
// it on the UI thread while the QApplication exists; it must outlive the engine that uses it.
class DesktopPlatform {
 public:
  // `screen`: the display ($DISPLAY) as opened by X11Screen::Open.
  explicit DesktopPlatform(std::unique_ptr<X11Screen> screen)
      : services_(std::move(screen), shell_, ui_) {
    const Platform& services = services_.Services();
    ui_.UsePickerDesktop(PickerDesktop{.shell = shell_,
                                       .screen = services.screen,
                                       .cursor = services.cursor,
                                       .windows = windows_});
  }
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

  const Platform& Services() const { return services_.Services(); }
  QtShell& Shell() { return shell_; }

 private:
  QtShell shell_;
  QtUiFactory ui_;
  DesktopServices services_;
  X11WindowFinder windows_{""};
};

}  // namespace orvenna
