#pragma once

// Helpers of the X11 backend's tests: a window that shows a known pattern on the shared
// display, and a private X server for what the shared display cannot show.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/Geometry.h"

namespace orvenna::x11test {

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Calls `done` every 10 ms until it answers true or `seconds` have passed; its last answer.
template <typename Done>
bool WaitFor(Done done, double seconds = 5) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// A window of the test's own, above all others, whose every pixel has its own colour.
class PatternWindow {
 public:
  PatternWindow(Display* display, const Rect& place) : display_(display), place_(place) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;  // placed exactly, never moved by a window manager
    window_ =
        XCreateWindow(display, DefaultRootWindow(display), place.left, place.top,
                      static_cast<unsigned>(place.width), static_cast<unsigned>(place.height), 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
    XMapRaised(display, window_);
    XSync(display, False);
    Paint();
    shown_ = WaitFor([this] { return OnScreen(); });
  }
  ~PatternWindow() {
    XDestroyWindow(display_, window_);
    XSync(display_, False);
  }

  // Blue, green and red of the window's pixel (x, y); the spare byte 0.
  static std::uint32_t Colour(int x, int y) {
    const std::uint32_t blue = (x * 37) & 0xFF;
    const std::uint32_t green = (y * 101) & 0xFF;
    const std::uint32_t red = (x + 3 * y + 11) & 0xFF;
    return red << 16 | green << 8 | blue;
  }
  // Whether the screen pixel (x, y) belongs to the window.
  bool Covers(int x, int y) const {
    return x >= place_.left && x < place_.left + place_.width && y >= place_.top &&
           y < place_.top + place_.height;
  }
  // The window's colour at the screen pixel (x, y), which it covers.
  std::uint32_t ColourAt(int x, int y) const { return Colour(x - place_.left, y - place_.top); }
  bool Shown() const { return shown_; }
  Window window() const { return window_; }

 private:
  void Paint() {
    // The window is mapped but may not be exposed yet; painting until the pattern shows is
    // simpler than waiting for the exposure.
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(place_.width) * place_.height);
    for (int y = 0; y < place_.height; ++y) {
      for (int x = 0; x < place_.width; ++x)
        pixels[std::size_t(y) * place_.width + x] = Colour(x, y);
    }
    const int screen = DefaultScreen(display_);
    XImage* image =
        XCreateImage(display_, DefaultVisual(display_, screen), 24, ZPixmap, 0,
                     reinterpret_cast<char*>(pixels.data()), static_cast<unsigned>(place_.width),
                     static_cast<unsigned>(place_.height), 32, 0);
    XPutImage(display_, window_, DefaultGC(display_, screen), image, 0, 0, 0, 0,
              static_cast<unsigned>(place_.width), static_cast<unsigned>(place_.height));
    XFree(image);  // the pixels are the vector's
    XSync(display_, False);
  }
  bool OnScreen() {
    XImage* image = XGetImage(display_, DefaultRootWindow(display_), place_.left, place_.top,
                              static_cast<unsigned>(place_.width),
                              static_cast<unsigned>(place_.height), AllPlanes, ZPixmap);
    bool same = image != nullptr;
    for (int y = 0; same && y < place_.height; ++y) {
      for (int x = 0; same && x < place_.width; ++x) {
        same = (XGetPixel(image, x, y) & 0xFFFFFF) == Colour(x, y);
      }
    }
    if (image != nullptr) XDestroyImage(image);
    if (!same) Paint();
    return same;
  }

  Display* display_;
  Rect place_;
  Window window_ = 0;
  bool shown_ = false;
};

// An Xvfb of the test's own, started with extra arguments and stopped on destruction. It picks
// its own free display number.
class PrivateXServer {
 public:
  explicit PrivateXServer(const std::vector<std::string>& arguments) {
    int ready[2];
    if (pipe(ready) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, ready[0]);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> words{"Xvfb",      "-displayfd", std::to_string(ready[1]),
                                   "-nolisten", "tcp",        "-noreset"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd wait{ready[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && poll(&wait, 1, 10000) > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
      number += c;
    }
    close(ready[0]);
    if (!number.empty()) name_ = ":" + number;
  }
  ~PrivateXServer() { Stop(); }

  // ":N", or empty when the server did not start.
  const std::string& name() const { return name_; }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace orvenna::x11test
