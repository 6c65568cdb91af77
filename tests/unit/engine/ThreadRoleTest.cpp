#include <gtest/gtest.h>

#include <thread>

#include "platform/ThreadRole.h"
#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

TEST(ThreadRole, AScopeAddsItsRoleAndGivesBackWhatWasThere) {
  std::thread([] {
    EXPECT_FALSE(InThreadRole(ThreadRole::Recording));
    {
      const ThreadRoleScope recording(ThreadRole::Recording);
      {
        const ThreadRoleScope wave(ThreadRole::Wave);
        EXPECT_TRUE(InThreadRole(ThreadRole::Recording));
        EXPECT_TRUE(InThreadRole(ThreadRole::Wave));
      }
      EXPECT_TRUE(InThreadRole(ThreadRole::Recording));
      EXPECT_FALSE(InThreadRole(ThreadRole::Wave));
    }
    EXPECT_FALSE(InThreadRole(ThreadRole::Recording));
    EXPECT_FALSE(InThreadRole(ThreadRole::UI));  // roles belong to the thread that took them
  }).join();
}

TEST(ThreadRole, TheEnginesThreadIsTheUiThreadAndARecordingHasItsOwn) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  EXPECT_TRUE(InThreadRole(ThreadRole::UI));
  engine.SetScreenRegion(TScreenRegion::FixedStable);
  engine.SetSelectedCompressor(0);
  bool recordingThread = false;
  bool uiThread = true;
  engine.OnStart = [&](TVistrel& sender) {
    recordingThread = InThreadRole(ThreadRole::Recording);
    uiThread = InThreadRole(ThreadRole::UI);
    sender.StopRecording();
  };
  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  rig.WaitForRecordingThread();
  engine.OnStart = nullptr;
  EXPECT_TRUE(recordingThread);
  EXPECT_FALSE(uiThread);
}

#ifdef ORVENNA_CHECKS
TEST(ThreadRoleDeathTest, AMethodOnTheWrongThreadStopsTheProgram) {
  EXPECT_DEATH(ORVENNA_CHECK_THREAD(Recording, "RecordingOnly"), "RecordingOnly");
  EngineRig rig;
  TVistrel& engine = rig.Make();
  PAVISTREAM none;
  // The final assembly belongs to the recording thread.
  EXPECT_DEATH(engine.SaveAVIFile(rig.base + "/out.avi", 1, &none), "SaveStreams");
}
#endif

}  // namespace
}  // namespace orvenna
