#pragma once

#include <memory>
#include <string>

#include "platform/Screen.h"

namespace orvenna {

// The screen of an X display: its size as of opening, and grabbers that each open a
// connection of their own. Any thread.
class X11Screen : public Screen {
 public:
  // Null with `error` set when the display (empty name: $DISPLAY) cannot be opened or its
  // pixels are not in the layout grabs deliver.
  static std::unique_ptr<X11Screen> Open(const std::string& displayName, std::string& error);

  Size ScreenSize() const override { return size_; }
  // Its Grab returns false when the display cannot be opened again.
  std::unique_ptr<ScreenGrabber> NewGrabber() override;

 private:
  X11Screen(std::string displayName, Size size);

  const std::string
      displayName_;  // as resolved at opening, so later changes of DISPLAY do not matter
  const Size size_;
};

}  // namespace orvenna
