#include "platform/x11/X11ScreenChanges.h"

#include <X11/extensions/Xdamage.h>

#include "platform/x11/X11Connection.h"

namespace orvenna {

std::unique_ptr<X11ScreenChanges> X11ScreenChanges::Start(X11Connection& connection) {
  Display* display = connection.display();
  int eventBase = 0;
  int errorBase = 0;
  int fixesEvents = 0;
  int fixesErrors = 0;
  int major = 0;
  int minor = 0;
  if (!XDamageQueryExtension(display, &eventBase, &errorBase) ||
      !XFixesQueryExtension(display, &fixesEvents, &fixesErrors) ||
      !XFixesQueryVersion(display, &major, &minor) || major < 2) {
    return nullptr;
  }
  // The least talkative report level: one event each time the damage stops being empty, which
  // Take drops; the changes themselves are fetched with each Take.
  const Damage damage = XDamageCreate(display, connection.root(), XDamageReportNonEmpty);
  const XserverRegion region = XFixesCreateRegion(display, nullptr, 0);
  if (!connection.Sync() || damage == 0 || region == 0) return nullptr;
  return std::unique_ptr<X11ScreenChanges>(
      new X11ScreenChanges(connection, damage, region, eventBase));
}

X11ScreenChanges::X11ScreenChanges(X11Connection& connection, XID damage, XserverRegion region,
                                   int eventBase)
    : connection_(connection), damage_(damage), region_(region), eventBase_(eventBase) {}

X11ScreenChanges::~X11ScreenChanges() {
  if (connection_.Broken()) return;
  Display* display = connection_.display();
  XDamageDestroy(display, damage_);
  XFixesDestroyRegion(display, region_);
  connection_.Sync();
}

bool X11ScreenChanges::Take(std::vector<Rect>& changed) {
  Display* display = connection_.display();
  XDamageSubtract(display, damage_, None, region_);
  int count = 0;
  XRectangle* rectangles = XFixesFetchRegion(display, region_, &count);
  changed.clear();
  if (rectangles != nullptr) {
    changed.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      changed.push_back(
          Rect{rectangles[i].x, rectangles[i].y, rectangles[i].width, rectangles[i].height});
    }
    XFree(rectangles);
  }
  // The notices of new damage are not needed: drop them, so that they do not pile up.
  XEvent notice;
  while (XCheckTypedEvent(display, eventBase_ + XDamageNotify, &notice)) {
  }
  return rectangles != nullptr;
}

}  // namespace orvenna
