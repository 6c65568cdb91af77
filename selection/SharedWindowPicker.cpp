#include "selection/SharedWindowPicker.h"

#include "selection/PickerInput.h"

namespace orvenna {

ModalResult SharedWindowPicker::ShowModal() {
  closedWith_ = ModalResult::None;
  const PickerInputOnly modal(nullptr);
  const bool shared = sharing_.Share(SharedSource::Window) == ShareOutcome::Shared;
  if (closedWith_ != ModalResult::None) return closedWith_;
  return shared ? ModalResult::Ok : ModalResult::Cancel;
}

void SharedWindowPicker::Close(ModalResult result) {
  if (closedWith_ == ModalResult::None) closedWith_ = result;
}

Rect SharedWindowPicker::Selection() const {
  const Size size = screen_.ScreenSize();
  return Rect{0, 0, size.width, size.height};
}

}  // namespace orvenna
