#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>

#include "platform/Geometry.h"

namespace orvenna {

class X11Connection;

// One MIT-SHM segment shared with the X server, kept between reads of the root window and
// replaced only when a read needs more room than it has. Used by the thread that owns the
// connection.
class X11SharedImage {
 public:
  // Does nothing with the server yet; Reserve creates the segment.
  explicit X11SharedImage(X11Connection& connection);
  ~X11SharedImage();
  X11SharedImage(const X11SharedImage&) = delete;
  X11SharedImage& operator=(const X11SharedImage&) = delete;

  // True when the server offers MIT-SHM and can attach segments of this process (it cannot
  // when it runs on another machine).
  static bool Available(X11Connection& connection);

  // Makes the segment hold at least `bytes`; false when no segment can be created or attached.
  bool Reserve(std::size_t bytes);
  std::uint8_t* data() const {
    return static_cast<std::uint8_t*>(static_cast<void*>(segment_.shmaddr));
  }

  // Reads rows `first` .. `first + count - 1` of `area` of the root window, which must lie on
  // the screen and fit the segment, into their places in the segment laid out as the whole
  // area: rows of area.width 32-bit pixels, top-down, no padding between rows.
  bool ReadRows(const Rect& area, int first, int count);

 private:
  void Release();

  X11Connection& connection_;
  XShmSegmentInfo segment_{};
  std::size_t capacity_ = 0;
};

}  // namespace orvenna
