#include <algorithm>

#include "platform/Cursor.h"

namespace orvenna {

void DrawCursor(const CursorImage& cursor, Point origin, const ImageView& target) {
  // Top-left corner of the cursor image within the target.
  const int left = cursor.position.x - cursor.hotSpot.x - origin.x;
  const int top = cursor.position.y - cursor.hotSpot.y - origin.y;
  const int x0 = std::max(0, -left);
  const int y0 = std::max(0, -top);
  const int x1 = std::min(cursor.width, target.width - left);
  const int y1 = std::min(cursor.height, target.height - top);
  for (int y = y0; y < y1; ++y) {
    const std::uint32_t* src = cursor.argb.data() + static_cast<std::size_t>(y) * cursor.width;
    auto* dst = reinterpret_cast<std::uint32_t*>(target.Row(top + y)) + left;
    for (int x = x0; x < x1; ++x) {
      const std::uint32_t s = src[x];
      const std::uint32_t alpha = s >> 24;
      if (alpha == 0) continue;
      if (alpha == 255) {
        dst[x] = s & 0x00FFFFFF;
        continue;
      }
      // Premultiplied source over the destination, one channel at a time.
      const std::uint32_t d = dst[x];
      std::uint32_t out = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t sc = (s >> shift) & 0xFF;
        const std::uint32_t dc = (d >> shift) & 0xFF;
        out |= std::min<std::uint32_t>(255, sc + (dc * (255 - alpha) + 127) / 255) << shift;
      }
      dst[x] = out;
    }
  }
}

}  // namespace orvenna
