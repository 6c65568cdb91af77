#pragma once

#include <string>

#include "platform/Cursor.h"

namespace orvenna {

// The X mouse cursor, read with XFixes. Any thread: each calling thread gets a connection of
// its own, opened on first use and closed when the thread ends.
class X11Cursor : public Cursor {
 public:
  // `displayName` empty: $DISPLAY.
  explicit X11Cursor(std::string displayName);

  // False when the display cannot be reached, lacks XFixes, or shows an empty cursor.
  bool Query(CursorImage& image) override;
  // (0, 0) when the display cannot be reached.
  Point Position() override;

 private:
  const std::string displayName_;
};

}  // namespace orvenna
