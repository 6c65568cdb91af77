// orvenna-answer-chooser: answers the "Screen Share" chooser that GNOME's screen-sharing portal
// shows on the private headless desktop of the tests (scripts/lib/wayland.sh), as a user would.
//
//   orvenna-answer-chooser share|cancel [--timeout SECONDS]
//
// Start it while, or just before, a program asks the portal for a screen cast without a restore
// token. It takes the desktop's environment from the file that ORVENNA_TEST_WAYLAND names,
// records the screen through the compositor's own screen cast (which asks nobody), waits until
// the chooser shows, and clicks through the compositor's remote-desktop API: share selects the
// first row of the chooser's list (the monitor, or the first window when a window is asked for)
// and presses Share once it is enabled; cancel presses Cancel. Then it waits until the chooser has
// closed. All of it within the timeout (20 seconds unless told).
//
// Exit status: 0 when it acted and the chooser closed; 1 when not, with the cause on stderr;
// 2 on wrong usage; 3 when share found nothing listed to choose and pressed Cancel instead (a
// bare compositor, without GNOME Shell, tells the portal of no windows, so the window chooser
// stays empty).
//
// The chooser is found by its pixels, as GNOME 43 (Adwaita style) draws it: a box of the
// dialog's background (250, 250, 250) under a header bar 46 pixels high with a grey Cancel
// button at its left and a blue Share button at its right (pale until a row is selected); the
// rows of the list are white. Other versions may draw it otherwise.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/pipewire/PipeWireStream.h"
#include "tests/integration/wayland_test_support.h"

namespace {

using namespace std::chrono_literals;
using orvenna::Point;
using Clock = std::chrono::steady_clock;

constexpr int kUsage = 2;
constexpr int kNothingListed = 3;

constexpr std::uint32_t kDialogBackground = 0xFAFAFA;
constexpr std::uint32_t kRowBackground = 0xFFFFFF;
constexpr int kHeaderHeight = 46;
// The smallest dialog taken for the chooser.
constexpr int kLeastWidth = 300;
constexpr int kLeastHeight = 150;

// A picture of the screen, 0xRRGGBB per pixel.
struct Frame {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  std::uint32_t At(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
  }
};

int Red(std::uint32_t colour) {
  return static_cast<int>(colour >> 16 & 0xFF);
}
int Green(std::uint32_t colour) {
  return static_cast<int>(colour >> 8 & 0xFF);
}
int Blue(std::uint32_t colour) {
  return static_cast<int>(colour & 0xFF);
}

// Where the chooser's controls are on the screen, and what it shows.
struct Chooser {
  Point cancel;
  Point share;
  Point firstRow;
  bool listsSomething = false;
  bool shareEnabled = false;
  bool operator==(const Chooser&) const = default;
};

// The chooser as `frame` shows it, if it does.
std::optional<Chooser> FindChooser(const Frame& frame) {
  int left = frame.width, right = -1, top = frame.height, bottom = -1;
  long count = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      if (frame.At(x, y) != kDialogBackground) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      ++count;
    }
  }
  // A dialog's body, mostly of its background, with room for the header bar above it.
  const int width = right - left + 1, height = bottom - top + 1;
  if (width < kLeastWidth || height < kLeastHeight || top < kHeaderHeight ||
      count < static_cast<long>(width) * height / 2)
    return std::nullopt;
  const int header = top - kHeaderHeight / 2;  // the middle row of the header bar
  // Sampled left of the buttons' labels.
  const std::uint32_t cancel = frame.At(left + 12, header);
  const std::uint32_t share = frame.At(right - 80, header);
  const bool cancelGrey = Red(cancel) == Green(cancel) && Green(cancel) == Blue(cancel) &&
                          Red(cancel) >= 190 && Red(cancel) <= 235;
  if (!cancelGrey || Blue(share) < Red(share) + 40) return std::nullopt;
  Chooser chooser;
  chooser.cancel = {left + 50, header};
  chooser.share = {right - 48, header};
  chooser.shareEnabled = Blue(share) > Red(share) + 120;
  const int middle = (left + right) / 2;
  for (int y = top; y <= bottom && !chooser.listsSomething; ++y) {
    if (frame.At(middle, y) != kRowBackground) continue;
    chooser.firstRow = {middle, y + 26};  // the middle of the row's first line
    chooser.listsSomething = true;
  }
  return chooser;
}

// The screen as the compositor records it, and its pointer.
class Screen {
 public:
  bool Start(std::string& error) {
    if (!cast_.Start(error)) return false;
    const orvenna::Result connected = stream_.Connect(-1, cast_.Node());
    if (!connected) {
      error = connected.Cause();
      return false;
    }
    if (stream_.WaitForFirstFrame(5s)) return true;
    error = "the compositor's screen cast sent no frame within 5 seconds";
    return false;
  }

  // The chooser as the screen shows it once a newer frame has come, or after `wait`.
  std::optional<Chooser> Look(std::chrono::milliseconds wait) {
    stream_.WaitForFrameAfter(seen_, wait);
    seen_ = stream_.FrameCount();
    const orvenna::Size size = stream_.FrameSize();
    frame_.width = size.width;
    frame_.height = size.height;
    frame_.pixels.resize(static_cast<std::size_t>(size.width) * size.height);
    const orvenna::ImageView view{reinterpret_cast<std::uint8_t*>(frame_.pixels.data()), size.width,
                                  size.height, size.width * 4};
    if (!stream_.Read({0, 0, size.width, size.height}, view)) return std::nullopt;
    return FindChooser(frame_);
  }

  bool Click(Point at, std::string& error) { return cast_.Click(at.x, at.y, error); }

 private:
  orvenna::wltest::MutterScreenCast cast_;
  orvenna::pipewire::PipeWireStream stream_;
  std::uint64_t seen_ = 0;
  Frame frame_;
};

// Looks at the screen until `done` holds for what it shows, at most until `deadline`; whether
// it did, with the chooser last seen in `last`.
template <typename Done>
bool LookUntil(Screen& screen, Clock::time_point deadline, std::optional<Chooser>& last,
               Done done) {
  do {
    last = screen.Look(200ms);
    if (done(last)) return true;
  } while (Clock::now() < deadline);
  return false;
}

int Fail(const std::string& cause) {
  std::fprintf(stderr, "orvenna-answer-chooser: %s\n", cause.c_str());
  return 1;
}

// Clicks at the place that `where` names in the chooser last seen until `done` holds for what
// the screen shows, again every second (a click that comes while the dialog does not take
// input yet is lost), at most until `deadline`; whether `done` came to hold.
template <typename Where, typename Done>
bool ClickUntil(Screen& screen, Clock::time_point deadline, std::optional<Chooser>& chooser,
                Where where, Done done, std::string& error) {
  while (chooser && Clock::now() < deadline) {
    if (!screen.Click(where(*chooser), error)) return false;
    const std::optional<Chooser> clicked = chooser;
    if (LookUntil(screen, std::min(deadline, Clock::now() + 1s), chooser, done)) return true;
    if (!chooser) chooser = clicked;  // between two frames of a redraw: click the same place
  }
  return done(chooser);
}

// Presses the chooser's Share (after selecting its first row) or Cancel button; the exit
// status.
int Answer(bool share, Clock::time_point deadline) {
  Screen screen;
  std::string error;
  if (!screen.Start(error)) return Fail(error);
  // Shown, and drawn the same in two frames in a row: the dialog has settled in its place.
  std::optional<Chooser> chooser;
  std::optional<Chooser> before;
  if (!LookUntil(screen, deadline, chooser, [&](const std::optional<Chooser>& now) {
        const bool settled = now && now == before;
        before = now;
        return settled;
      }))
    return Fail("the chooser did not show in time");
  const bool pressShare = share && chooser->listsSomething;
  if (pressShare &&
      !ClickUntil(
          screen, deadline, chooser, [](const Chooser& shown) { return shown.firstRow; },
          [](const std::optional<Chooser>& now) { return now && now->shareEnabled; }, error))
    return Fail(error.empty() ? "Share did not become enabled by selecting the first row" : error);
  if (!ClickUntil(
          screen, deadline, chooser,
          [pressShare](const Chooser& shown) { return pressShare ? shown.share : shown.cancel; },
          [absent = 0](const std::optional<Chooser>& now) mutable {
            absent = now ? 0 : absent + 1;
            return absent == 2;  // gone from two frames in a row, not just from a redraw
          },
          error))
    return Fail(error.empty() ? "the chooser stayed open after the click" : error);
  if (pressShare || !share) return 0;
  std::fprintf(stderr, "orvenna-answer-chooser: the chooser listed nothing to share; cancelled\n");
  return kNothingListed;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string usage = "usage: orvenna-answer-chooser share|cancel [--timeout SECONDS]\n";
  const std::string action = argc > 1 ? argv[1] : "";
  int seconds = 20;
  if (argc == 4 && std::string(argv[2]) == "--timeout") seconds = std::atoi(argv[3]);
  if ((argc != 2 && argc != 4) || seconds <= 0 || (action != "share" && action != "cancel")) {
    std::fputs(usage.c_str(), stderr);
    return kUsage;
  }
  if (!orvenna::wltest::UseDesktopEnvironment())
    return Fail("ORVENNA_TEST_WAYLAND does not name the test desktop's environment");
  return Answer(action == "share", Clock::now() + std::chrono::seconds(seconds));
}
