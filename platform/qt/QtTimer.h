#pragma once

#include <QTimer>

#include "platform/Timer.h"

namespace orvenna {

// A Timer backed by a QTimer of the UI thread's event loop; OnTimer runs on each timeout.
// Create, use and destroy on the UI thread only.
class QtTimer final : public Timer {
 public:
  QtTimer();

  void SetInterval(int milliseconds) override;
  void SetEnabled(bool enabled) override;
  bool Enabled() const override;

 private:
  QTimer timer_;
};

}  // namespace orvenna
