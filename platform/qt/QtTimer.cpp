#include "platform/qt/QtTimer.h"

namespace orvenna {

QtTimer::QtTimer() {
  // Precise timing: the capture frame follows the region every 10 ms.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    if (OnTimer) OnTimer();
  });
}

void QtTimer::SetInterval(int milliseconds) {
  timer_.setInterval(milliseconds);
}

void QtTimer::SetEnabled(bool enabled) {
  if (enabled == timer_.isActive()) return;  // enabling again must not restart the interval
  if (enabled) {
    timer_.start();
  } else {
    timer_.stop();
  }
}

bool QtTimer::Enabled() const {
  return timer_.isActive();
}

}  // namespace orvenna
