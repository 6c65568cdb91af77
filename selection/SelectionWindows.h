#pragma once

#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "platform/ScreenRequests.h"
#include "platform/WindowFinder.h"
#include "platform/Windows.h"
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
  // The pickers made from now on work on the desktop of `services`, framing the windows that
  // `windows` finds (both must outlive them); on a desktop that shares its screen on request a
  // window is picked in the desktop's own chooser through `sharing` (when given).
  void UsePickersOn(const Platform& services, WindowFinder& windows,
                    ScreenRequests* sharing = nullptr);

  std::unique_ptr<Timer> NewTimer() override;
  std::unique_ptr<FrameWindow> NewFrameWindow() override;
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override;
  std::unique_ptr<RegionPicker> NewObjectPicker() override;

 private:
  std::optional<PickerDesktop> pickerDesktop_;
};

}  // namespace orvenna
