#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace orvenna {

// SIGTERM, SIGHUP and SIGINT (what logout, shutdown, a closed terminal and Ctrl+C send) as a
// call of `OnSignal` on the UI thread, so that the program can end as its user would end it
// instead of dying in the middle of a recording. One per process. UI thread.
class StopSignals final : public QObject {
 public:
  StopSignals();
  ~StopSignals() override;
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  std::function<void()> OnSignal;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace orvenna
