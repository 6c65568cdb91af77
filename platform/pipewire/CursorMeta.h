#pragma once

#include <cstddef>

#include "platform/Cursor.h"

struct spa_meta_cursor;

namespace orvenna::pipewire {

// The cursor as the stream's metadata describes it. The compositor sends the bitmap only when
// it changes, so the last one is kept.
struct StreamCursor {
  bool known = false;  // the metadata has given a position
  CursorImage image;   // position in frame pixels; the bitmap when one came (else 0 x 0)
};

// Cursor bitmaps, in pixels each way: room for this size is asked for; compositors that keep
// room of their own for larger ones are accepted up to the maximum.
inline constexpr int kCursorBitmapAsked = 256;
inline constexpr int kCursorBitmapMax = 1024;

// Takes the cursor metadata of one buffer (`meta`, `size` bytes of the buffer's metadata area)
// into `cursor`: a new position and hot spot, and a new bitmap when one came. A bitmap that
// does not fit inside the area, or of another format than BGRA or RGBA, is ignored, so a
// damaged buffer cannot make this read outside it.
void TakeCursorMeta(const spa_meta_cursor& meta, std::size_t size, StreamCursor& cursor);

}  // namespace orvenna::pipewire
