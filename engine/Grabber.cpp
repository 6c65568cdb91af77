#include <cstring>

#include "engine/Vistrel.h"

namespace orvenna {

TVistrel::GrabContext& TVistrel::ContextOfThisThread() {
  std::unique_ptr<GrabContext>& context =
      std::this_thread::get_id() == uiThread_ ? uiGrab_ : sessionGrab_;
  if (!context) {
    context = std::make_unique<GrabContext>();
    context->grabber = platform_.screen.NewGrabber();
  }
  return *context;
}

// One screen copy with the raster operation, then the cursor and the overlay on top.
bool TVistrel::GrabInto(GrabContext& context, const Rect& area, int filterColor, ImageView& image) {
  const RasterOp op = filterColor == 1 ? RasterOp::NotSrcCopy : RasterOp::SrcCopy;
  if (!context.grabber || !context.grabber->Grab(area, op, image)) return false;
  if (RecordCursor() && platform_.cursor.Query(context.cursor)) {
    DrawCursor(context.cursor, Point{area.left, area.top}, image);
  }
  if (OnOverlay && OvelayDrawing()) OnOverlay(*this, image, area.width, area.height);
  return true;
}

PackedFrame TVistrel::GrabFrameDIB(int left, int top, int width, int height, int filterColor) {
  GrabContext& context = ContextOfThisThread();
  ImageView image;
  const bool grabbed = GrabInto(context, Rect{left, top, width, height}, filterColor, image);
  if (!grabbed) {
    // Nothing was read; the frame keeps its size and is reported like unreadable pixels.
    image = ImageView{nullptr, width, height, 0};
  }
  return BitmapToDIB(&image, BitCount());
}

PackedFrame TVistrel::BitmapToDIB(const ImageView* bitmap, int bitsPerPixel) {
  const int width = bitmap->width;
  const int height = bitmap->height;
  const std::uint64_t rowBytes = DibRowBytes(width, bitsPerPixel);
  const std::uint64_t tableBytes = DibTableBytes(bitsPerPixel);
  const std::uint64_t blockSize = 40 + tableBytes + rowBytes * static_cast<std::uint64_t>(height);
  PackedFrame frame = PackedFrame::Allocate(blockSize);
  if (!frame) return frame;

  BitmapInfoHeader& header = frame.Header();
  header = BitmapInfoHeader{};  // every field, so the whole header is written
  header.width = width;
  header.height = height;
  header.bitCount = static_cast<std::uint16_t>(bitsPerPixel);
  header.sizeImage = static_cast<std::uint32_t>(blockSize - 40 - tableBytes);
  header.clrUsed = bitsPerPixel <= 8 ? 256 : 0;
  if (bitsPerPixel == 8) {
    RgbQuad table[256];
    DibConverter::FillColourTable(table);
    std::memcpy(frame.ColourTable(), table, sizeof table);
  }

  const bool read = bitmap->pixels != nullptr && height > 0 &&
                    ContextOfThisThread().converter.Convert(*bitmap, bitsPerPixel, frame.Pixels());
  if (!read) {
    // A frame whose pixels could not be read is handed on black.
    std::memset(frame.Pixels(), 0, header.sizeImage);
    CancelLikeEsc();
    if (Recording()) {
      recording_.Set(false);
      ApplyShowPreview();
    }
    if (OnError) OnError(*this, "Error retrieving bitmap bits");
  }
  return frame;
}

const PreviewBitmap& TVistrel::GrabFrameBitmap(int left, int top, int width, int height,
                                                int filterColor) {
  previewBitmap_.SetSize(width, height);
  GrabContext& context = ContextOfThisThread();
  ImageView image;
  if (GrabInto(context, Rect{left, top, width, height}, filterColor, image) && height > 0) {
    context.converter.Convert(image, previewBitmap_.BitsPerPixel(), previewBitmap_.Pixels());
  }
  return previewBitmap_;
}

}  // namespace orvenna
