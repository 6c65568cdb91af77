#pragma once

#include "platform/Windows.h"

namespace orvenna {

// The frame around the region on a desktop where no program may place its windows (Wayland):
// it is never drawn, since it could not be put around the region.
class NoFrameWindow final : public FrameWindow {
 public:
  void PlaceFrame(int, int, int, int, bool, const std::string&) override {}
  void PaintFrame(std::uint32_t, const std::string&) override {}
  void ShowOnTop() override {}
  void Hide() override {}
  bool IsShowing() const override { return false; }
  void Restore() override {}
};

}  // namespace orvenna
