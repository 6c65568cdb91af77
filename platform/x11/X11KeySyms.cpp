#include "platform/x11/X11KeySyms.h"

#include <X11/keysym.h>

namespace orvenna {

KeySym KeySymOfVirtualKey(unsigned virtualKey) {
  // Letters and digits share their codes with upper-case ASCII; X names the unshifted symbol.
  if (virtualKey >= 'A' && virtualKey <= 'Z') return XK_a + (virtualKey - 'A');
  if (virtualKey >= '0' && virtualKey <= '9') return XK_0 + (virtualKey - '0');
  if (virtualKey >= 0x70 && virtualKey <= 0x7B) return XK_F1 + (virtualKey - 0x70);
  switch (virtualKey) {
    case 0x08:
      return XK_BackSpace;
    case 0x09:
      return XK_Tab;
    case 0x0D:
      return XK_Return;
    case 0x13:
      return XK_Pause;
    case 0x1B:
      return XK_Escape;
    case 0x20:
      return XK_space;
    case 0x21:
      return XK_Prior;
    case 0x22:
      return XK_Next;
    case 0x23:
      return XK_End;
    case 0x24:
      return XK_Home;
    case 0x25:
      return XK_Left;
    case 0x26:
      return XK_Up;
    case 0x27:
      return XK_Right;
    case 0x28:
      return XK_Down;
    case 0x2C:
      return XK_Print;
    case 0x2D:
      return XK_Insert;
    case 0x2E:
      return XK_Delete;
    default:
      return NoSymbol;
  }
}

}  // namespace orvenna
