#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Image.h"
#include "platform/Result.h"

namespace orvenna::pipewire {

// Byte order of a 32-bit pixel in a frame: blue first (BGRx, BGRA) or red first (RGBx, RGBA).
enum class PixelOrder { BlueFirst, RedFirst };

// The newest frame of a stream, copied out of the stream's buffer so that the buffer goes back
// at once and a reader at any later time sees the latest picture (the compositor sends a frame
// only when the screen changes). Store runs on the stream's thread, everything else on any
// thread; one mutex guards the pixels.
class NewestFrame {
 public:
  // Replaces the frame with `size` pixels starting at `source`, `stride` bytes a row. Wakes the
  // waiters.
  void Store(const std::uint8_t* source, std::ptrdiff_t stride, Size size, PixelOrder order);
  // Copies `area` (in frame pixels) into `target`, which has the area's size, as 32-bit BGRx
  // rows top-down; parts of the area outside the frame are black. Only the area's rows are
  // read. Fails when no frame has come yet.
  Result Read(const Rect& area, const ImageView& target) const;
  // The size of the newest frame; 0 x 0 before the first.
  Size FrameSize() const;
  // Frames stored so far.
  std::uint64_t Count() const;
  // Waits until more than `count` frames have been stored, Close is called or `timeout`
  // passes; whether a frame came.
  bool WaitForFrameAfter(std::uint64_t count, std::chrono::milliseconds timeout) const;
  // No frame will come any more: wakes the waiters at once, now and later.
  void Close();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable stored_;
  std::vector<std::uint8_t> pixels_;  // rows of size_.width * 4 bytes, no gap
  Size size_;
  PixelOrder order_ = PixelOrder::BlueFirst;
  std::uint64_t count_ = 0;
  bool closed_ = false;
};

}  // namespace orvenna::pipewire
