#include "selection/SelObjWnd.h"

#include <cstdint>
#include <vector>

#include "selection/PickerInput.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kFrameColour = 255;  // pure red

}  // namespace

TSelObjWindow::TSelObjWindow(const PickerDesktop& desktop) : desktop_(desktop) {
  frame_.setObjectName(QStringLiteral("WindowPicker"));
  frame_.setWindowTitle(QStringLiteral("Orvenna window picker"));
  frame_.setGeometry(192, 114, 303, 200);
  Timer1.setInterval(kTickMilliseconds);
  QObject::connect(&Timer1, &QTimer::timeout, &frame_, [this] { Timer1Timer(); });
  Timer1.start();
}

TSelObjWindow::~TSelObjWindow() {
  Timer1.stop();
}

void TSelObjWindow::MakeTopmost() {
  frame_.raise();
}

void TSelObjWindow::Timer1Timer() {
  const Point cursor = desktop_.cursor.Position();
  FoundWindow found;
  const std::vector<std::uint64_t> ours{static_cast<std::uint64_t>(frame_.winId())};
  if (!desktop_.windows.WindowAt(cursor, ours, found)) return;
  pick_ = found.outer;
  frame_.PlaceFrame(pick_.left, pick_.top, pick_.width, pick_.height, false, kCaption);
  frame_.PaintFrame(kFrameColour, kCaption);
  frame_.ShowOnTop();
}

ModalResult TSelObjWindow::ShowModal() {
  result_ = ModalResult::None;
  const PickerInputOnly modal(nullptr);
  // The first frame at once, rather than the window's design-time place for one tick.
  Timer1Timer();
  desktop_.shell.ProcessEventsUntil([this] { return result_ != ModalResult::None; });
  Timer1.stop();  // a closed picker frames nothing more
  return result_;
}

void TSelObjWindow::Close(ModalResult result) {
  if (result_ == ModalResult::None) result_ = result;
  frame_.Hide();
}

void TSelObjWindow::StopTimer() {
  Timer1.stop();
}

}  // namespace orvenna
