#pragma once

#include <memory>

#include "cli/CliLoop.h"
#include "platform/Platform.h"
#include "platform/desktop/DesktopServices.h"
#include "platform/desktop/WaylandSession.h"
#include "selection/SelectionWindows.h"

class QApplication;

namespace orvenna {

// The window factory of orvenna-cli when the user picks the region with the mouse: the loop's
// timers and (invisible) frame window, and the Qt pickers on the display. Construct on the
// main thread before the desktop services (which keep a reference to it), Attach once they
// exist; destroy after the engine.
class CliPickers final : public UiFactory {
 public:
  explicit CliPickers(CliLoop& loop);
  ~CliPickers() override;
  CliPickers(const CliPickers&) = delete;
  CliPickers& operator=(const CliPickers&) = delete;

  // Starts Qt on the desktop `desktop` records (of `kind`: the X display $DISPLAY, or the
  // Wayland desktop), gives the pickers its services, and has the loop serve Qt's events
  // (ServeWindowEvents) from now on.
  void Attach(DesktopServices& desktop, ScreenKind kind);
  // Handles the pickers' pending window events; for a loop's event pump.
  static void ServeWindowEvents();

  std::unique_ptr<Timer> NewTimer() override { return loop_.NewTimer(); }
  std::unique_ptr<FrameWindow> NewFrameWindow() override { return loop_.NewFrameWindow(); }
  // Null before Attach (the engine takes that as a cancelled pick).
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override;
  std::unique_ptr<RegionPicker> NewObjectPicker() override;

 private:
  CliLoop& loop_;
  int argc_ = 1;
  char name_[12] = "orvenna-cli";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
  std::unique_ptr<QtUiFactory> qt_;  // made after the application
};

}  // namespace orvenna
