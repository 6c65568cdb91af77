#include "selection/FreeHandState.h"

namespace orvenna {
namespace {

constexpr const char* kLineBreak = "\n\r";  // line feed first, then carriage return
constexpr const char* kRule = "----------------------------------------";  // 40 hyphens

}  // namespace

void FreeHandState::Reset() {
  dragging_ = false;
  selected_ = false;
  for (GuideLine& line : lines_) line.visible = false;
  tooltip_.clear();
}

// Both lines of the anchor cross at the cursor; the two lines of a drag are hidden.
void FreeHandState::LinesAtCursor(Point cursor) {
  lines_[kAnchorX] = GuideLine{true, cursor.x};
  lines_[kAnchorY] = GuideLine{true, cursor.y};
  lines_[kCurrentX].visible = false;
  lines_[kCurrentY].visible = false;
}

FreeHandState::Press FreeHandState::MouseDown(bool leftButton, bool control, Point cursor) {
  tooltip_.clear();
  if (control && leftButton && selected_ && selection_.width != 0 && selection_.height != 0) {
    return Press::Confirm;
  }
  if (!leftButton) return Press::Ignored;
  current_ = Point{};
  selection_ = Rect{};
  dragging_ = true;
  selected_ = false;
  LinesAtCursor(cursor);
  anchor_ = cursor;
  return Press::NewRectangle;
}

void FreeHandState::MouseMove(Point cursor) {
  if (dragging_) {
    lines_[kAnchorX].visible = true;
    lines_[kAnchorY].visible = true;
    lines_[kCurrentX] = GuideLine{true, cursor.x};
    lines_[kCurrentY] = GuideLine{true, cursor.y};
    current_ = cursor;
    selected_ = true;
  } else if (!selected_) {
    LinesAtCursor(cursor);  // a cross-hair that follows the cursor
  }
  Normalise();

  tooltip_ = "X: " + std::to_string(cursor.x) + " Y: " + std::to_string(cursor.y);
  if (selection_.height != 0 && selection_.width != 0) {
    tooltip_ += kLineBreak;
    tooltip_ += "Selected Area : " + std::to_string(selection_.width) + " x " +
                std::to_string(selection_.height);
  }
  tooltip_ += kLineBreak;
  tooltip_ += kRule;
  tooltip_ += kLineBreak;
  tooltip_ += "For Cancel Press (Esc Key)";
  tooltip_ += kLineBreak;
  tooltip_ += "For Select Press (Ctrl+Left Click)";
}

void FreeHandState::MouseUp() {
  Normalise();
  dragging_ = false;
  const bool noWidth = lines_[kAnchorX].at == lines_[kCurrentX].at;
  const bool noHeight = lines_[kAnchorY].at == lines_[kCurrentY].at;
  const bool neverMoved = !lines_[kCurrentX].visible && !lines_[kCurrentY].visible;
  selected_ = !(noWidth || noHeight || neverMoved);
}

void FreeHandState::Normalise() {
  if (current_.x > anchor_.x) {
    selection_.left = anchor_.x;
    selection_.width = current_.x - anchor_.x;
  } else {
    selection_.left = current_.x;
    selection_.width = anchor_.x - current_.x;
  }
  if (current_.y > anchor_.y) {
    selection_.top = anchor_.y;
    selection_.height = current_.y - anchor_.y;
  } else {
    selection_.top = current_.y;
    selection_.height = anchor_.y - current_.y;
  }
}

}  // namespace orvenna
