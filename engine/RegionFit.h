#pragma once

#include <string>

#include "platform/Geometry.h"

namespace orvenna {

// The part of `area` that lies on a screen of `screen` size; empty (zero width or height)
// when there is none.
Rect OnScreen(const Rect& area, Size screen);

// A region as it can be recorded from a screen of a given size.
struct RegionFit {
  Rect region;           // what is recorded
  bool changed = false;  // `region` differs from the one asked for
  std::string problem;   // why nothing can be recorded; empty when `region` can be
};

// Only pixels on the screen can be grabbed. A fixed region keeps the part of it on the
// screen, and is refused when none is; a region that follows the mouse moves within the
// screen, so only its size is kept within the screen's. A side below 1 is refused. Any
// thread.
RegionFit FitRegionToScreen(const Rect& region, Size screen, bool followsMouse);

// "W x H at L,T", as messages name a region.
std::string RegionText(const Rect& region);

}  // namespace orvenna
