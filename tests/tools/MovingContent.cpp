// orvenna-moving-content: shows moving pictures in a borderless window for tests and
// benchmarks, at almost no cost: the frames are uploaded once into server-side pixmaps and
// then copied on screen one per period, paced by absolute deadlines.
//
//   orvenna-moving-content [--geometry WxH+X+Y] [--fps N] [--frames N] [--raw FILE]
//
// Without --raw the frames are drawn here: a colour gradient that scrolls and a white square
// that crosses the window. With --raw FILE the frames are read from FILE (raw 32-bit BGRA
// frames of the window's size, e.g. made with ffmpeg's testsrc2). Runs until killed.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

struct Options {
  int width = 640, height = 480, left = 0, top = 0;
  int fps = 30;
  int frames = 30;
  std::string raw;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "--geometry") {
      if (std::sscanf(value, "%dx%d+%d+%d", &options.width, &options.height, &options.left,
                      &options.top) != 4) {
        return false;
      }
    } else if (arg == "--fps") {
      options.fps = std::atoi(value);
    } else if (arg == "--frames") {
      options.frames = std::atoi(value);
    } else if (arg == "--raw") {
      options.raw = value;
    } else {
      return false;
    }
  }
  return options.width > 0 && options.height > 0 && options.fps > 0 && options.frames > 0;
}

void DrawFrame(std::vector<std::uint32_t>& pixels, int width, int height, int index, int count) {
  const int square = std::max(8, height / 4);
  const int squareLeft = (width - square) * index / std::max(1, count - 1);
  const int squareTop = (height - square) / 2;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool inSquare =
          x >= squareLeft && x < squareLeft + square && y >= squareTop && y < squareTop + square;
      const std::uint32_t red = static_cast<std::uint32_t>((x + index * 8) & 0xFF);
      const std::uint32_t green = static_cast<std::uint32_t>(y * 255 / std::max(1, height - 1));
      const std::uint32_t blue = 0x60;
      pixels[static_cast<std::size_t>(y) * width + x] =
          inSquare ? 0xFFFFFFu : (red << 16 | green << 8 | blue);
    }
  }
}

bool ReadFrame(std::FILE* file, std::vector<std::uint32_t>& pixels) {
  return std::fread(pixels.data(), 4, pixels.size(), file) == pixels.size();
}

void SleepUntil(const timespec& deadline) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: orvenna-moving-content [--geometry WxH+X+Y] [--fps N] [--frames N] "
                 "[--raw FILE]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "orvenna-moving-content: cannot open the display (DISPLAY=%s)\n",
                 std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
    return 1;
  }
  const int screen = DefaultScreen(display);
  Visual* visual = DefaultVisual(display, screen);
  const int depth = DefaultDepth(display, screen);

  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(display, screen);
  const Window window =
      XCreateWindow(display, RootWindow(display, screen), options.left, options.top,
                    static_cast<unsigned>(options.width), static_cast<unsigned>(options.height), 0,
                    depth, InputOutput, visual, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, window);
  const GC gc = XCreateGC(display, window, 0, nullptr);

  std::FILE* raw = options.raw.empty() ? nullptr : std::fopen(options.raw.c_str(), "rb");
  if (!options.raw.empty() && !raw) {
    std::fprintf(stderr, "orvenna-moving-content: cannot read %s\n", options.raw.c_str());
    return 1;
  }
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(options.width) * options.height);
  std::vector<Pixmap> frames;
  for (int i = 0; i < options.frames; ++i) {
    if (raw) {
      if (!ReadFrame(raw, pixels)) break;
    } else {
      DrawFrame(pixels, options.width, options.height, i, options.frames);
    }
    XImage* image =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                     reinterpret_cast<char*>(pixels.data()), static_cast<unsigned>(options.width),
                     static_cast<unsigned>(options.height), 32, 0);
    const Pixmap pixmap =
        XCreatePixmap(display, window, static_cast<unsigned>(options.width),
                      static_cast<unsigned>(options.height), static_cast<unsigned>(depth));
    XPutImage(display, pixmap, gc, image, 0, 0, 0, 0, static_cast<unsigned>(options.width),
              static_cast<unsigned>(options.height));
    image->data = nullptr;  // the pixels belong to the vector
    XDestroyImage(image);
    frames.push_back(pixmap);
  }
  if (raw) std::fclose(raw);
  if (frames.empty()) {
    std::fprintf(stderr, "orvenna-moving-content: no frames\n");
    return 1;
  }
  XSync(display, False);

  const long period = 1000000000L / options.fps;
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  for (std::size_t shown = 0;; ++shown) {
    XCopyArea(display, frames[shown % frames.size()], window, gc, 0, 0,
              static_cast<unsigned>(options.width), static_cast<unsigned>(options.height), 0, 0);
    XFlush(display);
    deadline.tv_nsec += period;
    while (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_nsec -= 1000000000L;
      ++deadline.tv_sec;
    }
    SleepUntil(deadline);
  }
}
