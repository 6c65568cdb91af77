#pragma once

#include <memory>

#include "platform/Clock.h"
#include "platform/Platform.h"
#include "platform/PosixFiles.h"
#include "platform/codec/LibavCompressionManager.h"
#include "platform/qt/QtShell.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Screen.h"
#include "selection/SelectionWindows.h"

namespace orvenna {

// The real desktop behind the engine: the X display's screen, cursor and hot keys, POSIX
// files, the steady clock, the Qt shell and windows, and the libavcodec compressors.
// Create and destroy it on the UI thread while the QApplication exists; it must outlive the
// engine that uses it.
class DesktopPlatform {
 public:
  // `screen`: the display ($DISPLAY) as opened by X11Screen::Open.
  explicit DesktopPlatform(std::unique_ptr<X11Screen> screen);
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;

  const Platform& Services() const { return services_; }
  QtShell& Shell() { return shell_; }

 private:
  std::unique_ptr<X11Screen> screen_;
  X11Cursor cursor_{""};
  QtShell shell_;
  X11HotKeys hotKeys_{"", shell_};
  PosixFiles files_;
  SteadyClock clock_;
  QtUiFactory ui_;
  LibavCompressionManager codecs_{shell_};
  Platform services_;
};

}  // namespace orvenna
