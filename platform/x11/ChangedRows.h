#pragma once

#include <vector>

#include "platform/Geometry.h"

namespace orvenna {

// Rows first .. first + count - 1 of a grabbed area.
struct RowSpan {
  int first = 0;
  int count = 0;
  bool operator==(const RowSpan&) const = default;
};

// The rows of `area` to read again so that a copy of it is up to date: those that the
// rectangles `changed` (screen coordinates) and `touched` (relative to the area) cross, top
// down. Spans closer than a few rows are joined, and many spans become one from the first to
// the last, since each span read costs a round trip to the server.
std::vector<RowSpan> ChangedRows(const std::vector<Rect>& changed, const std::vector<Rect>& touched,
                                 const Rect& area);

}  // namespace orvenna
