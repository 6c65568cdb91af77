#pragma once

#include <functional>

namespace orvenna {

// A repeating timer that fires on the UI thread. UI thread only.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  std::function<void()> OnTimer;
};

}  // namespace orvenna
