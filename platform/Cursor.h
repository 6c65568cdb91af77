#pragma once

#include <cstdint>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Image.h"

namespace orvenna {

// The mouse cursor as it stands on the screen.
struct CursorImage {
  Point position;  // screen position of the hot spot
  Point hotSpot;   // hot spot within the image
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;  // premultiplied alpha, rows top-down, width x height
};

// Reads the mouse cursor. Any thread; implementations keep one connection per thread.
class Cursor {
 public:
  virtual ~Cursor() = default;

  // Fills `image` when the cursor is showing; false when it is hidden or the query fails.
  virtual bool Query(CursorImage& image) = 0;
  // Screen position of the pointer.
  virtual Point Position() = 0;
};

// Draws `cursor` into `target` (whose top-left corner is at `origin` on the screen) so that its
// hot spot lands on the cursor's position; pixels outside the target are skipped.
void DrawCursor(const CursorImage& cursor, Point origin, const ImageView& target);

}  // namespace orvenna
