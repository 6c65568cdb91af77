// What the engine takes from a confirmed pick: the part of the picked rectangle on the 1024 x
// 768 screen, or nothing (like a cancelled pick, with a message) when no part is on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

struct Case {
  const char* name;
  TScreenRegion kind;
  Rect picked;
  Rect region;  // the engine's region afterwards; empty: the pick is refused
};

TEST(PickedRegionTest, APickIsClippedToTheScreenOrRefused) {
  const Rect before{5, 6, 300, 300};
  const std::vector<Case> cases = {
      {"inside", TScreenRegion::SelObject, {10, 20, 64, 48}, {10, 20, 64, 48}},
      {"a window reaching past the left and top",
       TScreenRegion::SelObject,
       {-30, -8, 330, 208},
       {0, 0, 300, 200}},
      {"a window reaching past the right and bottom",
       TScreenRegion::SelObject,
       {900, 700, 300, 200},
       {900, 700, 124, 68}},
      {"a maximised window with its borders outside",
       TScreenRegion::SelObject,
       {-4, -4, 1032, 776},
       {0, 0, 1024, 768}},
      {"a free-hand rectangle", TScreenRegion::FreeHand, {100, 50, 200, 150}, {100, 50, 200, 150}},
      {"nothing picked yet", TScreenRegion::SelObject, {0, 0, 0, 0}, {}},
      {"wholly left of the screen", TScreenRegion::SelObject, {-400, 10, 300, 200}, {}},
      {"no height", TScreenRegion::FreeHand, {10, 10, 50, 0}, {}},
      {"a negative size", TScreenRegion::SelObject, {500, 500, -20, 40}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRig rig;
    TVistrel& engine = rig.Make();
    std::vector<std::string> errors;
    engine.OnError = [&](TVistrel&, const std::string& message) { errors.push_back(message); };
    engine.SetSelectedCompressor(0);
    engine.SetScreenLeft(before.left);
    engine.SetScreenTop(before.top);
    engine.SetScreenRegion(c.kind);
    EXPECT_FALSE(engine.StartRecording(rig.base + "/out.avi"));
    rig.ui.preparePicker = [&](FakePicker& picker) {
      picker.selection = c.picked;
      picker.result = ModalResult::Ok;
    };
    rig.ui.timer->Fire();
    const bool refused = c.region.width == 0;
    EXPECT_FALSE(Process().PendingStart);
    if (refused) {
      EXPECT_EQ(engine.Region(), before);
      EXPECT_EQ(engine.ScreenRegion(), c.kind);
      EXPECT_FALSE(engine.Recording());
      EXPECT_FALSE(rig.ui.timer->Enabled());
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_NE(errors[0].find("no part on the screen"), std::string::npos) << errors[0];
    } else {
      EXPECT_EQ(engine.Region(), c.region);
      EXPECT_EQ(engine.ScreenRegion(), TScreenRegion::FixedStable);
      EXPECT_TRUE(engine.Recording());
      EXPECT_TRUE(errors.empty());
      engine.StopRecording();
      rig.WaitForRecordingThread();
    }
  }
}

}  // namespace
}  // namespace orvenna
