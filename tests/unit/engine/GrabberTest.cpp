#include <gtest/gtest.h>

#include <cstring>

#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

// Pixel (x, y), counted from the top, of a packed 32-bit frame.
std::uint32_t FramePixel32(const PackedFrame& frame, int x, int y) {
  const BitmapInfoHeader& h = frame.Header();
  std::uint32_t value;
  std::memcpy(&value, frame.Pixels() + DibRowBytes(h.width, 32) * (h.height - 1 - y) + x * 4, 4);
  return value;
}

class GrabberTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = &rig_.Make();
    engine_->SetRecordCursor(false);
  }
  EngineRig rig_;
  TVistrel* engine_ = nullptr;
};

TEST_F(GrabberTest, PackedFrameLayoutAtEveryDepth) {
  struct Case {
    int colors, bits, width;
    std::uint32_t rowBytes, tableBytes;
  };
  const Case cases[] = {{0, 8, 301, 304, 1024}, {1, 16, 301, 604, 0}, {2, 24, 301, 904, 0},
                        {3, 32, 301, 1204, 0},  {2, 24, 1, 4, 0},     {0, 8, 3, 4, 1024}};
  for (const Case& c : cases) {
    engine_->SetColors(c.colors);
    PackedFrame frame = engine_->GrabFrameDIB(5, 7, c.width, 11, 0);
    ASSERT_TRUE(frame);
    const BitmapInfoHeader& h = frame.Header();
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, c.width);
    EXPECT_EQ(h.height, 11);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, c.bits);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, c.rowBytes * 11);
    EXPECT_EQ(h.clrUsed, c.bits == 8 ? 256u : 0u);
    EXPECT_EQ(frame.FormatSize(), 40 + c.tableBytes);
    EXPECT_EQ(frame.Size(), 40 + c.tableBytes + c.rowBytes * 11);
    TVistrel::FreeDIB(frame);
    EXPECT_FALSE(frame);
  }
}

TEST_F(GrabberTest, PixelsAreBottomUpAndFilterColorInverts) {
  const int grab = rig_.screen.grabs;
  PackedFrame plain = engine_->GrabFrameDIB(100, 50, 20, 10, 0);
  PackedFrame other = engine_->GrabFrameDIB(100, 50, 20, 10, 2);
  PackedFrame inverse = engine_->GrabFrameDIB(100, 50, 20, 10, 1);
  for (int y : {0, 9}) {
    for (int x : {0, 19}) {
      EXPECT_EQ(FramePixel32(plain, x, y), FakeScreen::PixelAt(100 + x, 50 + y, grab));
      EXPECT_EQ(FramePixel32(other, x, y), FakeScreen::PixelAt(100 + x, 50 + y, grab + 1));
      EXPECT_EQ(FramePixel32(inverse, x, y),
                FakeScreen::PixelAt(100 + x, 50 + y, grab + 2) ^ 0x00FFFFFFu);
    }
  }
}

TEST_F(GrabberTest, TwentyFourBitPixelsAreBlueGreenRed) {
  engine_->SetColors(2);
  const int grab = rig_.screen.grabs;
  PackedFrame frame = engine_->GrabFrameDIB(0, 0, 3, 2, 0);
  const std::uint8_t* top = frame.Pixels() + DibRowBytes(3, 24);  // row 0 is stored last
  const std::uint32_t expected = FakeScreen::PixelAt(2, 0, grab);
  EXPECT_EQ(top[6], expected & 0xFF);
  EXPECT_EQ(top[7], (expected >> 8) & 0xFF);
  EXPECT_EQ(top[8], (expected >> 16) & 0xFF);
}

TEST_F(GrabberTest, CursorHotSpotLandsOnItsPosition) {
  engine_->SetRecordCursor(true);
  rig_.cursor.visible = true;
  rig_.cursor.image.width = 3;
  rig_.cursor.image.height = 3;
  rig_.cursor.image.hotSpot = Point{2, 1};
  rig_.cursor.image.argb.assign(9, 0);
  rig_.cursor.image.argb[1 * 3 + 2] = 0xFFFFFFFF;  // only the hot spot is opaque white
  rig_.cursor.position = Point{110, 70};
  PackedFrame frame = engine_->GrabFrameDIB(100, 50, 20, 30, 0);
  EXPECT_EQ(FramePixel32(frame, 10, 20), 0x00FFFFFFu);
  EXPECT_NE(FramePixel32(frame, 9, 20), 0x00FFFFFFu);

  // A cursor outside the region leaves the pixels alone; a hidden one too.
  rig_.cursor.position = Point{500, 500};
  const int grab = rig_.screen.grabs;
  PackedFrame away = engine_->GrabFrameDIB(100, 50, 20, 30, 0);
  EXPECT_EQ(FramePixel32(away, 10, 20), FakeScreen::PixelAt(110, 70, grab));
}

TEST_F(GrabberTest, OverlayDrawsIntoTheFrame) {
  engine_->OnOverlay = [](TVistrel&, const ImageView& surface, int width, int height) {
    EXPECT_EQ(width, 8);
    EXPECT_EQ(height, 4);
    surface.Pixel(1, 2) = 0x00123456;
  };
  PackedFrame without = engine_->GrabFrameDIB(0, 0, 8, 4, 0);
  EXPECT_NE(FramePixel32(without, 1, 2), 0x00123456u);
  engine_->SetOvelayDrawing(true);
  PackedFrame with = engine_->GrabFrameDIB(0, 0, 8, 4, 0);
  EXPECT_EQ(FramePixel32(with, 1, 2), 0x00123456u);
}

TEST_F(GrabberTest, UnreadablePixelsActLikeEscAndReportError) {
  std::vector<std::string> errors;
  engine_->OnError = [&](TVistrel&, const std::string& text) { errors.push_back(text); };
  rig_.screen.failGrabs = true;
  PackedFrame frame = engine_->GrabFrameDIB(0, 0, 4, 4, 0);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame.Header().width, 4);
  for (std::uint32_t i = 0; i < frame.Header().sizeImage; ++i) ASSERT_EQ(frame.Pixels()[i], 0);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "Error retrieving bitmap bits");
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);
}

// Area timer -----------------------------------------------------------------------------

TEST_F(GrabberTest, FollowMouseKeepsTheRegionOnTheScreen) {
  engine_->SetShowPreview(true);
  struct Case {
    Point mouse;
    int width, height;
    Point expected;
  };
  const Case cases[] = {
      {{10, 10}, 300, 300, {0, 0}},
      {{1023, 767}, 300, 300, {724, 468}},
      {{500, 400}, 301, 300, {350, 250}},
      {{500, 400}, 1100, 300, {-76, 250}},  // wider than the screen: the right edge wins
  };
  for (const Case& c : cases) {
    rig_.cursor.position = c.mouse;
    engine_->SetScreenWidth(c.width);
    engine_->SetScreenHeight(c.height);
    rig_.ui.timer->Fire();
    EXPECT_EQ(engine_->ScreenLeft(), c.expected.x) << c.mouse.x << "," << c.mouse.y;
    EXPECT_EQ(engine_->ScreenTop(), c.expected.y) << c.mouse.x << "," << c.mouse.y;
  }
}

TEST_F(GrabberTest, IdleTickHidesFrameAndReportsNoPreview) {
  std::vector<std::tuple<bool, bool, bool>> previews;
  engine_->OnPreview = [&](TVistrel&, const PreviewBitmap* bitmap, bool preview, bool recording) {
    previews.emplace_back(bitmap != nullptr, preview, recording);
  };
  rig_.ui.frameWindow->showing = true;
  engine_->AreaTimerTick();
  EXPECT_FALSE(rig_.ui.frameWindow->IsShowing());
  ASSERT_EQ(previews.size(), 1u);
  EXPECT_EQ(previews[0], std::make_tuple(false, false, false));
}

TEST_F(GrabberTest, PreviewTickPlacesFrameAndDeliversTheImage) {
  const PreviewBitmap* delivered = nullptr;
  bool previewFlag = false;
  engine_->OnPreview = [&](TVistrel&, const PreviewBitmap* bitmap, bool preview, bool) {
    delivered = bitmap;
    previewFlag = preview;
  };
  engine_->SetColors(1);
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetScreenLeft(30);
  engine_->SetScreenTop(40);
  engine_->SetScreenWidth(64);
  engine_->SetScreenHeight(48);
  engine_->SetShowPreview(true);
  rig_.ui.timer->Fire();
  FakeFrameWindow& frame = *rig_.ui.frameWindow;
  EXPECT_TRUE(frame.IsShowing());
  EXPECT_EQ(frame.placed, (Rect{30, 40, 64, 48}));
  EXPECT_TRUE(frame.cornersOnly);
  EXPECT_EQ(frame.caption, "Preview... Cancel: Esc");
  EXPECT_EQ(frame.paintedColour, 255u);
  ASSERT_NE(delivered, nullptr);
  EXPECT_TRUE(previewFlag);
  EXPECT_EQ(delivered->Width(), 64);
  EXPECT_EQ(delivered->Height(), 48);
  EXPECT_EQ(delivered->BitsPerPixel(), 16);

  engine_->SetDrawAreaCapture(false);
  rig_.ui.timer->Fire();
  EXPECT_FALSE(frame.IsShowing());
}

TEST_F(GrabberTest, NoPreviewImageWhileRecordingALargeRegion) {
  std::vector<std::tuple<bool, bool, bool>> previews;
  engine_->OnPreview = [&](TVistrel&, const PreviewBitmap* bitmap, bool preview, bool recording) {
    previews.emplace_back(bitmap != nullptr, preview, recording);
  };
  engine_->SetSelectedCompressor(0);
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetScreenWidth(801);
  engine_->SetScreenHeight(600);
  engine_->SetShowPreview(true);
  ASSERT_TRUE(engine_->StartRecording(rig_.base + "/large.avi"));
  rig_.ui.timer->Fire();
  rig_.ui.timer->Fire();
  EXPECT_EQ(rig_.ui.frameWindow->caption, "Recording... Cancel: Esc -- Stop: Shift+Esc");
  engine_->SetScreenWidth(800);
  rig_.ui.timer->Fire();
  rig_.hotKeys.Press(TVistrel::FHotKey2);
  rig_.WaitForRecordingThread();
  ASSERT_GE(previews.size(), 3u);
  EXPECT_EQ(previews[0], std::make_tuple(false, false, true));
  EXPECT_EQ(previews[1], std::make_tuple(false, false, true));
  EXPECT_EQ(previews[2], std::make_tuple(true, true, true));
}

TEST_F(GrabberTest, FullScreenRecordingWithoutPreviewShowsNoFrame) {
  engine_->SetSelectedCompressor(0);
  engine_->SetScreenRegion(TScreenRegion::FullScreen);
  ASSERT_TRUE(engine_->StartRecording(rig_.base + "/full.avi"));
  rig_.ui.frameWindow->showing = true;
  rig_.ui.timer->Fire();
  EXPECT_FALSE(rig_.ui.frameWindow->IsShowing());
  rig_.hotKeys.Press(TVistrel::FHotKey2);
  rig_.WaitForRecordingThread();
}

}  // namespace
}  // namespace orvenna
