// What the free-hand window makes of the mouse: the rectangle, whether it can be confirmed,
// the guide lines and the tooltip text, for sequences of presses, moves and releases.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "selection/FreeHandState.h"

namespace orvenna {
namespace {

// Plays mouse events from the window's opening, written as "L x,y" (left press), "R x,y"
// (right press), "C x,y" (Ctrl + right press), "M x,y" (move) and "U" (any button up).
void Play(FreeHandState& state, const std::string& events) {
  state.Reset();
  std::istringstream in(events);
  char kind = 0;
  while (in >> kind) {
    Point at;
    char comma = 0;
    if (kind != 'U') in >> at.x >> comma >> at.y;
    if (kind == 'M') state.MouseMove(at);
    if (kind == 'U') state.MouseUp();
    if (kind == 'L' || kind == 'R' || kind == 'C') state.MouseDown(kind == 'L', kind == 'C', at);
  }
}

struct Case {
  const char* events;
  Rect selection;
  bool selected;
  bool confirmable;  // a Ctrl + left press next would confirm
};

TEST(FreeHandStateTest, RectanglesAreNormalisedAndOnlyRealOnesCanBeConfirmed) {
  const std::vector<Case> cases = {
      // Down and right: the sizes are the plain differences.
      {"L 10,40 M 15,45 M 20,60 U", {10, 40, 10, 20}, true, true},
      // Up and left: the end point is the top-left corner.
      {"L 300,200 M 100,50 U", {100, 50, 200, 150}, true, true},
      // A straight line has no height (or no width); back at the anchor, neither.
      {"L 100,200 M 300,200 U", {100, 200, 200, 0}, false, false},
      {"L 100,200 M 100,90 U", {100, 90, 0, 110}, false, false},
      {"L 100,200 M 150,250 M 100,200 U", {100, 200, 0, 0}, false, false},
      // A click without moving: from (0, 0) to the click, never confirmable.
      {"L 40,30 U", {0, 0, 40, 30}, false, false},
      // A left press on a drawn rectangle starts a new one, still being dragged.
      {"L 10,10 M 50,70 U L 400,300", {0, 0, 0, 0}, false, false},
      // Other buttons, with or without Ctrl, and moves after the release change nothing.
      {"L 10,10 M 50,70 U R 500,500 C 500,500 M 900,900", {10, 10, 40, 60}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.events);
    FreeHandState state;
    Play(state, c.events);
    EXPECT_EQ(state.Selection(), c.selection);
    EXPECT_EQ(state.Selected(), c.selected);
    FreeHandState next = state;
    const FreeHandState::Press press = next.MouseDown(true, true, Point{1, 1});
    EXPECT_EQ(press == FreeHandState::Press::Confirm, c.confirmable);
    if (press != FreeHandState::Press::Confirm) {
      EXPECT_EQ(press, FreeHandState::Press::NewRectangle);
      continue;
    }
    // What is confirmed is what the engine records: at least one pixel each way.
    EXPECT_EQ(next.Selection(), c.selection);
    EXPECT_GE(c.selection.width, 1);
    EXPECT_GE(c.selection.height, 1);
  }
}

TEST(FreeHandStateTest, GuideLinesFollowTheCursorThenMarkTheRectangle) {
  using Lines = std::array<GuideLine, 4>;
  FreeHandState state;
  state.Reset();
  EXPECT_EQ(state.Lines(), (Lines{}));  // none before the first move

  state.MouseMove({200, 100});  // a cross-hair at the cursor
  EXPECT_EQ(state.Lines(), (Lines{{{true, 200}, {true, 100}, {false, 0}, {false, 0}}}));

  EXPECT_EQ(state.MouseDown(true, false, {210, 110}), FreeHandState::Press::NewRectangle);
  EXPECT_TRUE(state.Dragging());
  EXPECT_FALSE(state.Selected());
  EXPECT_EQ(state.Anchor(), (Point{210, 110}));
  EXPECT_EQ(state.Lines(), (Lines{{{true, 210}, {true, 110}, {false, 0}, {false, 0}}}));

  state.MouseMove({400, 300});  // all four during the drag
  EXPECT_TRUE(state.Selected());
  EXPECT_EQ(state.Lines(), (Lines{{{true, 210}, {true, 110}, {true, 400}, {true, 300}}}));

  state.MouseUp();
  state.MouseMove({800, 700});  // fixed once drawn
  EXPECT_EQ(state.Lines(), (Lines{{{true, 210}, {true, 110}, {true, 400}, {true, 300}}}));

  // A new press hides the two lines of the old drag and anchors the other two.
  state.MouseDown(true, false, {50, 60});
  EXPECT_EQ(state.Lines(), (Lines{{{true, 50}, {true, 60}, {false, 400}, {false, 300}}}));
  // A click without moving: the cross-hair follows the cursor again.
  state.MouseUp();
  EXPECT_FALSE(state.Selected());
  state.MouseMove({70, 80});
  EXPECT_EQ(state.Lines(), (Lines{{{true, 70}, {true, 80}, {false, 400}, {false, 300}}}));
}

TEST(FreeHandStateTest, TooltipTextWithItsLineBreaks) {
  const std::string rule(40, '-');
  const std::string keys = "\n\r" + rule +
                           "\n\rFor Cancel Press (Esc Key)"
                           "\n\rFor Select Press (Ctrl+Left Click)";
  FreeHandState state;
  state.Reset();
  state.MouseMove({640, 400});
  EXPECT_EQ(state.Tooltip(), "X: 640 Y: 400" + keys);

  state.MouseDown(true, false, {640, 400});
  EXPECT_EQ(state.Tooltip(), "");  // a press clears it
  state.MouseMove({740, 450});
  EXPECT_EQ(state.Tooltip(), "X: 740 Y: 450\n\rSelected Area : 100 x 50" + keys);

  // The size line needs both a width and a height.
  state.MouseMove({800, 400});
  EXPECT_EQ(state.Tooltip(), "X: 800 Y: 400" + keys);
  // Another button clears it too.
  state.MouseDown(false, false, {800, 400});
  EXPECT_EQ(state.Tooltip(), "");
}

}  // namespace
}  // namespace orvenna
