#pragma once

#include "platform/Windows.h"

namespace orvenna {

// A frame around the region that is never drawn: on a desktop where no program may place its
// windows (Wayland), where it could not be put around the region, and where nobody would see it
// (orvenna-cli without a picker).
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
