#include "platform/x11/X11Connection.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace orvenna {
namespace {

// Xlib has one error handler and one handler of lost connections per process. Ours deal with
// our own connections and hand any other connection to the handlers installed before them.
struct ErrorRouting {
  std::mutex mutex;
  std::unordered_map<Display*, X11Connection*> connections;
  XErrorHandler previousError = nullptr;
  XIOErrorHandler previousLoss = nullptr;
  bool lossTold = false;  // every connection of the process notices a loss: one line says it
};

ErrorRouting& Routing() {
  // Never destroyed: connections of other threads may outlive static destruction.
  static auto* routing = new ErrorRouting;
  return *routing;
}

std::string OpenError(const std::string& displayName) {
  const char* environment = std::getenv("DISPLAY");
  const std::string display = environment ? environment : "";
  if (displayName.empty() && display.empty()) {
    return "X11: cannot open an X display: DISPLAY is not set. Set DISPLAY to a running X "
           "server (for example DISPLAY=:0) or start one (for example Xvfb :1).";
  }
  const std::string name = displayName.empty() ? display : displayName;
  const std::string setting = environment ? "DISPLAY=" + display : "DISPLAY is not set";
  return "X11: cannot open the X display '" + name + "' (" + setting +
         "): no X server accepted the connection. Start the X server or set DISPLAY to a "
         "running one.";
}

}  // namespace

std::unique_ptr<X11Connection> X11Connection::Open(const std::string& displayName,
                                                   std::string& error) {
  // Each of our threads uses its own connection, but Xlib's process-wide state (the error
  // handler, the resource database) is shared, so Xlib must lock.
  XInitThreads();
  Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (display == nullptr) {
    error = OpenError(displayName);
    return nullptr;
  }
  return std::unique_ptr<X11Connection>(new X11Connection(display, DisplayString(display)));
}

X11Connection::X11Connection(Display* display, std::string name)
    : display_(display), name_(std::move(name)) {
  ErrorRouting& routing = Routing();
  std::lock_guard lock(routing.mutex);
  // Installed at every opening, in case another part of the program has replaced them since;
  // the handlers found are kept for the connections that are not ours.
  const XErrorHandler foundError = XSetErrorHandler(&RecordError);
  if (foundError != &RecordError) routing.previousError = foundError;
  const XIOErrorHandler foundLoss = XSetIOErrorHandler(&ReportLoss);
  if (foundLoss != &ReportLoss) routing.previousLoss = foundLoss;
  routing.connections[display_] = this;
  XSetIOErrorExitHandler(display_, &MarkBroken, this);
}

X11Connection::~X11Connection() {
  // Closing sends and waits for the last requests: their errors must still be ours.
  XCloseDisplay(display_);
  ErrorRouting& routing = Routing();
  std::lock_guard lock(routing.mutex);
  // Another thread may already have opened a connection at the same address.
  const auto it = routing.connections.find(display_);
  if (it != routing.connections.end() && it->second == this) routing.connections.erase(it);
}

bool X11Connection::Sync() {
  XSync(display_, False);
  const int error = firstError_.exchange(Success);
  return error == Success && !Broken();
}

int X11Connection::RecordError(Display* display, XErrorEvent* event) {
  XErrorHandler previous = nullptr;
  {
    ErrorRouting& routing = Routing();
    std::lock_guard lock(routing.mutex);
    const auto it = routing.connections.find(display);
    if (it != routing.connections.end()) {
      int none = Success;
      it->second->firstError_.compare_exchange_strong(none, event->error_code);
      return 0;
    }
    previous = routing.previousError;
  }
  return previous != nullptr ? previous(display, event) : 0;
}

int X11Connection::ReportLoss(Display* display) {
  XIOErrorHandler previous = nullptr;
  {
    ErrorRouting& routing = Routing();
    std::lock_guard lock(routing.mutex);
    const auto it = routing.connections.find(display);
    if (it != routing.connections.end()) {
      // Returning hands over to MarkBroken instead of ending the process.
      if (!routing.lossTold) {
        std::fprintf(stderr, "X11: lost the connection to the X display '%s'\n",
                     it->second->name_.c_str());
      }
      routing.lossTold = true;
      return 0;
    }
    previous = routing.previousLoss;
  }
  return previous != nullptr ? previous(display) : 0;
}

void X11Connection::MarkBroken(Display* display, void* connection) {
  // Returning (instead of exiting, Xlib's default) makes every later request on this
  // connection fail at once.
  static_cast<X11Connection*>(connection)->broken_.store(true, std::memory_order_relaxed);
  // Xlib 1.8.4 takes the display's user lock for this thread before reporting the loss and
  // never gives it back, so any other thread's next call would wait forever. Unlocking a
  // display that is not locked does nothing, so this is harmless where Xlib does release it.
  XUnlockDisplay(display);
}

}  // namespace orvenna
