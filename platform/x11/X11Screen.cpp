#include "platform/x11/X11Screen.h"

#include <utility>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Grabber.h"

namespace orvenna {

std::unique_ptr<X11Screen> X11Screen::Open(const std::string& displayName, std::string& error) {
  const std::unique_ptr<X11Connection> connection = X11Connection::Open(displayName, error);
  if (connection == nullptr) return nullptr;
  error = X11Grabber::PixelFormatError(*connection);
  if (!error.empty()) return nullptr;
  Display* display = connection->display();
  const int screen = DefaultScreen(display);
  const Size size{DisplayWidth(display, screen), DisplayHeight(display, screen)};
  return std::unique_ptr<X11Screen>(new X11Screen(connection->name(), size));
}

X11Screen::X11Screen(std::string displayName, Size size)
    : displayName_(std::move(displayName)), size_(size) {}

std::unique_ptr<ScreenGrabber> X11Screen::NewGrabber() {
  return std::make_unique<X11Grabber>(displayName_);
}

}  // namespace orvenna
