#include "platform/x11/ChangedRows.h"

#include <algorithm>
#include <cstddef>

namespace orvenna {
namespace {

constexpr int kJoinGap = 16;  // rows between two spans that are read as one
constexpr std::size_t kMaxSpans = 8;

// Adds the rows of `part` (relative to the area) that lie within the area's `height` rows and
// its `width` columns.
void AddRows(const Rect& part, int width, int height, std::vector<RowSpan>& spans) {
  if (part.width <= 0 || part.height <= 0) return;
  if (part.left >= width || part.left + part.width <= 0) return;
  const int first = std::max(part.top, 0);
  const int end = std::min(part.top + part.height, height);
  if (first < end) spans.push_back(RowSpan{first, end - first});
}

}  // namespace

std::vector<RowSpan> ChangedRows(const std::vector<Rect>& changed, const std::vector<Rect>& touched,
                                 const Rect& area) {
  std::vector<RowSpan> spans;
  for (const Rect& rect : changed) {
    AddRows(Rect{rect.left - area.left, rect.top - area.top, rect.width, rect.height}, area.width,
            area.height, spans);
  }
  for (const Rect& rect : touched) AddRows(rect, area.width, area.height, spans);
  if (spans.empty()) return spans;
  std::sort(spans.begin(), spans.end(),
            [](const RowSpan& a, const RowSpan& b) { return a.first < b.first; });
  std::vector<RowSpan> joined{spans.front()};
  for (std::size_t i = 1; i < spans.size(); ++i) {
    RowSpan& last = joined.back();
    const int lastEnd = last.first + last.count;
    if (spans[i].first <= lastEnd + kJoinGap) {
      last.count = std::max(lastEnd, spans[i].first + spans[i].count) - last.first;
    } else {
      joined.push_back(spans[i]);
    }
  }
  if (joined.size() > kMaxSpans) {
    const int end = joined.back().first + joined.back().count;
    joined = {RowSpan{joined.front().first, end - joined.front().first}};
  }
  return joined;
}

}  // namespace orvenna
