#include "platform/fake/FakeDesktop.h"

#include <algorithm>

namespace orvenna {

bool FakeCursor::Query(CursorImage& out) {
  std::lock_guard guard(lock);
  if (!visible) return false;
  out = image;
  out.position = position;
  return true;
}

Point FakeCursor::Position() {
  std::lock_guard guard(lock);
  return position;
}

bool FakeHotKeys::Register(int id, unsigned modifiers, unsigned virtualKey) {
  registered[id] = Key{modifiers, virtualKey};
  return true;
}

void FakeShell::PostToUiThread(std::function<void()> work) {
  std::lock_guard guard(lock);
  posted_.push_back(std::move(work));
}

void FakeShell::ProcessEventsUntil(const std::function<bool()>& done) {
  while (!done()) {
    if (RunPosted() == 0) std::this_thread::yield();
  }
  RunPosted();
}

int FakeShell::RunPosted() {
  int ran = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard guard(lock);
      if (posted_.empty()) return ran;
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    work();
    ++ran;
  }
}

bool FakeShell::AskYesNo(const std::string& caption, const std::string& text) {
  std::lock_guard guard(lock);
  questions.push_back(caption + "|" + text);
  calls_.push_back("ask");
  if (answers.empty()) return false;
  const bool yes = answers.front();
  answers.pop_front();
  return yes;
}

void FakeShell::Record(const std::string& call) {
  std::lock_guard guard(lock);
  calls_.push_back(call);
}

std::vector<std::string> FakeShell::Calls() {
  std::lock_guard guard(lock);
  return calls_;
}

int FakeShell::CountCalls(const std::string& call) {
  std::lock_guard guard(lock);
  return static_cast<int>(std::count(calls_.begin(), calls_.end(), call));
}

void FakeFrameWindow::PlaceFrame(int left, int top, int width, int height, bool corners,
                                 const std::string& text) {
  placed = Rect{left, top, width, height};
  cornersOnly = corners;
  caption = text;
  ++places;
}

ModalResult FakePicker::ShowModal() {
  if (onShow) onShow();
  return closedWith != ModalResult::None ? closedWith : result;
}

std::unique_ptr<Timer> FakeUiFactory::NewTimer() {
  auto made = std::make_unique<FakeTimer>();
  timer = made.get();
  return made;
}

std::unique_ptr<FrameWindow> FakeUiFactory::NewFrameWindow() {
  auto made = std::make_unique<FakeFrameWindow>();
  frameWindow = made.get();
  return made;
}

std::unique_ptr<RegionPicker> FakeUiFactory::NewFreeHandPicker() {
  ++freeHandPickers;
  return NewPicker();
}

std::unique_ptr<RegionPicker> FakeUiFactory::NewObjectPicker() {
  ++objectPickers;
  return NewPicker();
}

std::unique_ptr<RegionPicker> FakeUiFactory::NewPicker() {
  auto made = std::make_unique<FakePicker>();
  if (preparePicker) preparePicker(*made);
  return made;
}

}  // namespace orvenna
