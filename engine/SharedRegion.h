#pragma once

#include <mutex>

#include "platform/Geometry.h"

namespace orvenna {

// The capture region, read and written whole: the area timer moves it with the mouse while
// the recording thread grabs it, and a grab must never see a new left with an old top. Any
// thread.
class SharedRegion {
 public:
  explicit SharedRegion(const Rect& rect) : rect_(rect) {}

  Rect Get() const {
    std::lock_guard lock(lock_);
    return rect_;
  }
  void Set(const Rect& rect) {
    std::lock_guard lock(lock_);
    rect_ = rect;
  }
  // Changes the region under the lock; `change` sees and edits the whole rectangle.
  template <typename Change>
  void Update(Change change) {
    std::lock_guard lock(lock_);
    change(rect_);
  }

 private:
  mutable std::mutex lock_;
  Rect rect_;
};

}  // namespace orvenna
