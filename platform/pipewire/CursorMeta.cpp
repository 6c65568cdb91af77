#include "platform/pipewire/CursorMeta.h"

#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <cstdint>

namespace orvenna::pipewire {

namespace {

// The bitmap at `offset` of the metadata, or nullptr when it is absent or does not fit.
const spa_meta_bitmap* FindBitmap(const spa_meta_cursor& meta, std::size_t size) {
  const std::size_t offset = meta.bitmap_offset;
  if (offset < sizeof(spa_meta_cursor) || offset > size || size - offset < sizeof(spa_meta_bitmap))
    return nullptr;
  return reinterpret_cast<const spa_meta_bitmap*>(reinterpret_cast<const std::uint8_t*>(&meta) +
                                                  offset);
}

// Whether the pixels of `bitmap` lie within the `room` bytes after its own start.
bool PixelsFit(const spa_meta_bitmap& bitmap, std::size_t room) {
  const std::uint64_t width = bitmap.size.width;
  const std::uint64_t height = bitmap.size.height;
  if (width > kCursorBitmapMax || height > kCursorBitmapMax) return false;
  if (bitmap.stride < 0 || static_cast<std::uint64_t>(bitmap.stride) < width * 4) return false;
  if (bitmap.offset < sizeof(spa_meta_bitmap)) return false;
  const std::uint64_t bytes = height == 0 ? 0 : (height - 1) * bitmap.stride + width * 4;
  return bitmap.offset <= room && bytes <= room - bitmap.offset;
}

}  // namespace

void TakeCursorMeta(const spa_meta_cursor& meta, std::size_t size, StreamCursor& cursor) {
  if (!spa_meta_cursor_is_valid(&meta)) return;
  cursor.known = true;
  cursor.image.position = {meta.position.x, meta.position.y};
  const spa_meta_bitmap* bitmap = FindBitmap(meta, size);
  if (!bitmap || bitmap->format == SPA_VIDEO_FORMAT_UNKNOWN) return;
  CursorImage& image = cursor.image;
  if (bitmap->offset == 0) {  // the cursor is hidden
    image.width = image.height = 0;
    image.argb.clear();
    return;
  }
  const bool redFirst = bitmap->format == SPA_VIDEO_FORMAT_RGBA;
  if ((!redFirst && bitmap->format != SPA_VIDEO_FORMAT_BGRA) ||
      !PixelsFit(*bitmap, size - meta.bitmap_offset))
    return;
  image.hotSpot = {meta.hotspot.x, meta.hotspot.y};
  image.width = static_cast<int>(bitmap->size.width);
  image.height = static_cast<int>(bitmap->size.height);
  image.argb.resize(static_cast<std::size_t>(image.width) * image.height);
  const auto* pixels = reinterpret_cast<const std::uint8_t*>(bitmap) + bitmap->offset;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = pixels + static_cast<std::ptrdiff_t>(bitmap->stride) * y;
    for (int x = 0; x < image.width; ++x, row += 4) {
      const std::uint32_t red = redFirst ? row[0] : row[2];
      const std::uint32_t blue = redFirst ? row[2] : row[0];
      image.argb[static_cast<std::size_t>(y) * image.width + x] =
          std::uint32_t{row[3]} << 24 | red << 16 | std::uint32_t{row[1]} << 8 | blue;
    }
  }
}

}  // namespace orvenna::pipewire
