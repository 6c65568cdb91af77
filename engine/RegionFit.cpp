#include "engine/RegionFit.h"

#include <algorithm>

#include "engine/Vistrel.h"
#include "platform/Log.h"

namespace orvenna {

Rect OnScreen(const Rect& area, Size screen) {
  const auto clamp = [](long long value, int high) {
    return static_cast<int>(std::clamp<long long>(value, 0, std::max(high, 0)));
  };
  const int left = clamp(area.left, screen.width);
  const int top = clamp(area.top, screen.height);
  const int right =
      clamp(static_cast<long long>(area.left) + std::max(area.width, 0), screen.width);
  const int bottom =
      clamp(static_cast<long long>(area.top) + std::max(area.height, 0), screen.height);
  return Rect{left, top, right - left, bottom - top};
}

std::string RegionText(const Rect& region) {
  return std::to_string(region.width) + " x " + std::to_string(region.height) + " at " +
         std::to_string(region.left) + "," + std::to_string(region.top);
}

RegionFit FitRegionToScreen(const Rect& region, Size screen, bool followsMouse) {
  RegionFit fit{region, false, {}};
  if (region.width < 1 || region.height < 1) {
    fit.region = OnScreen(region, screen);  // empty
    fit.problem = "The region " + RegionText(region) +
                  " is empty, so nothing would be recorded. Give it a width and a height of "
                  "at least 1 pixel.";
    return fit;
  }
  if (followsMouse) {
    fit.region.width = std::min(region.width, screen.width);
    fit.region.height = std::min(region.height, screen.height);
  } else {
    fit.region = OnScreen(region, screen);
    if (fit.region.width <= 0 || fit.region.height <= 0) {
      fit.problem = "The region " + RegionText(region) + " lies wholly outside the screen (" +
                    std::to_string(screen.width) + " x " + std::to_string(screen.height) +
                    "), so nothing would be recorded. Choose a region on the screen.";
      return fit;
    }
  }
  fit.changed = fit.region != region;
  return fit;
}

// Fits a fixed or mouse-following region to the screen before anything is allocated for
// it: a region far larger than the screen would otherwise ask for frames of its whole size.
bool TVistrel::FitRegionForRecording() {
  const TScreenRegion kind = ScreenRegion();
  if (kind != TScreenRegion::FixedStable && kind != TScreenRegion::FixedMoving) return true;
  const Rect asked = Region();
  const RegionFit fit =
      FitRegionToScreen(asked, platform_.screen.ScreenSize(), kind == TScreenRegion::FixedMoving);
  if (!fit.problem.empty()) {
    RaiseError(fit.problem);
    return false;
  }
  if (fit.changed) {
    Log(LogLevel::Info, "engine",
        "the region " + RegionText(asked) + " reaches beyond the screen; recording " +
            RegionText(fit.region));
    region_.Set(fit.region);
  }
  return true;
}

}  // namespace orvenna
