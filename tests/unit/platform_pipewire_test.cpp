// The parts of the PipeWire backend that need no daemon: the newest frame (areas, colour
// orders, edges) and the reading of cursor metadata out of a buffer's bytes.

#include <gtest/gtest.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/raw.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/pipewire/CursorMeta.h"
#include "platform/pipewire/NewestFrame.h"

namespace orvenna::pipewire {
namespace {

using namespace std::chrono_literals;

// A 4 x 3 source picture with 2 spare pixels a row; pixel (x, y) has bytes x, y, 0x80 + x, 0xFF.
std::vector<std::uint8_t> Source() {
  std::vector<std::uint8_t> bytes(6 * 4 * 3, 0xEE);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      std::uint8_t* p = &bytes[static_cast<std::size_t>(y * 6 + x) * 4];
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(0x80 + x);
      p[3] = 0xFF;
    }
  return bytes;
}

std::vector<std::uint32_t> ReadArea(const NewestFrame& frame, const Rect& area) {
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(area.width) * area.height, 0xDEAD);
  const ImageView view{reinterpret_cast<std::uint8_t*>(pixels.data()), area.width, area.height,
                       area.width * 4};
  EXPECT_TRUE(frame.Read(area, view));
  return pixels;
}

// The BGRx pixel expected at (x, y) of the source, black outside it.
std::uint32_t Expected(int x, int y, PixelOrder order) {
  if (x < 0 || y < 0 || x >= 4 || y >= 3) return 0;
  const std::uint32_t first = static_cast<std::uint32_t>(x), third = 0x80u + x;
  const std::uint32_t blue = order == PixelOrder::BlueFirst ? first : third;
  const std::uint32_t red = order == PixelOrder::BlueFirst ? third : first;
  return 0xFFu << 24 | red << 16 | static_cast<std::uint32_t>(y) << 8 | blue;
}

TEST(NewestFrame, AreasComeOutAsBgrxWithBlackOutsideTheFrame) {
  const std::vector<std::uint8_t> source = Source();
  const Rect areas[] = {{0, 0, 4, 3}, {1, 1, 2, 2}, {-2, -1, 8, 5},
                        {3, 2, 3, 3}, {5, 0, 2, 2}, {-3, 0, 2, 3}};
  for (const PixelOrder order : {PixelOrder::BlueFirst, PixelOrder::RedFirst}) {
    NewestFrame frame;
    frame.Store(source.data(), 6 * 4, {4, 3}, order);
    EXPECT_EQ(frame.FrameSize(), (Size{4, 3}));
    for (const Rect& area : areas) {
      const std::vector<std::uint32_t> pixels = ReadArea(frame, area);
      for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
          ASSERT_EQ(pixels[static_cast<std::size_t>(y) * area.width + x],
                    Expected(area.left + x, area.top + y, order))
              << "area " << area.left << "," << area.top << " at " << x << "," << y;
    }
  }
}

TEST(NewestFrame, ReadFailsBeforeTheFirstFrameAndWaitersWakeOnFrameOrClose) {
  NewestFrame frame;
  std::uint32_t pixel = 0;
  EXPECT_FALSE(frame.Read({0, 0, 1, 1}, {reinterpret_cast<std::uint8_t*>(&pixel), 1, 1, 4}));
  EXPECT_FALSE(frame.WaitForFrameAfter(0, 10ms));

  const std::vector<std::uint8_t> source = Source();
  std::thread store([&] { frame.Store(source.data(), 6 * 4, {4, 3}, PixelOrder::BlueFirst); });
  EXPECT_TRUE(frame.WaitForFrameAfter(0, 5s));
  store.join();
  EXPECT_EQ(frame.Count(), 1u);

  std::thread close([&] { frame.Close(); });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(frame.WaitForFrameAfter(1, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  close.join();
}

// Cursor metadata as a compositor lays it out: the cursor, then a bitmap header at
// `bitmapOffset`, then `width` x `height` pixels at the bitmap's own offset.
struct CursorBytes {
  CursorBytes(int width, int height, std::uint32_t format) {
    bytes.resize(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + width * height * 4);
    auto& cursor = *reinterpret_cast<spa_meta_cursor*>(bytes.data());
    cursor.id = 7;
    cursor.position = {300, 200};
    cursor.hotspot = {2, 3};
    cursor.bitmap_offset = sizeof(spa_meta_cursor);
    auto& bitmap = Bitmap();
    bitmap.format = format;
    bitmap.size = {static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
    bitmap.stride = width * 4;
    bitmap.offset = sizeof(spa_meta_bitmap);
    std::uint8_t* pixel = bytes.data() + sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap);
    for (int i = 0; i < width * height; ++i, pixel += 4) {
      pixel[0] = 0x11;  // blue, or red in RGBA
      pixel[1] = 0x22;
      pixel[2] = 0x33;
      pixel[3] = 0x44;
    }
  }
  spa_meta_cursor& Cursor() { return *reinterpret_cast<spa_meta_cursor*>(bytes.data()); }
  spa_meta_bitmap& Bitmap() {
    return *reinterpret_cast<spa_meta_bitmap*>(bytes.data() + sizeof(spa_meta_cursor));
  }
  void TakeInto(StreamCursor& cursor) { TakeCursorMeta(Cursor(), bytes.size(), cursor); }
  std::vector<std::uint8_t> bytes;
};

TEST(CursorMeta, BitmapIsTakenInEitherOrderAndKeptUntilANewOne) {
  StreamCursor cursor;
  CursorBytes bgra(2, 3, SPA_VIDEO_FORMAT_BGRA);
  bgra.TakeInto(cursor);
  EXPECT_TRUE(cursor.known);
  EXPECT_EQ(cursor.image.position, (Point{300, 200}));
  EXPECT_EQ(cursor.image.hotSpot, (Point{2, 3}));
  ASSERT_EQ(cursor.image.width, 2);
  ASSERT_EQ(cursor.image.height, 3);
  EXPECT_EQ(cursor.image.argb, std::vector<std::uint32_t>(6, 0x44332211));

  CursorBytes rgba(1, 1, SPA_VIDEO_FORMAT_RGBA);
  rgba.TakeInto(cursor);
  EXPECT_EQ(cursor.image.argb, std::vector<std::uint32_t>(1, 0x44112233));

  // A position without a bitmap keeps the last bitmap.
  CursorBytes moved(1, 1, SPA_VIDEO_FORMAT_RGBA);
  moved.Cursor().position = {5, 6};
  moved.Cursor().bitmap_offset = 0;
  moved.TakeInto(cursor);
  EXPECT_EQ(cursor.image.position, (Point{5, 6}));
  EXPECT_EQ(cursor.image.argb, std::vector<std::uint32_t>(1, 0x44112233));

  // A bitmap without pixels hides the cursor.
  CursorBytes hidden(1, 1, SPA_VIDEO_FORMAT_RGBA);
  hidden.Bitmap().offset = 0;
  hidden.TakeInto(cursor);
  EXPECT_EQ(cursor.image.width, 0);
  EXPECT_TRUE(cursor.image.argb.empty());
}

// Bitmaps that claim more than the metadata holds are ignored: nothing is read outside it.
TEST(CursorMeta, BitmapsOutsideTheMetadataAreIgnored) {
  struct Case {
    const char* what;
    void (*damage)(CursorBytes&);
  };
  const Case cases[] = {
      {"bitmap header past the end", [](CursorBytes& b) { b.Cursor().bitmap_offset = 1 << 20; }},
      {"bitmap header inside the cursor", [](CursorBytes& b) { b.Cursor().bitmap_offset = 4; }},
      {"pixels past the end", [](CursorBytes& b) { b.Bitmap().offset = 1 << 20; }},
      {"taller than the data", [](CursorBytes& b) { b.Bitmap().size.height = 9; }},
      {"stride shorter than a row", [](CursorBytes& b) { b.Bitmap().stride = 4; }},
      {"larger than the maximum",
       [](CursorBytes& b) {
         b.Bitmap().size = {kCursorBitmapMax + 1, 1};
       }},
      {"not a 32-bit RGB format",
       [](CursorBytes& b) { b.Bitmap().format = SPA_VIDEO_FORMAT_I420; }},
  };
  for (const Case& test : cases) {
    StreamCursor cursor;
    CursorBytes bytes(2, 2, SPA_VIDEO_FORMAT_BGRA);
    test.damage(bytes);
    bytes.TakeInto(cursor);
    EXPECT_TRUE(cursor.known) << test.what;
    EXPECT_EQ(cursor.image.position, (Point{300, 200})) << test.what;
    EXPECT_EQ(cursor.image.width, 0) << test.what;
    EXPECT_TRUE(cursor.image.argb.empty()) << test.what;
  }
}

}  // namespace
}  // namespace orvenna::pipewire
