#pragma once

#include <X11/X.h>

namespace orvenna {

// The X key symbol of a virtual key code (Escape, Return, Space, Tab, Backspace, Pause, the
// cursor and editing keys, the letters A to Z, the digits, F1 to F12); NoSymbol for others.
KeySym KeySymOfVirtualKey(unsigned virtualKey);

}  // namespace orvenna
