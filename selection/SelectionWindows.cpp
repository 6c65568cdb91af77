#include "selection/SelectionWindows.h"

#include "platform/qt/QtTimer.h"
#include "selection/FlashWnd.h"

namespace orvenna {

std::unique_ptr<Timer> QtUiFactory::NewTimer() {
  return std::make_unique<QtTimer>();
}

std::unique_ptr<FrameWindow> QtUiFactory::NewFrameWindow() {
  return std::make_unique<TFlashingWnd>();
}

std::unique_ptr<RegionPicker> QtUiFactory::NewFreeHandPicker() {
  return nullptr;
}

std::unique_ptr<RegionPicker> QtUiFactory::NewObjectPicker() {
  return nullptr;
}

}  // namespace orvenna
