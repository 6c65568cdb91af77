#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <memory>
#include <vector>

#include "platform/Geometry.h"

namespace orvenna {

class X11Connection;

// Follows which parts of the screen were drawn into (the X DAMAGE extension), so that a grab
// can read again only what changed. Used by the thread that owns the connection.
class X11ScreenChanges {
 public:
  // Null when the server offers no DAMAGE extension or no XFixes regions.
  static std::unique_ptr<X11ScreenChanges> Start(X11Connection& connection);
  ~X11ScreenChanges();
  X11ScreenChanges(const X11ScreenChanges&) = delete;
  X11ScreenChanges& operator=(const X11ScreenChanges&) = delete;

  // Fills `changed` with the rectangles drawn into since the last call (or the start), in
  // screen coordinates, and forgets them. Changes made after this request are left for the
  // next call, so a read of the screen that follows it misses nothing drawn before it. False
  // when the list could not be had (then anything may have changed). It waits for the server's
  // answer even when nothing changed: that wait keeps a grab loop from spinning on a core.
  bool Take(std::vector<Rect>& changed);

 private:
  X11ScreenChanges(X11Connection& connection, XID damage, XserverRegion region, int eventBase);

  X11Connection& connection_;
  const XID damage_;
  const XserverRegion region_;
  const int eventBase_;
};

}  // namespace orvenna
