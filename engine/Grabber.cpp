#include <cstring>

#include "engine/Vistrel.h"
#include "platform/Dib.h"
#include "platform/Log.h"

namespace orvenna {

GrabOptions TVistrel::GrabOptionsOfSettings(int filterColor) const {
  GrabOptions options;
  options.switches = grabSwitches_.Get();
  options.switches.filterColor = filterColor;
  options.bitCount = BitCount();
  options.restoreAppOnStop = RestoreAppOnStop();
  return options;
}

// One screen copy with the raster operation, then the cursor and the overlay on top.
Result TVistrel::GrabInto(GrabContext& context, const Rect& area, const GrabOptions& options,
                          ImageView& image) {
  if (!context.grabber) context.grabber = platform_.screen.NewGrabber();
  const RasterOp op = options.switches.filterColor == 1 ? RasterOp::NotSrcCopy : RasterOp::SrcCopy;
  const Result grabbed = context.grabber ? context.grabber->Grab(area, op, image)
                                         : Result::Failed("the screen gave no grabber");
  if (!grabbed) {
    Log(LogLevel::Error, "grabber", grabbed.Cause());
    return grabbed;
  }
  if (const Result drawn = DrawCursorOnce(context, area, options, image); !drawn) return drawn;
  // What is drawn on top is not on the screen: the grabber reads it afresh next time.
  if (OnOverlay && options.switches.ovelayDrawing) {
    OnOverlay(*this, image, area.width, area.height);
    context.grabber->Touched(Rect{0, 0, area.width, area.height});
  }
  return Result::Ok();
}

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

// The cursor drawn on the last image stays while it looks and stands the same and the grab
// read none of its rows: a still screen then costs no reads at all. Otherwise the rows it
// covered are read afresh before it is drawn again, since drawing it over itself would darken
// its shadow.
Result TVistrel::DrawCursorOnce(GrabContext& context, const Rect& area, const GrabOptions& options,
                                ImageView& image) {
  const bool shown = options.switches.recordCursor && platform_.cursor.Query(context.cursor);
  if (context.cursorDrawn) {
    const Rect drawn = CursorRect(context.drawnCursor, context.drawnArea);
    if (shown && area == context.drawnArea && SameCursor(context.cursor, context.drawnCursor) &&
        !context.grabber->ReadAgain(drawn)) {
      return Result::Ok();
    }
    context.cursorDrawn = false;
    if (area == context.drawnArea) {
      if (const Result restored = context.grabber->Restore(drawn); !restored) return restored;
    }
  }
  if (!shown) return Result::Ok();
  DrawCursor(context.cursor, Point{area.left, area.top}, image);
  context.cursorDrawn = true;
  context.drawnCursor = context.cursor;
  context.drawnArea = area;
  return Result::Ok();
}

// A grabber of its own, released with the call: a sample of a 4K screen would otherwise keep
// its 32 MB image for as long as the program runs.
PackedFrame TVistrel::GrabFrameDIB(int left, int top, int width, int height, int filterColor) {
  CheckUiThread("GrabFrameDIB");
  GrabContext context;
  return GrabPacked(context, Rect{left, top, width, height}, GrabOptionsOfSettings(filterColor));
}

PackedFrame TVistrel::GrabPacked(GrabContext& context, const Rect& area,
                                 const GrabOptions& options) {
  ImageView image;
  if (!GrabInto(context, area, options, image)) {
    // Nothing was read; the frame keeps its size and is reported like unreadable pixels.
    image = ImageView{nullptr, area.width, area.height, 0};
  }
  return Pack(&image, options.bitCount, options.restoreAppOnStop);
}

PackedFrame TVistrel::BitmapToDIB(const ImageView* bitmap, int bitsPerPixel) {
  return Pack(bitmap, bitsPerPixel, RestoreAppOnStop());
}

PackedFrame TVistrel::Pack(const ImageView* bitmap, int bitsPerPixel, bool restoreAppOnStop) {
  const int width = bitmap->width;
  const int height = bitmap->height;
  PackedFrame frame = PackedFrame::Allocate(PackedFrame::BlockSize(width, height, bitsPerPixel));
  if (!frame) return frame;
  PackedFrame::WriteFormat(frame.Data(), width, height, bitsPerPixel);

  const bool read = bitmap->pixels != nullptr && height > 0 &&
                    DibConverter::Convert(*bitmap, bitsPerPixel, frame.Pixels());
  if (!read) {
    // A frame whose pixels could not be read is handed on black.
    std::memset(frame.Pixels(), 0, frame.Header().sizeImage);
    CancelLikeEsc(restoreAppOnStop);
    EndRecordingFromOutside();
    if (OnError) OnError(*this, "Error retrieving bitmap bits");
  }
  return frame;
}

const PreviewBitmap& TVistrel::GrabFrameBitmap(int left, int top, int width, int height,
                                               int filterColor) {
  CheckUiThread("GrabFrameBitmap");
  previewBitmap_.SetSize(width, height);
  if (previewBitmap_.Width() != width || previewBitmap_.Height() != height || height <= 0)
    return previewBitmap_;  // a size no image is made for: shown empty
  ImageView image;
  if (GrabInto(uiGrab_, Rect{left, top, width, height}, GrabOptionsOfSettings(filterColor),
               image)) {
    DibConverter::Convert(image, previewBitmap_.BitsPerPixel(), previewBitmap_.Pixels());
  }
  return previewBitmap_;
}

}  // namespace orvenna
