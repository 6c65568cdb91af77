// The engine on the real X server: packed frames of a known picture at every depth, the
// cursor in the frame, and hot keys typed with xdotool: taken from other programs only while
// they can act.

#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/Vistrel.h"
#include "platform/PosixFiles.h"
#include "platform/fake/FakeCompressors.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeMixer.h"
#include "platform/fake/GeneratorWaveIn.h"
#include "platform/mux/LibavContainerWriter.h"
#include "platform/resample/PcmResampler.h"
#include "platform/x11/X11Cursor.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Screen.h"
#include "tests/integration/x11_test_support.h"
#undef None  // Xlib's macro would clash with the engine's enumerator of that name

namespace orvenna {
namespace {

using x11test::PatternWindow;

const Rect kWindow{200, 150, 61, 40};

class EngineX11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs DISPLAY";
    display_.reset(XOpenDisplay(nullptr));
    ASSERT_TRUE(display_);
    std::string error;
    screen_ = X11Screen::Open("", error);
    ASSERT_TRUE(screen_) << error;
    base_ =
        std::filesystem::temp_directory_path() / ("orvenna-engine-x11-" + std::to_string(getpid()));
    std::filesystem::create_directories(base_);
    files_ = std::make_unique<PosixFiles>(base_.string());
    hotKeys_ = std::make_unique<X11HotKeys>("", shell_);
    engine_ = std::make_unique<TVistrel>(Platform{.screen = *screen_,
                                                  .cursor = cursor_,
                                                  .hotKeys = *hotKeys_,
                                                  .files = *files_,
                                                  .clock = clock_,
                                                  .shell = shell_,
                                                  .ui = ui_,
                                                  .codecs = codecs_,
                                                  .waveIn = waveIn_,
                                                  .mixer = mixer_,
                                                  .audioConverter = audioConverter_,
                                                  .containers = containers_});
    engine_->SetRecordCursor(false);
  }
  void TearDown() override {
    engine_.reset();
    hotKeys_.reset();
    std::filesystem::remove_all(base_);
  }

  // Screen pixel (x, y) of the frame grabbed at kWindow, as blue, green, red.
  static std::uint32_t Pixel(const PackedFrame& frame, int x, int y) {
    const BitmapInfoHeader& h = frame.Header();
    const std::uint8_t* row =
        frame.Pixels() + DibRowBytes(h.width, h.bitCount) * (h.height - 1 - y);
    switch (h.bitCount) {
      case 8: {
        const RgbQuad& c = frame.ColourTable()[row[x]];
        return std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue;
      }
      case 16: {
        const std::uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
        const auto widen = [](std::uint32_t five) { return five << 3 | five >> 2; };
        return widen(v >> 10 & 31) << 16 | widen(v >> 5 & 31) << 8 | widen(v & 31);
      }
      case 24:
        return std::uint32_t(row[3 * x + 2]) << 16 | std::uint32_t(row[3 * x + 1]) << 8 |
               row[3 * x];
      default: {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return v & 0xFFFFFF;
      }
    }
  }

  // Whether two colours agree within what `bits` per pixel can hold.
  static bool Near(std::uint32_t a, std::uint32_t b, int bits) {
    const int tolerance = bits == 8 ? 64 : bits == 16 ? 8 : 0;
    for (int shift = 0; shift < 24; shift += 8) {
      if (std::abs(int(a >> shift & 255) - int(b >> shift & 255)) > tolerance) return false;
    }
    return true;
  }

  x11test::DisplayPtr display_;
  std::unique_ptr<X11Screen> screen_;
  X11Cursor cursor_{""};
  FakeShell shell_;
  FakeUiFactory ui_;
  ManualClock clock_;
  FakeCompressionManager codecs_;
  GeneratorWaveInDriver waveIn_{clock_};
  FakeMixerDriver mixer_;
  PcmResamplingConverter audioConverter_;
  LibavContainerWriter containers_;
  std::filesystem::path base_;
  std::unique_ptr<PosixFiles> files_;
  std::unique_ptr<X11HotKeys> hotKeys_;
  std::unique_ptr<TVistrel> engine_;
};

TEST_F(EngineX11Test, PackedFramesShowThePictureAtEveryDepthAndInverted) {
  PatternWindow window(display_.get(), kWindow);
  ASSERT_TRUE(window.Shown());
  for (const int colors : {0, 1, 2, 3}) {
    engine_->SetColors(colors);
    const int bits = engine_->BitCount();
    for (const int filter : {0, 1}) {
      PackedFrame frame =
          engine_->GrabFrameDIB(kWindow.left, kWindow.top, kWindow.width, kWindow.height, filter);
      ASSERT_TRUE(frame);
      EXPECT_EQ(frame.Header().bitCount, bits);
      EXPECT_EQ(frame.Header().sizeImage, DibRowBytes(kWindow.width, bits) * kWindow.height);
      int wrong = 0;
      for (int y = 0; y < kWindow.height; ++y) {
        for (int x = 0; x < kWindow.width; ++x) {
          std::uint32_t expected = PatternWindow::Colour(x, y);
          if (filter == 1) expected ^= 0xFFFFFF;
          wrong += !Near(Pixel(frame, x, y), expected, bits);
        }
      }
      EXPECT_EQ(wrong, 0) << bits << " bits, filter " << filter;
    }
  }
}

TEST_F(EngineX11Test, CursorHotSpotLandsOnThePointer) {
  PatternWindow window(display_.get(), kWindow);
  ASSERT_TRUE(window.Shown());
  XDefineCursor(display_.get(), window.window(), XCreateFontCursor(display_.get(), XC_crosshair));
  const Point pointer{kWindow.left + 30, kWindow.top + 20};
  XWarpPointer(display_.get(), 0, DefaultRootWindow(display_.get()), 0, 0, 0, 0, pointer.x,
               pointer.y);
  XSync(display_.get(), False);
  CursorImage image;
  ASSERT_TRUE(x11test::WaitFor([&] { return cursor_.Query(image) && image.position == pointer; }));

  engine_->SetRecordCursor(true);
  PackedFrame frame =
      engine_->GrabFrameDIB(kWindow.left, kWindow.top, kWindow.width, kWindow.height, 0);
  // Every opaque pixel of the cursor image stands at its place relative to the hot spot.
  int checked = 0;
  for (int cy = 0; cy < image.height; ++cy) {
    for (int cx = 0; cx < image.width; ++cx) {
      const std::uint32_t argb = image.argb[std::size_t(cy) * image.width + cx];
      const int x = pointer.x - kWindow.left - image.hotSpot.x + cx;
      const int y = pointer.y - kWindow.top - image.hotSpot.y + cy;
      if (argb >> 24 != 255 || x < 0 || y < 0 || x >= kWindow.width || y >= kWindow.height)
        continue;
      EXPECT_EQ(Pixel(frame, x, y), argb & 0xFFFFFF) << x << "," << y;
      ++checked;
    }
  }
  EXPECT_GT(checked, 5);
}

// The preview's grabber keeps its image, and the cursor drawn on it, between grabs: each preview
// must still equal a grab made afresh as the cursor stays, moves, the picture beneath it
// changes, and the cursor is no longer recorded.
TEST_F(EngineX11Test, KeptCursorFollowsEveryChange) {
  PatternWindow window(display_.get(), kWindow);
  ASSERT_TRUE(window.Shown());
  XDefineCursor(display_.get(), window.window(), XCreateFontCursor(display_.get(), XC_crosshair));
  engine_->SetColors(3);
  engine_->SetRecordCursor(true);
  const auto expectFresh = [&](const char* when) {
    const PreviewBitmap& preview =
        engine_->GrabFrameBitmap(kWindow.left, kWindow.top, kWindow.width, kWindow.height, 0);
    PackedFrame fresh =
        engine_->GrabFrameDIB(kWindow.left, kWindow.top, kWindow.width, kWindow.height, 0);
    ASSERT_EQ(preview.BitsPerPixel(), fresh.Header().bitCount);
    EXPECT_EQ(std::memcmp(preview.Pixels(), fresh.Pixels(), fresh.Header().sizeImage), 0) << when;
  };
  const auto pointAt = [&](Point pointer) {
    XWarpPointer(display_.get(), 0, DefaultRootWindow(display_.get()), 0, 0, 0, 0, pointer.x,
                 pointer.y);
    XSync(display_.get(), False);
    CursorImage image;
    ASSERT_TRUE(
        x11test::WaitFor([&] { return cursor_.Query(image) && image.position == pointer; }));
  };
  pointAt(Point{kWindow.left + 20, kWindow.top + 15});
  expectFresh("first");
  expectFresh("nothing changed");
  pointAt(Point{kWindow.left + 26, kWindow.top + 18});
  expectFresh("moved");
  GC gc = XCreateGC(display_.get(), window.window(), 0, nullptr);
  XSetForeground(display_.get(), gc, 0x3366CC);
  XFillRectangle(display_.get(), window.window(), gc, 0, 17, kWindow.width, 2);
  XFreeGC(display_.get(), gc);
  XSync(display_.get(), False);
  expectFresh("drawn beneath");
  engine_->SetRecordCursor(false);
  expectFresh("not recorded");
}

// The keys a second client hears with the keyboard focus: while the engine idles, Esc and
// Ctrl+Enter reach that client; while a recording runs, the engine takes Esc and Shift+Esc but
// not Ctrl+Enter; once it ended, they reach the client again.
TEST_F(EngineX11Test, HotKeysAreTakenFromOtherProgramsOnlyWhileTheyCanAct) {
  x11test::PatternWindow other(display_.get(), Rect{500, 400, 40, 30});
  ASSERT_TRUE(other.Shown());
  XSelectInput(display_.get(), other.window(), KeyPressMask);
  XSetInputFocus(display_.get(), other.window(), RevertToParent, CurrentTime);
  XSync(display_.get(), False);
  const auto type = [&](const char* keys) {
    ASSERT_EQ(std::system((std::string("xdotool key ") + keys).c_str()), 0);
  };
  // The keys the other client heard until it heard `expected` of them (or for a moment).
  const auto heardByOther = [&](std::size_t expected) {
    std::vector<KeySym> heard;
    x11test::WaitFor(
        [&] {
          while (XPending(display_.get()) > 0) {
            XEvent event;
            XNextEvent(display_.get(), &event);
            if (event.type != KeyPress) continue;
            const KeySym key = XLookupKeysym(&event.xkey, 0);
            if (key == XK_Escape || key == XK_Return) heard.push_back(key);
          }
          return heard.size() >= expected;
        },
        expected ? 5 : 0.3);
    return heard;
  };

  type("Escape ctrl+Return");
  EXPECT_EQ(heardByOther(2), (std::vector<KeySym>{XK_Escape, XK_Return}));
  EXPECT_EQ(shell_.RunPosted(), 0) << "the idle engine heard a key";
  EXPECT_FALSE(engine_->HoldsHotKeys());

  codecs_.Add({.fcc = TVistrel::DefaultCompressorFcc, .name = "MSVC", .description = "Copy"});
  engine_->GetCompressorList();
  engine_->SetSelectedCompressor(0);
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetMinimizeAppOnStart(false);
  ASSERT_TRUE(engine_->StartRecording((base_ / "taken.avi").string()));
  EXPECT_TRUE(engine_->HoldsHotKeys());
  Process().StopRequest = TStopRequest::None;
  // Ctrl+Enter during a recording (a chat message sent) reaches the program typed into.
  type("ctrl+Return");
  EXPECT_EQ(heardByOther(1), std::vector<KeySym>{XK_Return});
  shell_.RunPosted();
  EXPECT_TRUE(engine_->Recording()) << "Ctrl+Enter ended the recording";
  type("shift+Escape");
  ASSERT_TRUE(x11test::WaitFor([&] {
    shell_.RunPosted();
    return !engine_->Recording();
  }));
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);
  EXPECT_TRUE(heardByOther(0).empty()) << "the recording's key reached the other client";
  engine_->StopAndWaitForRecording();
  shell_.RunPosted();
  EXPECT_FALSE(engine_->HoldsHotKeys());

  type("ctrl+Return Escape");
  EXPECT_EQ(heardByOther(2), (std::vector<KeySym>{XK_Return, XK_Escape}));
}

// Ctrl+Enter confirms an open window picker with the engine's region; Esc cancels one.
TEST_F(EngineX11Test, TypedKeysCloseAnOpenPicker) {
  const auto type = [&](const char* keys) {
    ASSERT_EQ(std::system((std::string("xdotool key ") + keys).c_str()), 0);
    ASSERT_TRUE(x11test::WaitFor([&] { return shell_.RunPosted() > 0; }));
  };
  for (const auto& [keys, expected] :
       {std::pair{"ctrl+Return", ModalResult::Ok}, std::pair{"Escape", ModalResult::Cancel}}) {
    ModalResult closedWith = ModalResult::None;
    ui_.preparePicker = [&](FakePicker& picker) {
      picker.onShow = [&] {
        type(keys);
        closedWith = picker.closedWith;
      };
    };
    engine_->SelectObjectArea();
    EXPECT_EQ(closedWith, expected) << keys;
    EXPECT_FALSE(engine_->HoldsHotKeys()) << keys;
  }
}

}  // namespace
}  // namespace orvenna
