#pragma once

#include "platform/Screen.h"
#include "platform/ScreenRequests.h"
#include "platform/Windows.h"

namespace orvenna {

// The window picker of a desktop that shares windows only through its own chooser (a Wayland
// desktop): ShowModal asks the desktop to share a window, which the user picks there, and the
// region is that whole window, which is all the screen there is while it is shared. The
// application's windows take no input meanwhile. A Close while the chooser is open cannot
// close the desktop's chooser: its answer is awaited, and the pick ends as Close said.
// UI thread only.
class SharedWindowPicker final : public RegionPicker {
 public:
  SharedWindowPicker(ScreenRequests& sharing, Screen& screen)
      : sharing_(sharing), screen_(screen) {}

  void MakeTopmost() override {}
  ModalResult ShowModal() override;
  void Close(ModalResult result) override;
  void StopTimer() override {}
  // The shared window: 0, 0 and its size.
  Rect Selection() const override;

 private:
  ScreenRequests& sharing_;
  Screen& screen_;
  ModalResult closedWith_ = ModalResult::None;
};

}  // namespace orvenna
