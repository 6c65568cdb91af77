#include "engine/SessionGrab.h"

#include <cstring>

#include "platform/Dib.h"
#include "platform/Log.h"

namespace orvenna {
namespace {

bool SameCursor(const CursorImage& a, const CursorImage& b) {
  return a.position == b.position && a.hotSpot == b.hotSpot && a.width == b.width &&
         a.height == b.height && a.argb == b.argb;
}

// The cursor's rectangle on the grabbed `area`.
Rect CursorRect(const CursorImage& cursor, const Rect& area) {
  return Rect{cursor.position.x - cursor.hotSpot.x - area.left,
              cursor.position.y - cursor.hotSpot.y - area.top, cursor.width, cursor.height};
}

}  // namespace

SessionGrab::SessionGrab(Screen& screen, Cursor& cursor, Overlay overlay)
    : screen_(screen), cursor_(cursor), overlay_(std::move(overlay)) {}

Result SessionGrab::GrabInto(const Rect& area, const GrabOptions& options, ImageView& image) {
  if (!grabber_) grabber_ = screen_.NewGrabber();
  const RasterOp op = options.switches.filterColor == 1 ? RasterOp::NotSrcCopy : RasterOp::SrcCopy;
  const Result grabbed =
      grabber_ ? grabber_->Grab(area, op, image) : Result::Failed("the screen gave no grabber");
  if (!grabbed) {
    Log(LogLevel::Error, "grabber", grabbed.Cause());
    return grabbed;
  }
  if (const Result drawn = DrawCursorOnce(area, options, image); !drawn) return drawn;
  // What is drawn on top is not on the screen: the grabber reads it afresh next time.
  if (overlay_ && options.switches.ovelayDrawing && overlay_(image, area.width, area.height))
    grabber_->Touched(Rect{0, 0, area.width, area.height});
  return Result::Ok();
}

// The cursor drawn on the last image stays while it looks and stands the same and the grab
// read none of its rows: a still screen then costs no reads at all. Otherwise the rows it
// covered are read afresh before it is drawn again, since drawing it over itself would darken
// its shadow.
Result SessionGrab::DrawCursorOnce(const Rect& area, const GrabOptions& options, ImageView& image) {
  const bool shown = options.switches.recordCursor && cursor_.Query(cursorImage_);
  if (cursorDrawn_) {
    const Rect drawn = CursorRect(drawnCursor_, drawnArea_);
    if (shown && area == drawnArea_ && SameCursor(cursorImage_, drawnCursor_) &&
        !grabber_->ReadAgain(drawn)) {
      return Result::Ok();
    }
    cursorDrawn_ = false;
    if (area == drawnArea_) {
      if (const Result restored = grabber_->Restore(drawn); !restored) return restored;
    }
  }
  if (!shown) return Result::Ok();
  DrawCursor(cursorImage_, Point{area.left, area.top}, image);
  cursorDrawn_ = true;
  drawnCursor_ = cursorImage_;
  drawnArea_ = area;
  return Result::Ok();
}

PackedGrab SessionGrab::GrabPacked(const Rect& area, const GrabOptions& options) {
  ImageView image;
  if (!GrabInto(area, options, image)) {
    // Nothing was read; the frame keeps its size and is handed on like unreadable pixels.
    image = ImageView{nullptr, area.width, area.height, 0};
  }
  return Pack(image, options.bitCount);
}

PackedGrab SessionGrab::Pack(const ImageView& image, int bitsPerPixel) {
  PackedGrab packed;
  packed.frame =
      PackedFrame::Allocate(PackedFrame::BlockSize(image.width, image.height, bitsPerPixel));
  if (!packed.frame) return packed;
  PackedFrame::WriteFormat(packed.frame.Data(), image.width, image.height, bitsPerPixel);
  const bool read = image.pixels != nullptr && image.height > 0 &&
                    DibConverter::Convert(image, bitsPerPixel, packed.frame.Pixels());
  if (!read) {
    // A frame whose pixels could not be read is handed on black.
    std::memset(packed.frame.Pixels(), 0, packed.frame.Header().sizeImage);
    packed.read = Result::Failed("the bitmap's pixels could not be read");
  }
  return packed;
}

}  // namespace orvenna
