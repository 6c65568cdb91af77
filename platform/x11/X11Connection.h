#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <memory>
#include <string>

namespace orvenna {

// One Xlib connection of ours. Opening it yields an error text that says what to do when no
// server answers; protocol errors on it are recorded instead of ending the process (Xlib's
// default), and a lost server marks it broken instead of exiting. Closed on destruction.
// Xlib serialises the calls on one connection; its owner says which threads use it.
class X11Connection {
 public:
  // Opens `displayName` (empty: $DISPLAY); null with `error` set when that fails.
  static std::unique_ptr<X11Connection> Open(const std::string& displayName, std::string& error);

  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  Display* display() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  // The name the connection was opened with, as Xlib resolved it (":1").
  const std::string& name() const { return name_; }

  // Waits until the server has handled every request sent so far. True when none of the
  // requests since the previous call failed and the connection stands; clears the record.
  bool Sync();
  // True once the connection to the server is lost; every later request fails at once.
  bool Broken() const { return broken_.load(std::memory_order_relaxed); }

 private:
  X11Connection(Display* display, std::string name);
  static int RecordError(Display* display, XErrorEvent* event);
  static int ReportLoss(Display* display);
  static void MarkBroken(Display* display, void* connection);

  Display* display_;
  std::string name_;
  std::atomic<int> firstError_{Success};
  std::atomic<bool> broken_{false};
};

}  // namespace orvenna
