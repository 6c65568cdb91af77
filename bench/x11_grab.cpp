// Cost of screen grabs on the X display named by DISPLAY, at full HD and at 300 x 300:
// the bare shared-memory read, that read plus one frame-sized copy, the grabber, the
// grabber followed by the conversion into frame pixels at each depth, and the engine's whole
// GrabFrameDIB (grab, cursor, packed frame) at each depth.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <benchmark/benchmark.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#undef None  // Xlib's macro would clash with the engine's enumerator of that name

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/Vistrel.h"
#include "platform/Bitmap.h"
#include "platform/Dib.h"
#include "platform/PosixFiles.h"
#include "platform/fake/FakeCompressors.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeMixer.h"
#include "platform/fake/GeneratorWaveIn.h"
#include "platform/mux/LibavContainerWriter.h"
#include "platform/resample/PcmResampler.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11Grabber.h"
#include "platform/x11/X11Screen.h"

namespace orvenna {
namespace {

// A bare MIT-SHM read of the root window into one segment, without the grabber's checks.
class BareSharedRead {
 public:
  BareSharedRead(int width, int height) : display_(XOpenDisplay(nullptr)) {
    const int screen = DefaultScreen(display_);
    image_ =
        XShmCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen),
                        ZPixmap, nullptr, &segment_, width, height);
    segment_.shmid =
        shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * height, IPC_CREAT | 0600);
    segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
    segment_.readOnly = False;
    XShmAttach(display_, &segment_);
    XSync(display_, False);
    shmctl(segment_.shmid, IPC_RMID, nullptr);
  }
  ~BareSharedRead() {
    XShmDetach(display_, &segment_);
    XSync(display_, False);
    shmdt(segment_.shmaddr);
    XFree(image_);
    XCloseDisplay(display_);
  }
  bool Read() {
    return XShmGetImage(display_, DefaultRootWindow(display_), image_, 0, 0, AllPlanes) != 0;
  }
  const char* data() const { return image_->data; }
  std::size_t bytes() const { return std::size_t(image_->bytes_per_line) * image_->height; }

 private:
  Display* display_;
  XShmSegmentInfo segment_{};
  XImage* image_ = nullptr;
};

Rect AreaOf(const benchmark::State& state) {
  return Rect{0, 0, static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

void BareShmGetImage(benchmark::State& state) {
  const Rect area = AreaOf(state);
  BareSharedRead read(area.width, area.height);
  for (auto _ : state) {
    if (!read.Read()) state.SkipWithError("XShmGetImage failed");
  }
}

void BareShmGetImageAndCopy(benchmark::State& state) {
  const Rect area = AreaOf(state);
  BareSharedRead read(area.width, area.height);
  std::vector<char> copy(read.bytes());
  for (auto _ : state) {
    if (!read.Read()) state.SkipWithError("XShmGetImage failed");
    std::memcpy(copy.data(), read.data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

void GrabberGrab(benchmark::State& state) {
  const Rect area = AreaOf(state);
  X11Grabber grabber("");
  ImageView image;
  for (auto _ : state) {
    if (!grabber.Grab(area, RasterOp::SrcCopy, image)) state.SkipWithError(grabber.Error().c_str());
    benchmark::DoNotOptimize(image.pixels);
  }
}

void GrabberGrabAndConvert(benchmark::State& state) {
  const Rect area = AreaOf(state);
  const int bitsPerPixel = static_cast<int>(state.range(2));
  X11Grabber grabber("");
  DibConverter converter;
  std::vector<std::uint8_t> pixels(DibRowBytes(area.width, bitsPerPixel) * area.height);
  ImageView image;
  for (auto _ : state) {
    if (!grabber.Grab(area, RasterOp::SrcCopy, image)) state.SkipWithError(grabber.Error().c_str());
    if (!converter.Convert(image, bitsPerPixel, pixels.data())) {
      state.SkipWithError("conversion failed");
    }
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
}

// The engine on the real screen and cursor; nothing else of the desktop is needed for grabs.
void EngineGrabFrameDIB(benchmark::State& state) {
  const Rect area = AreaOf(state);
  std::string error;
  const auto screen = X11Screen::Open("", error);
  if (!screen) {
    state.SkipWithError(error.c_str());
    return;
  }
  X11Cursor cursor("");
  FakeHotKeys hotKeys;
  PosixFiles files;
  SteadyClock clock;
  FakeShell shell;
  FakeUiFactory ui;
  FakeCompressionManager codecs;
  GeneratorWaveInDriver waveIn(clock);
  FakeMixerDriver mixer;
  PcmResamplingConverter audioConverter;
  LibavContainerWriter containers;
  TVistrel engine(Platform{.screen = *screen,
                           .cursor = cursor,
                           .hotKeys = hotKeys,
                           .files = files,
                           .clock = clock,
                           .shell = shell,
                           .ui = ui,
                           .codecs = codecs,
                           .waveIn = waveIn,
                           .mixer = mixer,
                           .audioConverter = audioConverter,
                           .containers = containers});
  engine.SetColors(static_cast<int>(state.range(2)) / 8 - 1);
  for (auto _ : state) {
    PackedFrame frame = engine.GrabFrameDIB(area.left, area.top, area.width, area.height, 0);
    benchmark::DoNotOptimize(frame.Data());
  }
}

void Sizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"width", "height"})->Args({1920, 1080})->Args({300, 300});
}

void SizesAndDepths(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgNames({"width", "height", "bpp"});
  for (const int bitsPerPixel : {8, 16, 24, 32}) {
    benchmark->Args({1920, 1080, bitsPerPixel})->Args({300, 300, bitsPerPixel});
  }
}

// Wall-clock time, since most of a grab's work happens in the X server; medians of five runs.
void Measured(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly();
}

BENCHMARK(BareShmGetImage)->Apply(Sizes)->Apply(Measured);
BENCHMARK(BareShmGetImageAndCopy)->Apply(Sizes)->Apply(Measured);
BENCHMARK(GrabberGrab)->Apply(Sizes)->Apply(Measured);
BENCHMARK(GrabberGrabAndConvert)->Apply(SizesAndDepths)->Apply(Measured);
BENCHMARK(EngineGrabFrameDIB)->Apply(SizesAndDepths)->Apply(Measured);

// The screen must be at least full HD with shared memory, or the bare reads fail.
bool DisplayFits() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr,
                 "bench_grab: cannot open the X display (DISPLAY=%s); start one, for "
                 "example with scripts/lib/display.sh\n",
                 std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "not set");
    return false;
  }
  const int screen = DefaultScreen(display);
  const bool fits = DisplayWidth(display, screen) >= 1920 &&
                    DisplayHeight(display, screen) >= 1080 && XShmQueryExtension(display);
  XCloseDisplay(display);
  if (!fits) {
    std::fprintf(stderr,
                 "bench_grab: the display needs a 1920x1080 (or larger) screen with "
                 "MIT-SHM\n");
  }
  return fits;
}

}  // namespace
}  // namespace orvenna

int main(int argc, char** argv) {
  if (!orvenna::DisplayFits()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
