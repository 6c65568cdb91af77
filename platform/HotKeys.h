#pragma once

#include <functional>

namespace orvenna {

// Modifier bits of a hot key.
enum HotKeyModifier : unsigned {
  ModAlt = 1,
  ModControl = 2,
  ModShift = 4,
};

// Virtual key codes used by the engine.
enum VirtualKey : unsigned {
  VkReturn = 13,
  VkEscape = 27,
};

// System-wide hot keys: pressed anywhere on the desktop, delivered to `OnHotKey` on the UI
// thread with the identifier they were registered under. UI thread only.
class HotKeys {
 public:
  virtual ~HotKeys() = default;

  // False when the key cannot be had (for instance another program holds it).
  virtual bool Register(int id, unsigned modifiers, unsigned virtualKey) = 0;
  virtual void Unregister(int id) = 0;

  std::function<void(int id)> OnHotKey;
};

}  // namespace orvenna
