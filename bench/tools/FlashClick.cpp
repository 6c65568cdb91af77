// orvenna-flash-click: the stimulus of the sound-and-picture sync benchmark. A borderless black
// window turns white for 100 ms at known instants, and at the same instants a click (10 ms of
// a full-scale 2 kHz tone) is played into the sound server's default sink. The click is placed
// in the continuous playback stream where the server will play it at the flash's instant,
// from the stream's latency as the server reports it.
//
//   orvenna-flash-click [--geometry WxH+X+Y] [--every MS] [--count N] [--first MS]
//
// Prints the flash instants (CLOCK_MONOTONIC, seconds) and exits after the last one.

#include <X11/Xlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kChunkFrames = 480;  // 10 ms
constexpr int kClickFrames = 480;
constexpr double kClickHertz = 2000;
constexpr long kFlashNs = 100'000'000;

struct Options {
  int width = 320, height = 240, left = 0, top = 0;
  long everyMs = 1000;
  int count = 20;
  long firstMs = 1500;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    const char* value = argv[i + 1];
    if (arg == "--geometry") {
      if (std::sscanf(value, "%dx%d+%d+%d", &options.width, &options.height, &options.left,
                      &options.top) != 4) {
        return false;
      }
    } else if (arg == "--every") {
      options.everyMs = std::atol(value);
    } else if (arg == "--count") {
      options.count = std::atoi(value);
    } else if (arg == "--first") {
      options.firstMs = std::atol(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options.everyMs >= 300 && options.count > 0;
}

std::int64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

void SleepUntil(std::int64_t ns) {
  timespec until{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
  }
}

// Plays silence, with a click wherever a flash instant falls into a chunk, until `done`.
void PlayClicks(const std::vector<std::int64_t>& flashes, std::atomic<bool>& done) {
  const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, kRate, 1};
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = kChunkFrames * 2 * 4;  // 40 ms queued at the server
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "orvenna-flash-click", PA_STREAM_PLAYBACK, nullptr,
                                    "clicks", &sampleFormat, nullptr, &attributes, &error);
  if (!stream) {
    std::fprintf(stderr, "orvenna-flash-click: no sound server: %s\n", pa_strerror(error));
    std::exit(1);
  }
  std::vector<std::int16_t> chunk(kChunkFrames);
  while (!done) {
    const pa_usec_t latency = pa_simple_get_latency(stream, &error);
    // The first frame of this chunk is played when what is queued now has been played.
    const std::int64_t chunkStart = NowNs() + static_cast<std::int64_t>(latency) * 1000;
    for (int i = 0; i < kChunkFrames; ++i) {
      const std::int64_t at = chunkStart + static_cast<std::int64_t>(i) * 1'000'000'000 / kRate;
      double value = 0;
      for (const std::int64_t flash : flashes) {
        const std::int64_t into = at - flash;
        if (into >= 0 && into < static_cast<std::int64_t>(kClickFrames) * 1'000'000'000 / kRate) {
          value = std::sin(2 * std::numbers::pi * kClickHertz * static_cast<double>(into) / 1e9) > 0
                      ? 1
                      : -1;
        }
      }
      chunk[i] = static_cast<std::int16_t>(value * 32000);
    }
    if (pa_simple_write(stream, chunk.data(), chunk.size() * 2, &error) < 0) break;
  }
  pa_simple_free(stream);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: orvenna-flash-click [--geometry WxH+X+Y] [--every MS] [--count N] "
                 "[--first MS]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "orvenna-flash-click: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(display);
  XSetWindowAttributes attributes;
  attributes.override_redirect = True;
  attributes.background_pixel = BlackPixel(display, screen);
  const Window window = XCreateWindow(
      display, RootWindow(display, screen), options.left, options.top,
      static_cast<unsigned>(options.width), static_cast<unsigned>(options.height), 0,
      CopyFromParent, InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, window);
  const GC gc = XCreateGC(display, window, 0, nullptr);
  XSync(display, False);

  std::vector<std::int64_t> flashes;
  const std::int64_t first = NowNs() + options.firstMs * 1'000'000;
  for (int i = 0; i < options.count; ++i)
    flashes.push_back(first + i * options.everyMs * 1'000'000);
  std::atomic<bool> done{false};
  std::thread sound(PlayClicks, std::cref(flashes), std::ref(done));

  const auto fill = [&](unsigned long colour) {
    XSetForeground(display, gc, colour);
    XFillRectangle(display, window, gc, 0, 0, static_cast<unsigned>(options.width),
                   static_cast<unsigned>(options.height));
    XSync(display, False);
  };
  fill(BlackPixel(display, screen));
  for (const std::int64_t flash : flashes) {
    SleepUntil(flash);
    fill(WhitePixel(display, screen));
    std::printf("%.6f\n", static_cast<double>(flash) / 1e9);
    std::fflush(stdout);
    SleepUntil(flash + kFlashNs);
    fill(BlackPixel(display, screen));
  }
  SleepUntil(flashes.back() + 500'000'000);
  done = true;
  sound.join();
  XCloseDisplay(display);
  return 0;
}
