#pragma once

#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "platform/Windows.h"
#include "platform/desktop/WaylandSession.h"
#include "selection/PickerDesktop.h"

namespace orvenna {

// Creates the engine's UI-thread objects on Qt: QtTimer timers, the capture frame window, and
// the two region pickers (the free-hand window and the window picker) once it knows the desktop
// they work on; before that NewFreeHandPicker and NewObjectPicker return null, which the
// engine treats as a cancelled pick. On a desktop that shares its screen on request, the frame
// is not drawn and a window is picked in the desktop's own chooser. UI thread only; the objects it
// makes must be destroyed before the QApplication.
class QtUiFactory final : public UiFactory {
 public:
  // The desktop services of the pickers made from now on; they must outlive the pickers.
  void UsePickerDesktop(const PickerDesktop& desktop) { pickerDesktop_.emplace(desktop); }
  // The pickers made from now on work on the desktop of `services` (which must outlive them),
  // of `kind`: on the X display the window picker frames the windows found there; a Wayland
  // desktop tells no program where the other windows are, and a window is picked in its own
  // chooser through `sharing` (when given).
  void UsePickersOn(ScreenKind kind, const Platform& services, ScreenRequests* sharing = nullptr);

  std::unique_ptr<Timer> NewTimer() override;
  std::unique_ptr<FrameWindow> NewFrameWindow() override;
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override;
  std::unique_ptr<RegionPicker> NewObjectPicker() override;

 private:
  std::optional<PickerDesktop> pickerDesktop_;
  std::unique_ptr<WindowFinder> windows_;  // what UsePickersOn's window picker frames
};

}  // namespace orvenna
