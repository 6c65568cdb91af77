#pragma once

#include <memory>

#include "platform/desktop/DesktopServices.h"
#include "platform/qt/QtShell.h"
#include "selection/SelectionWindows.h"

namespace orvenna {

// The desktop application's platform: the real desktop services with the Qt shell and the
// Qt windows of the region. Create and destroy it on the UI thread while the QApplication
// exists; it must outlive the engine that uses it.
class DesktopPlatform {
 public:
  // `screen`: the display ($DISPLAY) as opened by X11Screen::Open.
  explicit DesktopPlatform(std::unique_ptr<X11Screen> screen)
      : services_(std::move(screen), shell_, ui_) {}
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

  const Platform& Services() const { return services_.Services(); }
  QtShell& Shell() { return shell_; }

 private:
  QtShell shell_;
  QtUiFactory ui_;
  DesktopServices services_;
};

}  // namespace orvenna
