#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/HotKeys.h"
#include "platform/Shell.h"
#include "platform/Windows.h"

namespace orvenna {

// A clock the test moves by hand; optionally it moves by itself on every reading. Any thread.
class ManualClock final : public Clock {
 public:
  std::uint32_t Milliseconds() override { return now.fetch_add(stepPerReading); }
  std::atomic<std::uint32_t> now{1000};
  std::atomic<std::uint32_t> stepPerReading{0};
};

// A cursor the test places. Any thread.
class FakeCursor final : public Cursor {
 public:
  bool Query(CursorImage& image) override;
  Point Position() override;

  std::mutex lock;
  bool visible = false;
  CursorImage image;  // position is taken from `position`
  Point position;
};

// Hot keys that the test presses with Press(). UI thread.
class FakeHotKeys final : public HotKeys {
 public:
  bool Register(int id, unsigned modifiers, unsigned virtualKey) override;
  void Unregister(int id) override { registered.erase(id); }
  void Press(int id) {
    if (OnHotKey && registered.count(id)) OnHotKey(id);
  }
  struct Key {
    unsigned modifiers;
    unsigned virtualKey;
  };
  std::map<int, Key> registered;
};

// A shell that answers questions from a script and records what it was asked to do. The
// test thread plays the UI thread: posted work waits in a queue until RunPosted().
class FakeShell final : public Shell {
 public:
  FakeShell() : uiThread_(std::this_thread::get_id()) {}

  void PostToUiThread(std::function<void()> work) override;
  bool IsUiThread() const override { return std::this_thread::get_id() == uiThread_; }
  void ProcessEventsUntil(const std::function<bool()>& done) override;
  void MinimizeApplication() override { Record("minimize"); }
  void RestoreApplication() override { Record("restore"); }
  void PushBusyCursor() override { Record("busy"); }
  void PopCursor() override { Record("cursor back"); }
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  void ShowInformation(WindowHandle, const std::string& caption, const std::string& text) override {
    if (onInformation) onInformation(text);
    Record("information " + caption + ": " + text);
  }
  int ChooseItem(WindowHandle, const std::string& caption, const std::string&,
                 const std::vector<std::string>&, int current) override {
    Record("choose " + caption);
    return current;
  }
  std::string DocumentsFolder() override { return "/tmp"; }
  void OpenWithDefaultProgram(const std::string& path, std::function<void()>) override {
    Record("open " + path);
  }

  // Runs the work posted so far (and what it posts in turn); answers how many ran.
  int RunPosted();
  std::vector<std::string> Calls();
  int CountCalls(const std::string& call);

  std::mutex lock;
  std::deque<bool> answers;            // answers to AskYesNo, in order; empty: No
  std::vector<std::string> questions;  // "caption|text" of every question asked
  std::function<void(const std::string& text)> onInformation;  // while the message is shown

 private:
  void Record(const std::string& call);
  std::thread::id uiThread_;
  std::vector<std::string> calls_;
  std::deque<std::function<void()>> posted_;
};

class FakeTimer final : public Timer {
 public:
  void SetInterval(int milliseconds) override { interval = milliseconds; }
  void SetEnabled(bool value) override { enabled = value; }
  bool Enabled() const override { return enabled; }
  // Fires once when enabled.
  void Fire() {
    if (enabled && OnTimer) OnTimer();
  }
  int interval = 0;
  bool enabled = false;
};

class FakeFrameWindow final : public FrameWindow {
 public:
  void PlaceFrame(int left, int top, int width, int height, bool cornersOnly,
                  const std::string& caption) override;
  void PaintFrame(std::uint32_t colour, const std::string&) override { paintedColour = colour; }
  void ShowOnTop() override { showing = true; }
  void Hide() override { showing = false; }
  bool IsShowing() const override { return showing; }
  void Restore() override { ++restores; }

  bool showing = true;
  Rect placed;
  bool cornersOnly = false;
  std::string caption;
  std::uint32_t paintedColour = 0;
  int places = 0;
  int restores = 0;
};

// A picker whose ShowModal runs `onShow` (the test's user) and answers what Close set, or
// `result` when nothing closed it.
class FakePicker final : public RegionPicker {
 public:
  void MakeTopmost() override { topmost = true; }
  ModalResult ShowModal() override;
  void Close(ModalResult value) override { closedWith = value; }
  void StopTimer() override { timerStopped = true; }
  Rect Selection() const override { return selection; }

  std::function<void()> onShow;
  ModalResult result = ModalResult::Cancel;
  ModalResult closedWith = ModalResult::None;
  Rect selection;
  bool topmost = false;
  bool timerStopped = false;
};

// Hands out fakes and keeps pointers to the last ones for the test to drive.
class FakeUiFactory final : public UiFactory {
 public:
  std::unique_ptr<Timer> NewTimer() override;
  std::unique_ptr<FrameWindow> NewFrameWindow() override;
  std::unique_ptr<RegionPicker> NewFreeHandPicker() override;
  std::unique_ptr<RegionPicker> NewObjectPicker() override;

  FakeTimer* timer = nullptr;
  FakeFrameWindow* frameWindow = nullptr;
  // Set up a picker before it is shown: called with each new picker.
  std::function<void(FakePicker&)> preparePicker;
  int freeHandPickers = 0;
  int objectPickers = 0;

 private:
  std::unique_ptr<RegionPicker> NewPicker();
};

}  // namespace orvenna
