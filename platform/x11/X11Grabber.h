#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Screen.h"

namespace orvenna {

class X11Connection;
class X11SharedImage;

// Copies rectangles of the X screen over a connection of its own. The pixels land in one
// MIT-SHM segment kept between grabs (replaced only when a grab needs more room) and the image
// handed out views that segment directly. Without MIT-SHM (a server on another machine, or
// attaching fails) it reads with XGetImage into a buffer of its own. The screen's size is read
// when the grabber is made. One thread at a time: the one that grabs.
class X11Grabber : public ScreenGrabber {
 public:
  // Connects to `displayName` (empty: $DISPLAY). When that fails, or the screen's pixels are
  // not in the one layout grabs deliver, every Grab returns false and Error() says why.
  explicit X11Grabber(const std::string& displayName);
  ~X11Grabber() override;

  // Parts of `area` off the screen are black with either raster operation. Areas wider or
  // taller than 32767 pixels, more than any X screen has, fail.
  Result Grab(const Rect& area, RasterOp op, ImageView& image) override;

  // Whether grabs go through shared memory (false: plain XGetImage).
  bool UsesSharedMemory() const { return shared_ != nullptr; }
  // Why the grabber cannot work; empty while it can.
  const std::string& Error() const { return error_; }

  // Empty when the screen's pixels are 24-bit true colour in little-endian 32-bit words
  // (bytes blue, green, red, spare), the layout grabs deliver; otherwise why they are not.
  static std::string PixelFormatError(X11Connection& connection);

 private:
  // Reads `inside` (on the screen, within `area`) into `pixels`, laid out as `area` with the
  // rest black.
  bool ReadShared(const Rect& area, const Rect& inside, std::uint8_t* pixels);
  bool ReadPlain(const Rect& area, const Rect& inside, std::uint8_t* pixels);

  std::string error_;  // before the connection, whose opening fills it
  std::unique_ptr<X11Connection> connection_;
  std::unique_ptr<X11SharedImage> shared_;  // uses the connection
  std::vector<std::uint8_t> buffer_;        // the pixels when there is no shared memory
  Rect screen_;
};

}  // namespace orvenna
