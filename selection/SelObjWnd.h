#pragma once

#include <QTimer>
#include <string>

#include "platform/Windows.h"
#include "selection/FlashWnd.h"
#include "selection/PickerDesktop.h"

namespace orvenna {

// The window picker: every 40 ms it looks up the window under the mouse cursor and lays a red
// frame around that window's outer rectangle, with the caption "Cancel: Esc -- Select:
// Ctrl+Enter" above its top-left corner (the same geometry as the capture frame). It has no
// keys of its own: the engine's Ctrl+Enter and Esc hot keys stop its timer and close it with
// Ok or Cancel, and the engine then takes the rectangle framed at the last tick. The frame
// lets the mouse through and is never picked itself. UI thread only.
class TSelObjWindow final : public RegionPicker {
 public:
  static constexpr int kTickMilliseconds = 40;
  static constexpr const char* kCaption = "Cancel: Esc -- Select: Ctrl+Enter";

  // Starts the tick (it runs once the modal loop serves events).
  explicit TSelObjWindow(const PickerDesktop& desktop);
  // Stops the tick; the frame goes with the picker.
  ~TSelObjWindow() override;

  // RegionPicker.
  void MakeTopmost() override;
  // Frames the window under the cursor at once, then serves the desktop's events (and the
  // ticks) until closed.
  ModalResult ShowModal() override;
  void Close(ModalResult result) override;
  void StopTimer() override;
  // PickLeft, PickTop, PickWidth, PickHeight: the rectangle framed at the last tick that found
  // a window; empty before the first.
  Rect Selection() const override { return pick_; }

  // One tick: the window under the cursor is framed. A lookup that finds nothing (the window
  // closed during it) leaves the last frame as it is until the next tick.
  void Timer1Timer();
  bool TimerRunning() const { return Timer1.isActive(); }
  const TFlashingWnd& Frame() const { return frame_; }

 private:
  PickerDesktop desktop_;
  TFlashingWnd frame_{TFlashingWnd::Mouse::PassesThrough};
  QTimer Timer1;
  Rect pick_;
  ModalResult result_ = ModalResult::None;
};

}  // namespace orvenna
