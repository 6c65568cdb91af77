#include "cli/CliLoop.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "platform/NoFrameWindow.h"

namespace orvenna {

// A timer of the loop: fires on the UI thread at absolute deadlines.
class LoopTimer final : public Timer {
 public:
  explicit LoopTimer(CliLoop& loop) : loop_(loop) { loop_.timers_.push_back(this); }
  ~LoopTimer() override { std::erase(loop_.timers_, this); }

  void SetInterval(int milliseconds) override {
    interval_ = std::chrono::milliseconds(milliseconds);
  }
  void SetEnabled(bool enabled) override {
    if (enabled && !enabled_) next_ = std::chrono::steady_clock::now() + interval_;
    enabled_ = enabled;
  }
  bool Enabled() const override { return enabled_; }

  std::chrono::steady_clock::time_point Next() const { return next_; }
  void FireIfDue(std::chrono::steady_clock::time_point now) {
    if (!enabled_ || now < next_) return;
    next_ += interval_;
    if (next_ < now) next_ = now + interval_;  // late: skip the missed ticks
    if (OnTimer) OnTimer();
  }

 private:
  CliLoop& loop_;
  std::chrono::milliseconds interval_{1000};
  std::chrono::steady_clock::time_point next_;
  bool enabled_ = false;
};

CliLoop::CliLoop(bool answerYes) : answerYes_(answerYes), uiThread_(std::this_thread::get_id()) {}

void CliLoop::PostToUiThread(std::function<void()> work) {
  {
    std::lock_guard guard(lock_);
    posted_.push_back(std::move(work));
  }
  wake_.notify_one();
}

void CliLoop::Wake() {
  {
    std::lock_guard guard(lock_);
    woken_ = true;
  }
  wake_.notify_one();
}

std::chrono::steady_clock::time_point CliLoop::NextDeadline() const {
  // Another source of events is looked at often enough for a window to follow the mouse.
  const auto wait = std::chrono::milliseconds(pump_ ? 5 : 50);
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (const LoopTimer* timer : timers_) {
    if (timer->Enabled()) deadline = std::min(deadline, timer->Next());
  }
  return deadline;
}

void CliLoop::FireDueTimers() {
  const auto now = std::chrono::steady_clock::now();
  // A timer may be destroyed by another's handler; fire from a copy that is re-checked.
  const std::vector<LoopTimer*> timers = timers_;
  for (LoopTimer* timer : timers) {
    if (std::find(timers_.begin(), timers_.end(), timer) != timers_.end()) timer->FireIfDue(now);
  }
}

void CliLoop::RunUntil(const std::function<bool()>& done) {
  while (!done()) {
    std::function<void()> work;
    {
      std::unique_lock guard(lock_);
      wake_.wait_until(guard, NextDeadline(), [this] { return !posted_.empty() || woken_; });
      woken_ = false;
      if (!posted_.empty()) {
        work = std::move(posted_.front());
        posted_.pop_front();
      }
    }
    if (work) work();
    FireDueTimers();
    if (pump_) pump_();
  }
}

bool CliLoop::AskYesNo(const std::string& caption, const std::string& text) {
  std::cerr << caption << ": " << text << (answerYes_ ? " -> Yes" : " -> No (use --yes to accept)")
            << "\n";
  return answerYes_;
}

// A terminal has no window to title: the line names the program, as its other lines do.
void CliLoop::ShowInformation(WindowHandle, const std::string&, const std::string& text) {
  std::cerr << "orvenna-cli: " << text << "\n";
}

std::string CliLoop::DocumentsFolder() {
  const char* home = std::getenv("HOME");
  return home ? home : ".";
}

std::unique_ptr<Timer> CliLoop::NewTimer() {
  return std::make_unique<LoopTimer>(*this);
}

std::unique_ptr<FrameWindow> CliLoop::NewFrameWindow() {
  return std::make_unique<NoFrameWindow>();
}

}  // namespace orvenna
