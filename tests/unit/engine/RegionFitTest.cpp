#include <gtest/gtest.h>

#include "engine/PreviewBitmap.h"
#include "engine/RegionFit.h"
#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

TEST(RegionFit, KeepsTheRecordablePartOrSaysWhyNone) {
  const Size screen{1024, 768};
  struct Case {
    const char* name;
    Rect asked;
    bool followsMouse;
    Rect expected;
    bool changed;
    const char* problemStart;  // empty when the region can be recorded
  };
  const Case cases[] = {
      {"inside", {10, 20, 301, 299}, false, {10, 20, 301, 299}, false, ""},
      {"whole screen", {0, 0, 1024, 768}, false, {0, 0, 1024, 768}, false, ""},
      {"far larger", {0, 0, 99999, 99999}, false, {0, 0, 1024, 768}, true, ""},
      {"over the right edge", {1000, 700, 100, 100}, false, {1000, 700, 24, 68}, true, ""},
      {"over the top-left", {-50, -10, 100, 100}, false, {0, 0, 50, 90}, true, ""},
      {"wholly right",
       {1024, 0, 100, 100},
       false,
       {},
       false,
       "The region 100 x 100 at 1024,0 lies"},
      {"wholly above",
       {0, -100, 100, 100},
       false,
       {},
       false,
       "The region 100 x 100 at 0,-100 lies"},
      {"far away", {100000, 100000, 99999, 99999}, false, {}, false, "The region 99999 x 99999"},
      {"no width", {0, 0, 0, 10}, false, {}, false, "The region 0 x 10 at 0,0 is empty"},
      {"negative height", {0, 0, 10, -5}, false, {}, false, "The region 10 x -5 at 0,0 is empty"},
      {"following, larger", {0, 0, 5000, 300}, true, {0, 0, 1024, 300}, true, ""},
      {"following, fits", {7, 8, 640, 480}, true, {7, 8, 640, 480}, false, ""},
      {"following, negative", {0, 0, -1, 300}, true, {}, false, "The region -1 x 300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RegionFit fit = FitRegionToScreen(c.asked, screen, c.followsMouse);
    if (*c.problemStart == '\0') {
      EXPECT_EQ(fit.problem, "");
      EXPECT_EQ(fit.region, c.expected);
      EXPECT_EQ(fit.changed, c.changed);
    } else {
      EXPECT_EQ(fit.problem.rfind(c.problemStart, 0), 0u) << fit.problem;
      // Even a refused region is never larger than the screen.
      EXPECT_LE(fit.region.width, screen.width);
      EXPECT_LE(fit.region.height, screen.height);
    }
  }
}

TEST(PreviewBitmap, SizesNoImageIsMadeForGiveAnEmptyImage) {
  PreviewBitmap bitmap;
  const std::pair<int, int> sizes[] = {{-5, 300},   {300, -1}, {INT_MIN, INT_MIN},
                                       {40000, 10}, {10, 0},   {99999, 99999}};
  for (const auto& [width, height] : sizes) {
    bitmap.SetSize(width, height);
    EXPECT_EQ(bitmap.Width(), 0) << width << "x" << height;
    EXPECT_EQ(bitmap.Height(), 0) << width << "x" << height;
  }
  bitmap.SetSize(301, 299);
  EXPECT_EQ(bitmap.Width(), 301);
  EXPECT_EQ(bitmap.Height(), 299);
}

class RegionAtStartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = &rig_.Make();
    engine_->SetMSPFRecord(40);
    engine_->OnError = [this](TVistrel&, const std::string& text) {
      std::lock_guard guard(lock_);
      errors_.push_back(text);
    };
    // The real default compressor codes whole 4 x 4 blocks only.
    rig_.codecs.Find(TVistrel::DefaultCompressorFcc)->accepts = [](const BitmapInfoHeader& h) {
      return h.width % 4 == 0 && h.height % 4 == 0;
    };
  }

  // Records until `grabs` grabs have been made (the sample's is the first), then stops.
  void RecordGrabs(int grabs) {
    int count = 0;
    rig_.screen.onGrab = [&, grabs](const Rect& area) {
      {
        std::lock_guard guard(lock_);
        grabbed_.push_back(area);
      }
      rig_.clock.now += 20;
      if (++count == grabs) engine_->StopRecording();
    };
    ASSERT_TRUE(engine_->StartRecording(rig_.base + "/out.avi"));
    rig_.WaitForRecordingThread();
    rig_.screen.onGrab = nullptr;
  }

  std::mutex lock_;
  std::vector<std::string> errors_;
  std::vector<Rect> grabbed_;
  EngineRig rig_;
  TVistrel* engine_ = nullptr;
};

TEST_F(RegionAtStartTest, RegionFarLargerThanTheScreenRecordsTheScreen) {
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetRegion(Rect{0, 0, 99999, 99999});
  engine_->GetCompressorList();  // its sample is of the screen, not of the region asked for
  ASSERT_GE(engine_->CompressorCount(), 1);
  engine_->SetSelectedCompressor(0);
  RecordGrabs(4);
  EXPECT_EQ(engine_->Region(), (Rect{0, 0, 1024, 768}));
  for (const Rect& area : grabbed_) EXPECT_EQ(area, (Rect{0, 0, 1024, 768}));
  EXPECT_TRUE(Process().SaveSucceeded);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(RegionAtStartTest, RegionWhollyOffTheScreenIsRefusedBeforeAnything) {
  const Rect offScreen{2000, 100, 300, 300};
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetRegion(offScreen);
  bool grabbed = false;
  rig_.screen.onGrab = [&grabbed](const Rect&) { grabbed = true; };
  EXPECT_FALSE(engine_->StartRecording(rig_.base + "/out.avi"));
  EXPECT_FALSE(engine_->Recording());
  EXPECT_FALSE(engine_->SessionThreadRunning());
  EXPECT_FALSE(grabbed);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_NE(errors_[0].find("lies wholly outside the screen (1024 x 768)"), std::string::npos);
  EXPECT_EQ(engine_->Region(), offScreen);
}

// Every way to the default compressor records a size it takes, and every frame has it.
TEST_F(RegionAtStartTest, DefaultCompressorTakesAnyRegionOnEveryRoute) {
  enum class Route { NoneSelected, SelectionDoesNotOpen };
  for (const Route route : {Route::NoneSelected, Route::SelectionDoesNotOpen}) {
    SCOPED_TRACE(static_cast<int>(route));
    engine_->SetScreenRegion(TScreenRegion::FixedStable);
    engine_->SetRegion(Rect{5, 6, 301, 299});
    engine_->SetSelectedCompressor(route == Route::NoneSelected ? -1 : 9);
    rig_.shell.answers = {true};
    rig_.shell.questions.clear();
    grabbed_.clear();
    RecordGrabs(5);
    EXPECT_EQ(rig_.shell.questions.size(), 1u);
    EXPECT_EQ(engine_->Region(), (Rect{5, 6, 304, 300}));
    EXPECT_EQ(grabbed_.back(), (Rect{5, 6, 304, 300}));
    EXPECT_TRUE(Process().SaveSucceeded);
    EXPECT_TRUE(errors_.empty()) << errors_.front();
  }
}

TEST_F(RegionAtStartTest, RunAgainWithTheDefaultCompressorTakesItsSize) {
  FakeCompressorBehaviour flaky;
  flaky.fcc = FourCC('F', 'L', 'K', 'Y');
  flaky.name = "Flaky";
  flaky.failEncodeAt = 1;
  rig_.codecs.Add(flaky);
  engine_->SetScreenRegion(TScreenRegion::FixedStable);
  engine_->SetRegion(Rect{5, 6, 301, 299});
  engine_->GetCompressorList();
  ASSERT_EQ(engine_->CompressorCount(), 2);  // the default takes 301 x 299 rounded to 304 x 300
  engine_->SetSelectedCompressor(1);
  rig_.shell.answers = {true};
  RecordGrabs(20);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "Error on write data to AVI stream.");
  EXPECT_EQ(engine_->CodecName(), "MS Video Codec");
  EXPECT_EQ(grabbed_.back(), (Rect{5, 6, 304, 300}));
  EXPECT_TRUE(Process().SaveSucceeded);
}

}  // namespace
}  // namespace orvenna
