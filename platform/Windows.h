#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Geometry.h"
#include "platform/Timer.h"

namespace orvenna {

// The thin frame drawn around the capture region. UI thread only.
class FrameWindow {
 public:
  virtual ~FrameWindow() = default;
  // Places and shapes the window around the area (left, top, width, height).
  virtual void PlaceFrame(int left, int top, int width, int height, bool cornersOnly,
                          const std::string& caption) = 0;
  // Paints the frame line and the caption label; `colour` is 0x00BBGGRR.
  virtual void PaintFrame(std::uint32_t colour, const std::string& caption) = 0;
  // Shows the window without activating it and puts it on top of all windows.
  virtual void ShowOnTop() = 0;
  virtual void Hide() = 0;
  virtual bool IsShowing() const = 0;
  // Brings the window back after the application was minimised.
  virtual void Restore() = 0;
};

enum class ModalResult { None, Ok, Cancel };

// A window in which the user picks a region (dragged out, or a window under the cursor).
// UI thread only.
class RegionPicker {
 public:
  virtual ~RegionPicker() = default;
  virtual void MakeTopmost() = 0;
  // Shows the window and returns when it closes.
  virtual ModalResult ShowModal() = 0;
  virtual void Close(ModalResult result) = 0;
  // Stops the picker's own tracking timer (pickers without one ignore this).
  virtual void StopTimer() = 0;
  // The picked region in screen pixels.
  virtual Rect Selection() const = 0;
};

// Creates the UI-thread objects the engine owns. UI thread only.
class UiFactory {
 public:
  virtual ~UiFactory() = default;
  virtual std::unique_ptr<Timer> NewTimer() = 0;
  virtual std::unique_ptr<FrameWindow> NewFrameWindow() = 0;
  virtual std::unique_ptr<RegionPicker> NewFreeHandPicker() = 0;
  virtual std::unique_ptr<RegionPicker> NewObjectPicker() = 0;
};

}  // namespace orvenna
