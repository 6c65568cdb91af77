#include "platform/pipewire/NewestFrame.h"

#include <algorithm>
#include <cstring>

namespace orvenna::pipewire {

namespace {

// Copies `count` pixels, exchanging the first and third byte of each (red-first to blue-first).
void CopySwappingRedBlue(const std::uint8_t* from, std::uint8_t* to, int count) {
  for (int i = 0; i < count; ++i, from += 4, to += 4) {
    to[0] = from[2];
    to[1] = from[1];
    to[2] = from[0];
    to[3] = from[3];
  }
}

}  // namespace

void NewestFrame::Store(const std::uint8_t* source, std::ptrdiff_t stride, Size size,
                        PixelOrder order) {
  const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 4;
  {
    std::lock_guard lock(mutex_);
    pixels_.resize(rowBytes * static_cast<std::size_t>(size.height));
    for (int y = 0; y < size.height; ++y)
      std::memcpy(pixels_.data() + rowBytes * static_cast<std::size_t>(y), source + stride * y,
                  rowBytes);
    size_ = size;
    order_ = order;
    ++count_;
  }
  stored_.notify_all();
}

Result NewestFrame::Read(const Rect& area, const ImageView& target) const {
  std::lock_guard lock(mutex_);
  if (count_ == 0) return Result::Failed("the screen stream has not sent a picture yet");
  const int left = std::clamp(area.left, 0, size_.width);
  const int right = std::clamp(area.left + area.width, left, size_.width);
  const int inside = right - left;
  const std::size_t rowBytes = static_cast<std::size_t>(size_.width) * 4;
  for (int y = 0; y < area.height; ++y) {
    std::uint8_t* row = target.Row(y);
    const int frameY = area.top + y;
    if (frameY < 0 || frameY >= size_.height || inside == 0) {
      std::memset(row, 0, static_cast<std::size_t>(area.width) * 4);
      continue;
    }
    const std::size_t before = static_cast<std::size_t>(left - area.left) * 4;
    std::memset(row, 0, before);
    const std::uint8_t* from =
        pixels_.data() + rowBytes * static_cast<std::size_t>(frameY) + left * 4;
    if (order_ == PixelOrder::BlueFirst)
      std::memcpy(row + before, from, static_cast<std::size_t>(inside) * 4);
    else
      CopySwappingRedBlue(from, row + before, inside);
    std::memset(row + before + static_cast<std::size_t>(inside) * 4, 0,
                static_cast<std::size_t>(area.left + area.width - right) * 4);
  }
  return Result::Ok();
}

Size NewestFrame::FrameSize() const {
  std::lock_guard lock(mutex_);
  return size_;
}

std::uint64_t NewestFrame::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

bool NewestFrame::WaitForFrameAfter(std::uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  stored_.wait_for(lock, timeout, [&] { return count_ > count || closed_; });
  return count_ > count;
}

void NewestFrame::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  stored_.notify_all();
}

}  // namespace orvenna::pipewire
