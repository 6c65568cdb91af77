#pragma once

#include "platform/HotKeys.h"

namespace orvenna {

// The hot keys of a desktop that lets no program take keys from the others (a Wayland desktop
// without a global shortcuts service): none can be had, and the program's own controls stop
// and cancel instead.
class UnavailableHotKeys final : public HotKeys {
 public:
  bool Register(int, unsigned, unsigned) override { return false; }
  void Unregister(int) override {}
};

}  // namespace orvenna
