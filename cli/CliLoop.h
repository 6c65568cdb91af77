#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Shell.h"
#include "platform/Windows.h"

namespace orvenna {

class LoopTimer;

// The command-line program's UI thread: a loop that runs posted work and fires timers, and
// the shell and window factory a desktop-less front end offers the engine (no windows; the
// questions are answered by a fixed answer). Construct and run on the main thread.
class CliLoop final : public Shell, public UiFactory {
 public:
  explicit CliLoop(bool answerYes);

  // Runs the loop until `done` answers true (checked after every piece of work and at least
  // every 50 ms).
  void RunUntil(const std::function<bool()>& done);
  // Any thread: wakes the loop so that it checks `done` again.
  void Wake();
  // Lets the loop also serve another source of events (a toolkit's windows): `pump` runs on
  // every pass, at least every few milliseconds. Empty: none.
  void SetEventPump(std::function<void()> pump) { pump_ = std::move(pump); }

  // Shell.
  void PostToUiThread(std::function<void()> work) override;
  bool IsUiThread() const override { return std::this_thread::get_id() == uiThread_; }
  void ProcessEventsUntil(const std::function<bool()>& done) override { RunUntil(done); }
  void MinimizeApplication() override {}
  void RestoreApplication() override {}
  void PushBusyCursor() override {}
  void PopCursor() override {}
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void ShowInformation(WindowHandle, const std::string&, const std::string& text) override;
  int ChooseItem(WindowHandle, const std::string&, const std::string&,
                 const std::vector<std::string>&, int current) override {
    return current;
  }
  std::string DocumentsFolder() override;
  void OpenWithDefaultProgram(const std::string&, std::function<void()> failed) override {
    failed();
  }

  // UiFactory. Without a desktop there is no frame window to see and no picker to show.
  std::unique_ptr<Timer> NewTimer() override;
  std::unique_ptr<FrameWindow> NewFrameWindow() override;
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override { return nullptr; }
  std::unique_ptr<RegionPicker> NewObjectPicker() override { return nullptr; }

 private:
  friend class LoopTimer;
  void FireDueTimers();
  std::chrono::steady_clock::time_point NextDeadline() const;

  const bool answerYes_;
  const std::thread::id uiThread_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> posted_;
  bool woken_ = false;
  std::vector<LoopTimer*> timers_;  // UI thread only
  std::function<void()> pump_;      // UI thread only
};

}  // namespace orvenna
