#pragma once

#include <functional>
#include <memory>

#include "engine/PackedFrame.h"
#include "engine/RecordingSettings.h"
#include "platform/Cursor.h"
#include "platform/Result.h"
#include "platform/Screen.h"

namespace orvenna {

// The settings one grab is made with.
struct GrabOptions {
  GrabSwitches switches;
  int bitCount = 32;
};

// A grabbed frame packed for the stream, and whether its pixels could be read: a frame whose
// pixels could not be read is black, and `read` says why.
struct PackedGrab {
  PackedFrame frame;  // null when no memory could be had for it
  Result read = Result::Ok();
};

// Grabs for one thread: its own screen grabber, the cursor's last image, and the cursor drawn
// on the grabber's image, which stays there while neither it nor the screen beneath it
// changes. The recording thread has one for each recording, the UI thread one for the preview.
class SessionGrab {
 public:
  // Draws on a grabbed image before it is packed, when the switches ask for it; false when
  // nothing draws.
  using Overlay = std::function<bool(const ImageView& surface, int width, int height)>;

  SessionGrab(Screen& screen, Cursor& cursor, Overlay overlay);

  // One screen copy of `area` with the raster operation, then the cursor and the overlay on
  // top; `image` views the grabber's pixels until the next grab.
  Result GrabInto(const Rect& area, const GrabOptions& options, ImageView& image);
  // GrabInto, packed; an area that cannot be read gives a black frame of its size.
  PackedGrab GrabPacked(const Rect& area, const GrabOptions& options);
  // The image as a frame of `bitsPerPixel`; black, with the failure, when its pixels cannot be
  // read.
  static PackedGrab Pack(const ImageView& image, int bitsPerPixel);
  // Lets the grabber go: its display connection belongs to the thread that used it.
  void Release() { grabber_.reset(); }

 private:
  Result DrawCursorOnce(const Rect& area, const GrabOptions& options, ImageView& image);

  Screen& screen_;
  Cursor& cursor_;
  Overlay overlay_;
  std::unique_ptr<ScreenGrabber> grabber_;
  CursorImage cursorImage_;
  bool cursorDrawn_ = false;
  CursorImage drawnCursor_;
  Rect drawnArea_;  // the grabbed area it was drawn on
};

}  // namespace orvenna
