#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Screen.h"
#include "platform/x11/ChangedRows.h"

namespace orvenna {

class X11Connection;
class X11ScreenChanges;
class X11SharedImage;

// Copies rectangles of the X screen over a connection of its own. The pixels land in one
// MIT-SHM segment kept between grabs (replaced only when a grab needs more room) and the image
// handed out views that segment directly. When the server reports what is drawn (DAMAGE), a
// grab of the same on-screen area with the same raster operation as the last one reads again
// only the rows drawn into since, and those the caller said it drew into (and the whole area
// once a second): a still screen costs the server next to nothing. Without MIT-SHM (a server on
// another machine, or attaching fails) it reads with XGetImage into a buffer of its own. The
// screen's size is read when the grabber is made. One thread at a time: the one that grabs.
class X11Grabber : public ScreenGrabber {
 public:
  // Connects to `displayName` (empty: $DISPLAY). When that fails, or the screen's pixels are
  // not in the one layout grabs deliver, every Grab returns false and Error() says why.
  explicit X11Grabber(const std::string& displayName);
  ~X11Grabber() override;

  // Parts of `area` off the screen are black with either raster operation. Areas wider or
  // taller than 32767 pixels, more than any X screen has, fail.
  Result Grab(const Rect& area, RasterOp op, ImageView& image) override;
  void Touched(const Rect& part) override;
  bool ReadAgain(const Rect& part) const override;
  Result Restore(const Rect& part) override;

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
  // A failed read: permanent when the connection is lost, else temporary.
  Result ReadFailure(const char* request) const;
  // Brings the kept pixels of `area` (wholly on the screen) up to date, or reads them whole
  // when they are not those of `area` and `op`.
  bool ReadChanges(const Rect& area, RasterOp op, bool segmentReplaced);
  // Reads the rows of `span` of `area` (wholly on the screen) into the segment with `op`.
  bool ReadKeptRows(const Rect& area, RasterOp op, const RowSpan& span);

  std::string error_;  // before the connection, whose opening fills it
  std::unique_ptr<X11Connection> connection_;
  std::unique_ptr<X11SharedImage> shared_;     // uses the connection
  std::vector<std::uint8_t> buffer_;           // the pixels when there is no shared memory
  std::unique_ptr<X11ScreenChanges> changes_;  // null: every grab reads the whole area
  std::vector<Rect> changed_;                  // reused by each grab
  // What the segment holds: the pixels of `keptArea_` with `keptOp_` as of the last grab,
  // except the parts in `touched_`; nothing when !kept_.
  bool kept_ = false;
  Rect keptArea_;
  RasterOp keptOp_ = RasterOp::SrcCopy;
  std::vector<Rect> touched_;
  // The rows the last grab read, when it kept the rest from the grab before.
  std::vector<RowSpan> read_;
  bool readWhole_ = true;
  std::chrono::steady_clock::time_point lastWholeRead_;
  Rect screen_;
};

}  // namespace orvenna
