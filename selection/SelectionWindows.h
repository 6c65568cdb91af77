#pragma once

#include "platform/Windows.h"

namespace orvenna {

// Creates the engine's UI-thread objects on Qt: QtTimer timers and the capture frame window.
// The free-hand and window pickers are not built yet: NewFreeHandPicker and NewObjectPicker
// return null, which the engine treats as a cancelled pick. UI thread only; the objects it
// makes must be destroyed before the QApplication.
class QtUiFactory final : public UiFactory {
 public:
  std::unique_ptr<Timer> NewTimer() override;
  std::unique_ptr<FrameWindow> NewFrameWindow() override;
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override;
  std::unique_ptr<RegionPicker> NewObjectPicker() override;
};

}  // namespace orvenna
