#pragma once

#include <array>
#include <string>

#include "platform/Geometry.h"

namespace orvenna {

// One of the free-hand window's four red guide lines, each a full width or height of the
// window: a vertical line at x = `at`, or a horizontal one at y = `at`.
struct GuideLine {
  bool visible = false;
  int at = 0;
  friend bool operator==(const GuideLine&, const GuideLine&) = default;
};

// What the free-hand window does with the mouse, apart from drawing: the rectangle being
// dragged out, the guide lines and the tooltip text. Positions are screen pixels (the window
// covers the screen from (0, 0)). A plain value, free of any window system; callable from any
// one thread at a time.
class FreeHandState {
 public:
  // Index of each guide line in Lines().
  static constexpr int kAnchorX = 0;   // vertical, at the cursor's x before a drag, then AnchorX
  static constexpr int kAnchorY = 1;   // horizontal, at the cursor's y before a drag, then AnchorY
  static constexpr int kCurrentX = 2;  // vertical, at the cursor's x during a drag
  static constexpr int kCurrentY = 3;  // horizontal, at the cursor's y during a drag

  enum class Press {
    Confirm,       // Ctrl + left press on a drawn rectangle of some width and height
    NewRectangle,  // a left press: a new rectangle is anchored at the cursor
    Ignored,       // another button
  };

  // The state at the window's opening: no rectangle, every line hidden, no tooltip.
  void Reset();
  Press MouseDown(bool leftButton, bool control, Point cursor);
  void MouseMove(Point cursor);
  // Any button: ends a drag. The rectangle stays selected when it has a width and a height.
  void MouseUp();

  bool Dragging() const { return dragging_; }
  bool Selected() const { return selected_; }
  Point Anchor() const { return anchor_; }
  Point Current() const { return current_; }
  // The rectangle between the anchor and the current point, left and top first: SelLeft,
  // SelTop, SelWidth and SelHeight. Width and height are the plain differences, so a confirmed
  // rectangle is at least one pixel wide and high.
  Rect Selection() const { return selection_; }
  const std::array<GuideLine, 4>& Lines() const { return lines_; }
  // The tooltip's text; its line breaks are the two characters "\n\r". Empty after a press
  // until the next move.
  const std::string& Tooltip() const { return tooltip_; }

 private:
  void Normalise();
  void LinesAtCursor(Point cursor);

  bool dragging_ = false;
  bool selected_ = false;
  Point anchor_;
  Point current_;
  Rect selection_;
  std::array<GuideLine, 4> lines_{};
  std::string tooltip_;
};

}  // namespace orvenna
