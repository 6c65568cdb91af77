#pragma once

#include <atomic>

namespace orvenna {

// A value shared between the UI thread and the recording thread; relaxed order is enough,
// since each is read on its own.
template <typename T>
class Shared {
 public:
  explicit Shared(T value) : value_(value) {}
  T Get() const { return value_.load(std::memory_order_relaxed); }
  void Set(T value) { value_.store(value, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};

}  // namespace orvenna
