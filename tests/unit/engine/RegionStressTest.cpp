#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

// While the recording thread grabs, the UI thread moves the mouse along a line on which the
// region's top is always its left plus 58 and lets the area timer follow it. A grab of a torn
// region (a new left with an old top) breaks that rule. Run under ThreadSanitizer as well.
TEST(RegionStress, FollowMouseGrabsNeverSeeAHalfMovedRegion) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetScreenRegion(TScreenRegion::FixedMoving);
  engine.SetScreenWidth(64);
  engine.SetScreenHeight(48);
  engine.SetMSPFRecord(40);
  engine.SetSelectedCompressor(0);

  constexpr int kGrabs = 3000;
  std::mutex lock;
  std::vector<Rect> grabbed;
  rig.screen.onGrab = [&](const Rect& area) {
    rig.clock.now += 1;
    std::lock_guard guard(lock);
    grabbed.push_back(area);
    if (grabbed.size() == kGrabs) engine.StopRecording();
  };
  const auto moveTo = [&](int x) {
    std::lock_guard guard(rig.cursor.lock);
    rig.cursor.position = Point{x + 32, x + 58 + 24};  // region: left x, top x + 58
  };
  moveTo(100);
  engine.SetRegion(Rect{100, 158, 64, 48});  // where the timer puts it for that mouse position
  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  int step = 0;
  rig.shell.ProcessEventsUntil([&] {
    moveTo(100 + step++ % 500);
    engine.AreaTimerTick();
    return !engine.SessionThreadRunning();
  });
  rig.screen.onGrab = nullptr;

  ASSERT_GE(grabbed.size(), std::size_t{kGrabs});
  int moves = 0;
  for (std::size_t i = 0; i < grabbed.size(); ++i) {
    ASSERT_EQ(grabbed[i].top - grabbed[i].left, 58) << "grab " << i;
    ASSERT_EQ(grabbed[i].width, 64);
    if (i > 0 && grabbed[i].left != grabbed[i - 1].left) ++moves;
  }
  EXPECT_GT(moves, 0) << "the region never moved during the recording";
}

}  // namespace
}  // namespace orvenna
