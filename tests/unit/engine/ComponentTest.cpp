#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

struct ProgressCall {
  int percent;
  std::string caption;
};

TEST(EngineComponent, ConstructionSetsDefaults) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  EXPECT_EQ(engine.FPSPlayBack(), 40);
  EXPECT_EQ(engine.MSPFRecord(), 25);
  EXPECT_EQ(engine.KeyFramesEvery(), 15);
  EXPECT_EQ(engine.CompressionQuality(), 8000);
  EXPECT_EQ(engine.Colors(), 3);
  EXPECT_EQ(engine.BitCount(), 32);
  EXPECT_EQ(engine.GetPreviewBitmap().BitsPerPixel(), 32);
  EXPECT_EQ(engine.SelectedCompressor(), -1);
  EXPECT_EQ(engine.ScreenLeft(), 0);
  EXPECT_EQ(engine.ScreenTop(), 0);
  EXPECT_EQ(engine.ScreenWidth(), 300);
  EXPECT_EQ(engine.ScreenHeight(), 300);
  EXPECT_FALSE(engine.UseAudioRecord());
  EXPECT_TRUE(engine.RecordCursor());
  EXPECT_TRUE(engine.DrawAreaCapture());
  EXPECT_TRUE(engine.LineRectClear());
  EXPECT_TRUE(engine.MinimizeAppOnStart());
  EXPECT_TRUE(engine.RestoreAppOnStop());
  EXPECT_EQ(engine.ScreenRegion(), TScreenRegion::FixedMoving);
  EXPECT_FALSE(engine.ShowPreview());
  EXPECT_EQ(engine.Priority(), 3);
  EXPECT_EQ(engine.FilterColor(), 0);
  EXPECT_FALSE(engine.OvelayDrawing());
  EXPECT_EQ(engine.CodecName(), "MS Video Codec");
  EXPECT_EQ(engine.CompressorFcc(), 0x4356534Du);
  EXPECT_FALSE(engine.CaptureTimer().Enabled);
  EXPECT_EQ(engine.DesktopWidth(), 1024);
  EXPECT_EQ(engine.DesktopHeight(), 768);
  EXPECT_EQ(Process().StopRequest, TStopRequest::None);
  EXPECT_EQ(Process().Instance, &engine);
  EXPECT_EQ(Process().VideoTempFile, rig.TempFolder() + "~vstream.avi");
  EXPECT_EQ(Process().AudioTempFile, rig.TempFolder() + "~astream.wav");

  EXPECT_FALSE(rig.ui.timer->Enabled());
  EXPECT_EQ(rig.ui.timer->interval, 10);
  EXPECT_FALSE(rig.ui.frameWindow->IsShowing());
  // The catalogue was built at construction: the one fake compressor accepts 32-bit frames.
  EXPECT_EQ(engine.CompressorCount(), 1);

  // An idle engine leaves Esc and Ctrl+Enter to the other programs of the desktop.
  EXPECT_TRUE(rig.hotKeys.registered.empty());
}

TEST(EngineComponent, ColorsSetterChangesDepthOnlyOnRealChange) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  const int expected[] = {8, 16, 24, 32, 32, 32};
  const int values[] = {0, 1, 2, 3, 7, -1};
  for (int i = 0; i < 6; ++i) {
    engine.SetColors(values[i]);
    EXPECT_EQ(engine.BitCount(), expected[i]) << values[i];
    EXPECT_EQ(engine.GetPreviewBitmap().BitsPerPixel(), expected[i]) << values[i];
  }
  engine.SetColors(-1);  // the same value again
  EXPECT_EQ(engine.BitCount(), 32);
}

TEST(EngineComponent, PriorityOutsideTheLevelsIsKept) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetPriority(9);
  EXPECT_EQ(engine.Priority(), 9);
  engine.SetPriority(0);
  EXPECT_EQ(engine.Priority(), 0);
}

TEST(EngineComponent, PreviewSwitchesTimerAndFrame) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  std::vector<std::tuple<bool, bool, bool>> previews;
  engine.OnPreview = [&](TVistrel&, const PreviewBitmap* bitmap, bool preview, bool recording) {
    previews.emplace_back(bitmap != nullptr, preview, recording);
  };
  engine.SetShowPreview(true);
  EXPECT_TRUE(engine.ShowPreview());
  EXPECT_TRUE(rig.ui.timer->Enabled());
  EXPECT_TRUE(previews.empty());
  engine.SetShowPreview(false);
  EXPECT_FALSE(rig.ui.timer->Enabled());
  EXPECT_FALSE(rig.ui.frameWindow->IsShowing());
  ASSERT_EQ(previews.size(), 1u);
  EXPECT_EQ(previews[0], std::make_tuple(false, false, false));
}

// Shift+Esc and Esc are the engine's exactly while they can stop or cancel something, and
// Ctrl+Enter only while the window picker is open: during a recording it belongs to the program
// the user types into, and the recording goes on. A pressed key that ends what held them gives
// them back.
TEST(EngineComponent, HotKeysAreHeldOnlyWhileTheyCanAct) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetSelectedCompressor(0);
  const auto held = [&] {
    EXPECT_EQ(engine.HoldsHotKeys(), !rig.hotKeys.registered.empty());
    return engine.HoldsHotKeys();
  };
  const auto keyOf = [&](int id) {
    const auto key = rig.hotKeys.registered.at(id);
    return std::make_pair(key.modifiers, key.virtualKey);
  };
  engine.SetShowPreview(true);
  ASSERT_TRUE(held());
  ASSERT_EQ(rig.hotKeys.registered.size(), 2u);
  EXPECT_EQ(keyOf(TVistrel::FHotKey1), std::make_pair(4u, 27u));  // Shift+Esc
  EXPECT_EQ(keyOf(TVistrel::FHotKey2), std::make_pair(0u, 27u));  // Esc
  engine.SetShowPreview(false);
  EXPECT_FALSE(held());

  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  EXPECT_TRUE(held());
  EXPECT_EQ(rig.hotKeys.registered.count(TVistrel::FHotKey3), 0u);
  engine.HotKeyPressed(TVistrel::FHotKey3);
  EXPECT_TRUE(engine.Recording()) << "Ctrl+Enter ended the recording";
  rig.hotKeys.Press(TVistrel::FHotKey1);
  EXPECT_FALSE(held()) << "a stopped recording without a preview";
  rig.WaitForRecordingThread();
  EXPECT_EQ(Process().StopRequest, TStopRequest::Stop);

  engine.SetShowPreview(true);
  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  rig.hotKeys.Press(TVistrel::FHotKey1);
  EXPECT_TRUE(held()) << "the preview still runs";
  rig.WaitForRecordingThread();
  rig.hotKeys.Press(TVistrel::FHotKey2);
  EXPECT_FALSE(held());
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);

  for (const auto region : {TScreenRegion::FreeHand, TScreenRegion::SelObject}) {
    engine.SetScreenRegion(region);
    EXPECT_FALSE(engine.StartRecording(rig.base + "/out.avi"));
    EXPECT_TRUE(held()) << "a start waits for its region";
    bool heldWhileOpen = false;
    std::size_t keysWhileOpen = 0;
    rig.ui.preparePicker = [&](FakePicker& picker) {
      picker.onShow = [&] {
        heldWhileOpen = held();
        keysWhileOpen = rig.hotKeys.registered.size();
        rig.hotKeys.Press(TVistrel::FHotKey2);
      };
    };
    rig.ui.timer->Fire();
    EXPECT_TRUE(heldWhileOpen);
    EXPECT_EQ(keysWhileOpen, region == TScreenRegion::SelObject ? 3u : 2u);
    EXPECT_FALSE(held()) << "the cancelled pick";
  }
  rig.engine.reset();
  EXPECT_TRUE(rig.hotKeys.registered.empty());
}

TEST(EngineComponent, EscDuringPreviewRestoresAndEndsPreview) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetShowPreview(true);
  rig.hotKeys.Press(TVistrel::FHotKey2);
  EXPECT_EQ(rig.shell.CountCalls("restore"), 1);
  EXPECT_FALSE(engine.ShowPreview());
  EXPECT_FALSE(rig.ui.timer->Enabled());
}

TEST(EngineComponent, StartWithPickedRegionWaitsAndCancelledPickStartsNothing) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetScreenRegion(TScreenRegion::FreeHand);
  EXPECT_FALSE(engine.StartRecording(rig.base + "/out.avi"));
  EXPECT_TRUE(Process().PendingStart);
  EXPECT_TRUE(engine.WaitingForRegion());
  EXPECT_TRUE(engine.PickFreeHandMode());
  EXPECT_TRUE(rig.ui.timer->Enabled());
  EXPECT_EQ(rig.shell.CountCalls("minimize"), 1);

  // The next tick opens the picker; Esc inside it cancels the pick.
  rig.ui.preparePicker = [&](FakePicker& picker) {
    picker.onShow = [&] { rig.hotKeys.Press(TVistrel::FHotKey2); };
    picker.result = ModalResult::Ok;
  };
  rig.ui.timer->Fire();
  EXPECT_EQ(rig.ui.freeHandPickers, 1);
  EXPECT_FALSE(Process().PendingStart);
  EXPECT_FALSE(engine.WaitingForRegion());
  EXPECT_FALSE(rig.ui.timer->Enabled());
  EXPECT_FALSE(engine.Recording());
  EXPECT_FALSE(engine.SessionThreadRunning());
  EXPECT_EQ(engine.ScreenRegion(), TScreenRegion::FreeHand);
}

// A picker that closes with Cancel by itself (a desktop's chooser cancelled) leaves nothing
// waiting: no pending start, no preview, the area timer stopped, as after Esc.
TEST(EngineComponent, APickerCancelledByItselfEndsThePickAsEscDoes) {
  for (const bool preview : {false, true}) {
    SCOPED_TRACE(preview ? "during the preview" : "at a start");
    EngineRig rig;
    TVistrel& engine = rig.Make();
    engine.SetScreenRegion(TScreenRegion::SelObject);
    if (preview) {
      engine.SetShowPreview(true);
    } else {
      EXPECT_FALSE(engine.StartRecording(rig.base + "/out.avi"));
    }
    rig.ui.preparePicker = [](FakePicker& picker) { picker.result = ModalResult::Cancel; };
    rig.ui.timer->Fire();
    EXPECT_EQ(rig.ui.objectPickers, 1);
    EXPECT_FALSE(Process().PendingStart);
    EXPECT_FALSE(engine.ShowPreview());
    EXPECT_FALSE(rig.ui.timer->Enabled());
    EXPECT_FALSE(engine.Recording());
    EXPECT_FALSE(engine.HoldsHotKeys());
  }
}

TEST(EngineComponent, ConfirmedObjectPickStartsTheRecordingOnTheRegion) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetSelectedCompressor(0);
  engine.SetScreenRegion(TScreenRegion::SelObject);
  EXPECT_FALSE(engine.StartRecording(rig.base + "/out.avi"));
  bool topmost = true;
  bool timerStopped = false;
  rig.ui.preparePicker = [&](FakePicker& picker) {
    picker.selection = Rect{10, 20, 64, 48};
    picker.onShow = [&] {
      rig.hotKeys.Press(TVistrel::FHotKey3);
      topmost = picker.topmost;
      timerStopped = picker.timerStopped;
    };
  };
  rig.ui.timer->Fire();
  EXPECT_EQ(rig.ui.objectPickers, 1);
  EXPECT_FALSE(topmost);  // only the free-hand window is made topmost
  EXPECT_TRUE(timerStopped);
  EXPECT_EQ(engine.ScreenRegion(), TScreenRegion::FixedStable);
  EXPECT_EQ(engine.ScreenLeft(), 10);
  EXPECT_EQ(engine.ScreenWidth(), 64);
  EXPECT_TRUE(engine.Recording());
  EXPECT_TRUE(rig.ui.timer->Enabled());
  rig.hotKeys.Press(TVistrel::FHotKey2);
  rig.WaitForRecordingThread();
  EXPECT_FALSE(engine.Recording());
}

TEST(EngineComponent, StartRefusedWhileRecordingChangesNothing) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetSelectedCompressor(0);
  engine.SetScreenRegion(TScreenRegion::FullScreen);
  engine.SetScreenWidth(10);
  ASSERT_TRUE(engine.StartRecording(rig.base + "/first.avi"));
  // The full-screen region was set before the thread started.
  EXPECT_EQ(engine.ScreenWidth(), 1024);
  EXPECT_EQ(engine.ScreenHeight(), 768);
  EXPECT_FALSE(engine.StartRecording(rig.base + "/second.avi"));
  EXPECT_EQ(Process().TargetFileName, rig.base + "/first.avi");
  rig.hotKeys.Press(TVistrel::FHotKey2);
  EXPECT_FALSE(engine.Recording());
  rig.WaitForRecordingThread();
  EXPECT_FALSE(engine.SessionThreadRunning());
}

TEST(EngineComponent, ShowPreviewOffWhileRecordingKeepsTheTimer) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetSelectedCompressor(0);
  engine.SetShowPreview(true);
  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  engine.SetShowPreview(false);
  EXPECT_TRUE(rig.ui.timer->Enabled());
  rig.hotKeys.Press(TVistrel::FHotKey2);
  rig.WaitForRecordingThread();
}

TEST(EngineComponent, DestroyingWhileRecordingCancelsAndWaitsForTheThread) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  engine.SetSelectedCompressor(0);
  std::atomic<int> grabsAfterEnd{0};
  std::atomic<bool> ended{false};
  rig.screen.onGrab = [&](const Rect&) {
    if (ended) ++grabsAfterEnd;
  };
  ASSERT_TRUE(engine.StartRecording(rig.base + "/out.avi"));
  while (rig.screen.grabs < 20) std::this_thread::yield();
  rig.engine.reset();
  ended = true;
  EXPECT_EQ(Process().StopRequest, TStopRequest::Cancel);
  EXPECT_FALSE(std::filesystem::exists(rig.base + "/out.avi"));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(grabsAfterEnd, 0);
  rig.screen.onGrab = nullptr;
}

// DeleteTempFile ------------------------------------------------------------------------

class DeleteTempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    engine_ = &rig_.Make();
    engine_->OnDeleting = [this](TVistrel&, int percent, const std::string& caption, bool& go) {
      calls_.push_back({percent, caption});
      if (declineAt_ == static_cast<int>(calls_.size())) go = false;
    };
  }
  std::string Write(const std::string& name, const std::string& content) {
    const std::string path = rig_.TempFolder() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::vector<ProgressCall> calls_;
  int declineAt_ = 0;
  EngineRig rig_;  // last: the engine reports to the members above until it is gone
  TVistrel* engine_ = nullptr;
};

TEST_F(DeleteTempFileTest, MissingFileReportsOnceAndSucceeds) {
  EXPECT_TRUE(engine_->DeleteTempFile(rig_.TempFolder() + "none"));
  ASSERT_EQ(calls_.size(), 1u);
  EXPECT_EQ(calls_[0].percent, 100);
  EXPECT_EQ(calls_[0].caption, "");
  EXPECT_EQ(rig_.shell.CountCalls("busy"), rig_.shell.CountCalls("cursor back"));
}

TEST_F(DeleteTempFileTest, WipesAndDeletes) {
  const std::string path = Write("victim", std::string(10000, 'x'));
  EXPECT_TRUE(engine_->DeleteTempFile(path));
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[0].percent, 4);
  EXPECT_EQ(calls_[0].caption, "Delete Temp File");
  EXPECT_EQ(calls_[1].percent, 100);
  EXPECT_EQ(calls_[1].caption, "");
}

TEST_F(DeleteTempFileTest, DeclinedFirstCallKeepsTheOverwrittenFile) {
  const std::string content(10000, 'x');
  const std::string path = Write("kept", content);
  declineAt_ = 1;
  EXPECT_FALSE(engine_->DeleteTempFile(path));
  ASSERT_EQ(calls_.size(), 2u);
  EXPECT_EQ(calls_[0].percent, 4);
  EXPECT_EQ(calls_[0].caption, "Delete Temp File");
  EXPECT_EQ(calls_[1].percent, 100);
  EXPECT_EQ(calls_[1].caption, "");
  // Overwritten whole: one block of 4096 random bytes over and over.
  const std::string after = Read(path);
  ASSERT_EQ(after.size(), content.size());
  EXPECT_NE(after.substr(0, 4096), content.substr(0, 4096));
  EXPECT_EQ(after.substr(4096), after.substr(0, after.size() - 4096));
}

TEST_F(DeleteTempFileTest, LockedFileIsScheduledAfterTwentyFiveAttempts) {
  const std::string path = Write("locked", "data");
  const int holder = open(path.c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  EXPECT_TRUE(engine_->DeleteTempFile(path));
  close(holder);
  ASSERT_EQ(calls_.size(), 25u);
  EXPECT_EQ(calls_.front().percent, 4);
  EXPECT_EQ(calls_.back().percent, 100);
  EXPECT_EQ(Read(path), "data");  // not wiped, still there until the next start
  rig_.engine.reset();
  rig_.Make();
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(DeleteTempFileTest, PlantedSymlinkNeverRedirectsTheWipe) {
  const std::string outside = rig_.base + "/precious";
  std::ofstream(outside) << "precious data";
  const std::string link = rig_.TempFolder() + "~vstream.avi";
  ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
  engine_->DeleteTempFile(link);
  EXPECT_EQ(Read(outside), "precious data");
  rig_.engine.reset();
  rig_.Make();
  EXPECT_FALSE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Read(outside), "precious data");
}

}  // namespace
}  // namespace orvenna
