#pragma once

#include <cstdint>
#include <memory>

#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Result.h"

namespace orvenna {

// Raster operations of a screen copy; the values are the classic ternary raster-op codes.
enum class RasterOp : std::uint32_t {
  SrcCopy = 0x00CC0020,     // the source unchanged
  NotSrcCopy = 0x00330008,  // the source with every colour bit inverted
};

// Copies rectangles of the screen into a buffer it owns. One grabber serves one thread: it
// keeps its connection and shared-memory buffer between grabs, so grabbing allocates nothing
// while the size stays the same.
class ScreenGrabber {
 public:
  virtual ~ScreenGrabber() = default;

  // Grabs `area` with `op`. On success `image` views `area.width` x `area.height` pixels
  // owned by the grabber, valid and writable until the next Grab or the grabber's end.
  // Parts of `area` outside the screen are black. Fails, with the cause, when the pixels
  // cannot be read (the connection to the display is lost).
  virtual Result Grab(const Rect& area, RasterOp op, ImageView& image) = 0;
  // Tells the grabber that the caller drew into `part` (relative to the last grab's area) of
  // the image it handed out. A grabber that keeps the pixels to read only what changed on the
  // screen reads that part afresh next time.
  virtual void Touched(const Rect& part) { (void)part; }
  // Whether the last grab read any row of `part` (relative to its area) from the screen, so
  // that what the caller drew there before is gone, at least in part. True when it cannot tell.
  virtual bool ReadAgain(const Rect& part) const {
    (void)part;
    return true;
  }
  // Reads from the screen, into the image of the last grab, the rows of `part` that the grab
  // did not read: nothing the caller drew on `part` is left afterwards.
  virtual Result Restore(const Rect& part) {
    (void)part;
    return Result::Ok();
  }
};

// The screen as a whole. Any thread.
class Screen {
 public:
  virtual ~Screen() = default;
  virtual Size ScreenSize() const = 0;
  virtual std::unique_ptr<ScreenGrabber> NewGrabber() = 0;
};

}  // namespace orvenna
