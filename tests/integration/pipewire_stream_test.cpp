// The PipeWire screen stream against a real compositor: the private headless GNOME desktop of
// scripts/lib/wayland.sh (skipped without it), recording its virtual monitor of 1280 x 720.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/pipewire/PipeWireStream.h"
#include "tests/Needs.h"
#include "tests/integration/pipewire_test_source.h"
#include "tests/integration/wayland_test_support.h"
#include "tests/tools/ColourBlocks.h"

namespace orvenna::pipewire {
namespace {

using namespace std::chrono_literals;

constexpr Size kMonitor{1280, 720};

// Pixels read into a buffer of the test's own.
struct Picture {
  explicit Picture(Size size)
      : width(size.width), height(size.height), pixels(static_cast<std::size_t>(width) * height) {}
  ImageView View() {
    return {reinterpret_cast<std::uint8_t*>(pixels.data()), width, height, width * 4};
  }
  std::uint32_t Colour(int x, int y) const {
    return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
  }
  int width, height;
  std::vector<std::uint32_t> pixels;
};

class PipeWireStreamTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!wltest::UseDesktopEnvironment()) return;
    cast_ = new wltest::MutterScreenCast;
    if (!cast_->Start(castError_)) return;
    stream_ = new PipeWireStream;
    connected_ = stream_->Connect(-1, cast_->Node());
  }
  static void TearDownTestSuite() {
    delete stream_;
    delete cast_;
  }
  void SetUp() override {
    if (!cast_) GTEST_SKIP() << "no test desktop (ORVENNA_TEST_WAYLAND is not set)";
    ASSERT_TRUE(castError_.empty()) << castError_;
    ASSERT_TRUE(connected_) << connected_.Cause();
  }

  // Whether the newest frame shows the colour blocks full-screen: every block's colour at its
  // centre and just inside its corners.
  static bool ShowsBlocks() {
    Picture frame(kMonitor);
    if (!stream_->Read({0, 0, kMonitor.width, kMonitor.height}, frame.View())) return false;
    for (int row = 0; row < test::kBlockRows; ++row) {
      for (int column = 0; column < test::kBlockColumns; ++column) {
        const int left = test::BlockStart(column, test::kBlockColumns, kMonitor.width);
        const int right = test::BlockStart(column + 1, test::kBlockColumns, kMonitor.width) - 1;
        const int top = test::BlockStart(row, test::kBlockRows, kMonitor.height);
        const int bottom = test::BlockStart(row + 1, test::kBlockRows, kMonitor.height) - 1;
        const std::uint32_t colour = test::BlockColour(column, row);
        for (const Point at : {Point{(left + right) / 2, (top + bottom) / 2}, Point{left, top},
                               Point{right, top}, Point{left, bottom}, Point{right, bottom}}) {
          if (frame.Colour(at.x, at.y) != colour) return false;
        }
      }
    }
    return true;
  }

  static inline wltest::MutterScreenCast* cast_ = nullptr;
  static inline std::string castError_;
  static inline PipeWireStream* stream_ = nullptr;
  static inline Result connected_ = Result::Failed("not connected");
};

TEST_F(PipeWireStreamTest, FirstFrameHasTheMonitorsSize) {
  ASSERT_TRUE(stream_->WaitForFirstFrame(5s));
  EXPECT_EQ(stream_->FrameSize(), kMonitor);
  EXPECT_EQ(stream_->State(), StreamState::Streaming);
}

TEST_F(PipeWireStreamTest, ClientPixelsComeBackAtTheirPlaceAndAreasMatchTheWholeFrame) {
  wltest::DesktopProgram blocks({ORVENNA_COLOUR_BLOCKS});
  ASSERT_TRUE(blocks.Started());
  // The compositor sends a frame whenever the screen changes: wait for the one that shows the
  // whole window, frame by frame, for at most 10 seconds.
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  bool shown = ShowsBlocks();
  while (!shown && std::chrono::steady_clock::now() < deadline) {
    const std::uint64_t seen = stream_->FrameCount();
    if (stream_->WaitForFrameAfter(seen, 1s)) shown = ShowsBlocks();
  }
  ASSERT_TRUE(shown) << "the colour blocks never appeared in the stream";

  Picture whole(kMonitor);
  ASSERT_TRUE(stream_->Read({0, 0, kMonitor.width, kMonitor.height}, whole.View()));
  const Rect areas[] = {
      {0, 0, 1, 1},        {319, 239, 2, 2},  {100, 50, 700, 400},
      {1200, 700, 80, 20}, {1279, 719, 1, 1}, {317, 0, 7, kMonitor.height},
  };
  for (const Rect& area : areas) {
    Picture part({area.width, area.height});
    ASSERT_TRUE(stream_->Read(area, part.View()));
    for (int y = 0; y < area.height; ++y)
      for (int x = 0; x < area.width; ++x)
        ASSERT_EQ(part.Colour(x, y), whole.Colour(area.left + x, area.top + y))
            << "area " << area.left << "," << area.top << " " << area.width << "x" << area.height
            << " at " << x << "," << y;
  }
}

TEST_F(PipeWireStreamTest, CursorPositionFollowsThePointer) {
  ASSERT_TRUE(stream_->WaitForFirstFrame(5s));
  for (const Point target : {Point{300, 200}, Point{1000, 600}}) {
    std::string error;
    ASSERT_TRUE(cast_->MovePointer(target.x, target.y, error)) << error;
    CursorImage cursor;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!(stream_->Cursor(cursor) && cursor.position == target) &&
           std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(10ms);
    EXPECT_EQ(cursor.position, target);
  }
  // The compositor sends the bitmap only when the pointer's picture changes, which a headless
  // desktop may not do while the test runs: the bitmap's handling is the unit test's.
  CursorImage cursor;
  ASSERT_TRUE(stream_->Cursor(cursor));
  EXPECT_EQ(cursor.argb.size(), static_cast<std::size_t>(cursor.width) * cursor.height);
}

// Runs last of the suite (tests run in the order written): the end of the compositor's
// recording ends the stream, with its reason, and wakes a reader waiting for a frame at once.
TEST_F(PipeWireStreamTest, StreamEndsWhenTheRecordingStops) {
  ASSERT_TRUE(stream_->WaitForFirstFrame(5s));
  std::string error;
  ASSERT_TRUE(cast_->Stop(error)) << error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(stream_->WaitForFrameAfter(UINT64_MAX - 1, 5s));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  EXPECT_EQ(stream_->State(), StreamState::Ended);
  EXPECT_NE(stream_->EndReason().find("no longer available"), std::string::npos)
      << stream_->EndReason();
  Picture last(kMonitor);
  EXPECT_TRUE(stream_->Read({0, 0, kMonitor.width, kMonitor.height}, last.View()))
      << "the last frame stays readable after the end";
}

// A descriptor whose other end is already closed: Connect fails soon, saying why.
TEST(PipeWireStreamConnect, DeadDescriptorFailsWithTheCause) {
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
  close(ends[1]);
  PipeWireStream stream;
  const auto start = std::chrono::steady_clock::now();
  const Result connected = stream.Connect(ends[0], 42);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
  ASSERT_FALSE(connected);
  EXPECT_NE(connected.Cause().find("PipeWire"), std::string::npos) << connected.Cause();
  EXPECT_EQ(stream.State(), StreamState::Ended);
}

// Frames of the test's own source: red-first pixels come out blue-first, the crop is honoured,
// and a change of size while streaming gives frames of the new size.
TEST(PipeWireStreamSource, RedFirstPixelsCropAndSizeChangeComeThrough) {
  if (!wltest::UseDesktopEnvironment()) GTEST_SKIP() << "no test desktop";
  wltest::TestVideoSource source;
  ASSERT_TRUE(source.Start(SPA_VIDEO_FORMAT_RGBx, {64, 48}));
  PipeWireStream stream;
  const Result connected = stream.Connect(-1, source.Node());
  ASSERT_TRUE(connected) << connected.Cause();
  ASSERT_TRUE(source.WaitStreaming());

  // Sends frames marked `mark` until one of `size` has come (the first ones after a change of
  // size may still have the old one).
  std::uint8_t mark = 0;
  const auto sendUntil = [&](Size size, Rect crop) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    do {
      const std::uint64_t seen = stream.FrameCount();
      source.Send(++mark, crop);
      if (!stream.WaitForFrameAfter(seen, 250ms)) continue;
      if (stream.FrameSize() == size) return true;
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
  };
  struct Case {
    Size sourceSize;
    Rect crop;  // empty: the whole frame
  };
  const Case cases[] = {
      {{64, 48}, {}},
      {{64, 48}, {8, 4, 20, 10}},
      {{96, 64}, {}},
      {{96, 64}, {90, 60, 30, 30}},  // reaches past the frame: clipped to 6 x 4
  };
  for (const Case& test : cases) {
    if (source.AgreedSize() != test.sourceSize) source.Resize(test.sourceSize);
    const Size expected =
        test.crop.width == 0
            ? test.sourceSize
            : Size{std::min(test.crop.width, test.sourceSize.width - test.crop.left),
                   std::min(test.crop.height, test.sourceSize.height - test.crop.top)};
    ASSERT_TRUE(sendUntil(expected, test.crop))
        << "no frame of " << expected.width << "x" << expected.height << " came";
    Picture frame(expected);
    ASSERT_TRUE(stream.Read({0, 0, expected.width, expected.height}, frame.View()));
    for (int y = 0; y < expected.height; ++y)
      for (int x = 0; x < expected.width; ++x)
        ASSERT_EQ(frame.Colour(x, y), std::uint32_t{mark} << 16 |
                                          std::uint32_t(test.crop.top + y) << 8 |
                                          std::uint32_t(test.crop.left + x))
            << "at " << x << "," << y << " of the frame cropped at " << test.crop.left << ","
            << test.crop.top;
  }
}

// A first frame that comes late (a busy compositor) is still waited for, for as long as the
// stream lives; a stream whose source goes before any frame ends the wait at once.
TEST(PipeWireStreamSource, TheFirstFrameIsWaitedForWhileTheStreamLives) {
  ORVENNA_NEEDS(wltest::UseDesktopEnvironment(), "the test desktop");
  {
    wltest::TestVideoSource source;
    ASSERT_TRUE(source.Start(SPA_VIDEO_FORMAT_BGRx, {64, 48}));
    PipeWireStream stream;
    ASSERT_TRUE(stream.Connect(-1, source.Node()));
    ASSERT_TRUE(source.WaitStreaming());
    std::thread late([&source] {
      std::this_thread::sleep_for(7s);  // longer than any first frame used to be waited for
      source.Send(1, {});
    });
    EXPECT_TRUE(stream.WaitForFirstFrame(kFirstFrameLimit));
    late.join();
  }
  auto source = std::make_unique<wltest::TestVideoSource>();
  ASSERT_TRUE(source->Start(SPA_VIDEO_FORMAT_BGRx, {64, 48}));
  PipeWireStream stream;
  ASSERT_TRUE(stream.Connect(-1, source->Node()));
  ASSERT_TRUE(source->WaitStreaming());
  const auto start = std::chrono::steady_clock::now();
  source.reset();
  EXPECT_FALSE(stream.WaitForFirstFrame(kFirstFrameLimit));
  EXPECT_EQ(stream.State(), StreamState::Ended);
  EXPECT_LT(std::chrono::steady_clock::now() - start, kFirstFrameLimit / 2);
}

}  // namespace
}  // namespace orvenna::pipewire
