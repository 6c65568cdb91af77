#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace orvenna {

void CentreOnPrimaryScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  QRect frame(QPoint(0, 0), window.size());
  frame.moveCenter(area.center());
  // A window larger than the work area (at 192 dpi the main window is taller than a 1080-line
  // screen) keeps its top-left corner, and with it the title bar, on the work area.
  window.move(std::max(frame.left(), area.left()), std::max(frame.top(), area.top()));
}

}  // namespace orvenna
