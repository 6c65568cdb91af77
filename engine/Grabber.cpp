// The frame grabber on the UI thread: the catalogue's sample frames and the preview. The
// recording grabs through a SessionGrab of its own.

#include "engine/Vistrel.h"
#include "platform/Dib.h"
#include "platform/Log.h"
#include "platform/ThreadRole.h"

namespace orvenna {

GrabOptions TVistrel::GrabOptionsOfSettings(int filterColor) const {
  GrabOptions options;
  options.switches = grabSwitches_.Get();
  options.switches.filterColor = filterColor;
  options.bitCount = BitCount();
  return options;
}

// A grabber of its own, released with the call: a sample of a 4K screen would otherwise keep
// its 32 MB image for as long as the program runs.
PackedFrame TVistrel::GrabFrameDIB(int left, int top, int width, int height, int filterColor) {
  CheckUiThread("GrabFrameDIB");
  SessionGrab grab(
      platform_.screen, platform_.cursor,
      [this](const ImageView& surface, int w, int h) { return Overlay(surface, w, h); });
  return Checked(
      grab.GrabPacked(Rect{left, top, width, height}, GrabOptionsOfSettings(filterColor)),
      RestoreAppOnStop());
}

PackedFrame TVistrel::BitmapToDIB(const ImageView* bitmap, int bitsPerPixel) {
  return Checked(SessionGrab::Pack(*bitmap, bitsPerPixel), RestoreAppOnStop());
}

PackedFrame TVistrel::Checked(PackedGrab packed, bool restoreAppOnStop) {
  if (packed.frame && !packed.read) {
    Log(LogLevel::Warning, "grabber", packed.read.Cause());
    PixelsUnreadable(restoreAppOnStop);
  }
  return std::move(packed.frame);
}

// A recording or a preview whose pixels cannot be read ends as Esc ends it.
void TVistrel::PixelsUnreadable(bool restoreAppOnStop) {
  CancelLikeEsc(restoreAppOnStop);
  EndRecordingFromOutside();
  RaiseError("Error retrieving bitmap bits");
}

bool TVistrel::Overlay(const ImageView& surface, int width, int height) {
  if (!OnOverlay) return false;
  OnOverlay(*this, surface, width, height);
  return true;
}

const PreviewBitmap& TVistrel::GrabFrameBitmap(int left, int top, int width, int height,
                                               int filterColor) {
  CheckUiThread("GrabFrameBitmap");
  previewBitmap_.SetSize(width, height);
  if (previewBitmap_.Width() != width || previewBitmap_.Height() != height || height <= 0)
    return previewBitmap_;  // a size no image is made for: shown empty
  ImageView image;
  if (uiGrab_.GrabInto(Rect{left, top, width, height}, GrabOptionsOfSettings(filterColor), image)) {
    DibConverter::Convert(image, previewBitmap_.BitsPerPixel(), previewBitmap_.Pixels());
  }
  return previewBitmap_;
}

}  // namespace orvenna
