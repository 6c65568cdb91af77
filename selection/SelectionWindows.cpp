#include "selection/SelectionWindows.h"

#include "platform/NoFrameWindow.h"
#include "platform/qt/QtTimer.h"
#include "selection/FlashWnd.h"
#include "selection/FreeHandWnd.h"
#include "selection/SelObjWnd.h"
#include "selection/SharedWindowPicker.h"

namespace orvenna {

void QtUiFactory::UsePickersOn(const Platform& services, WindowFinder& windows,
                               ScreenRequests* sharing) {
  UsePickerDesktop(PickerDesktop{.shell = services.shell,
                                 .screen = services.screen,
                                 .cursor = services.cursor,
                                 .windows = windows,
                                 .sharing = sharing});
}

std::unique_ptr<Timer> QtUiFactory::NewTimer() {
  return std::make_unique<QtTimer>();
}

std::unique_ptr<FrameWindow> QtUiFactory::NewFrameWindow() {
  if (pickerDesktop_ && pickerDesktop_->sharing) return std::make_unique<NoFrameWindow>();
  return std::make_unique<TFlashingWnd>();
}

std::unique_ptr<RegionPicker> QtUiFactory::NewFreeHandPicker() {
  if (!pickerDesktop_) return nullptr;
  return std::make_unique<TFreeHandWindow>(*pickerDesktop_);
}

std::unique_ptr<RegionPicker> QtUiFactory::NewObjectPicker() {
  if (!pickerDesktop_) return nullptr;
  if (pickerDesktop_->sharing)
    return std::make_unique<SharedWindowPicker>(*pickerDesktop_->sharing, pickerDesktop_->screen);
  return std::make_unique<TSelObjWindow>(*pickerDesktop_);
}

}  // namespace orvenna
