#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Screen.h"

namespace orvenna {

// A synthetic screen for unit tests: pixel (x, y) of grab number n is
// PixelAt(x, y, n); outside the screen it is black. Any thread.
class FakeScreen final : public Screen {
 public:
  explicit FakeScreen(Size size = {1024, 768}) : size_(size) {}

  static std::uint32_t PixelAt(int x, int y, int grab) {
    return static_cast<std::uint32_t>((x * 7 + grab) & 0xFF) |
           static_cast<std::uint32_t>((y * 5) & 0xFF) << 8 |
           static_cast<std::uint32_t>((x + y + grab * 3) & 0xFF) << 16;
  }

  Size ScreenSize() const override { return size_; }
  std::unique_ptr<ScreenGrabber> NewGrabber() override;

  std::atomic<int> grabs{0};           // grabs made so far, by all grabbers
  std::atomic<bool> failGrabs{false};  // every grab fails while set
  std::atomic<FailureKind> failureKind{FailureKind::Permanent};  // the kind of those failures
  // Called on the grabbing thread after each grab with its area; set it before grabbing starts.
  std::function<void(const Rect& area)> onGrab;
  // Called on the grabbing thread after each failed grab; set it before grabbing starts.
  std::function<void()> onFailedGrab;

 private:
  Size size_;
};

}  // namespace orvenna
