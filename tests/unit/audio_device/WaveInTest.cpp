#include <gtest/gtest.h>

#include "tests/unit/audio_device/DeviceRig.h"

namespace orvenna {
namespace {

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EWaveAudioError& error) {
    return error.what();
  }
  return "";
}

TEST(WaveIn, DefaultsAndTheRulesOfTheSetters) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  EXPECT_EQ(device.BufferLength(), 1000);
  EXPECT_EQ(device.BufferCount(), 2);
  EXPECT_EQ(device.DeviceID(), -1);
  EXPECT_EQ(device.PCMFormat(), TPCMFormat::Mono16bit8000Hz);
  EXPECT_FALSE(device.Async());
  EXPECT_FALSE(device.Active());
  EXPECT_FALSE(device.Paused());
  device.SetBufferLength(5);
  EXPECT_EQ(device.BufferLength(), 10);
  EXPECT_EQ(MessageOf([&] { device.Close(); }), "Device is aleardy close");

  device.SetAsync(true);
  ASSERT_TRUE(device.Open());
  EXPECT_EQ(device.BufferSize(), 160u);  // 10 ms of 16-bit mono at 8 kHz
  device.SetAsync(false);                // ignored while active
  EXPECT_TRUE(device.Async());
  EXPECT_EQ(MessageOf([&] { device.Open(); }), "Device is aleardy open");
  EXPECT_EQ(MessageOf([&] { device.SetPCMFormat(TPCMFormat::Mono16bit8000Hz); }), "");
  EXPECT_EQ(MessageOf([&] { device.SetPCMFormat(TPCMFormat::Stereo16bit48000Hz); }),
            "Audio format cannot be changed while device is open");
}

TEST(WaveIn, HandsOnEverySampleInOrderAndEndsWithLevelZeroThenDeactivate) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  device.SetAsync(true);
  device.SetBufferLength(100);  // 1600 bytes a buffer, two of them recycled
  ASSERT_TRUE(device.Open());
  ASSERT_TRUE(StartedRecording(device));
  rig.clock.now += 1000;  // ten buffers' worth at once
  ASSERT_TRUE(Eventually([&] { return device.Recorded().size() == 16000; }));
  rig.clock.now += 50;  // half a buffer, handed on by the close
  ASSERT_TRUE(device.Close());
  ASSERT_TRUE(Eventually([&] { return !device.Active(); }));

  const std::vector<std::uint8_t> recorded = device.Recorded();
  EXPECT_EQ(recorded.size(), 16800u);
  EXPECT_TRUE(IsUnbrokenRamp16(recorded));
  // The level of every buffer comes before its data; the close reports silence last.
  std::vector<std::string> events = device.Events();
  EXPECT_EQ(events.front(), "activate");
  EXPECT_EQ(std::vector(events.end() - 3, events.end()),
            (std::vector<std::string>{"data", "level 0", "deactivate"}));
  EXPECT_EQ(device.BufferCountInUse(), 0);
}

TEST(WaveIn, PausedBeforeOpenQueuesBuffersButRecordsOnlyOnceResumed) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  device.SetAsync(true);
  device.SetBufferLength(100);
  device.SetPaused(true);
  ASSERT_TRUE(device.Open());
  ASSERT_TRUE(Eventually([&] { return device.BufferCountInUse() == 2; }));
  rig.clock.now += 500;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(device.Recorded().empty());

  device.SetPaused(false);
  rig.clock.now += 100;
  ASSERT_TRUE(Eventually([&] { return device.Recorded().size() == 1600; }));
  const std::vector<std::string> events = device.Events();
  EXPECT_EQ(std::vector(events.begin(), events.begin() + 3),
            (std::vector<std::string>{"pause", "activate", "resume"}));
}

TEST(WaveIn, WithoutAsyncTheNotificationsRunOnTheUiThread) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  device.SetBufferLength(100);
  ASSERT_TRUE(device.Open());
  EXPECT_EQ(device.BufferCountInUse(), 0);  // nothing happens until the UI thread serves
  rig.shell.ProcessEventsUntil([&] { return device.BufferCountInUse() == 2; });
  rig.shell.RunPosted();
  rig.clock.now += 200;
  rig.shell.ProcessEventsUntil([&] { return device.Recorded().size() == 3200; });
  ASSERT_TRUE(device.Close());
  rig.shell.ProcessEventsUntil([&] { return !device.Active(); });
  EXPECT_EQ(device.Events().back(), "deactivate");
}

TEST(WaveIn, WithoutBuffersTheDeviceRunsButTheSinkHearsNothing) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  device.SetAsync(true);
  device.SetBufferCount(0);
  ASSERT_TRUE(device.Open());
  rig.clock.now += 1000;
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(device.sinkCalls, 0);
  ASSERT_TRUE(device.Close());
  EXPECT_TRUE(Eventually([&] { return !device.Active(); }));
}

TEST(WaveIn, FailuresGoToOnErrorOrAreRaisedWithTheDriversText) {
  struct Case {
    const char* name;
    bool refuseOpen;  // the device does not open (no sound server)
    bool badFormat;   // the format query fails
    bool handler;     // OnError assigned
    bool raises;
  };
  const Case cases[] = {
      {"refused open, no handler", true, false, false, false},
      {"refused open, handler", true, false, true, false},
      {"refused format, no handler", false, true, false, true},
      {"refused format, handler", false, true, true, false},
  };
  for (const Case& c : cases) {
    DeviceRig rig;
    RecordingDevice device(rig.driver, rig.shell);
    device.SetAsync(true);
    if (c.refuseOpen) rig.driver.openResult = MMSYSERR_NODRIVER;
    if (c.badFormat) {
      device.SetPCMFormat(TPCMFormat::nonePCM);
      device.OnFormat = [](TWaveAudioIn&, std::vector<std::uint8_t>& format) {
        WAVEFORMATEX record;
        FillStandardPCMFormat(record, TPCMFormat::Mono16bit8000Hz);
        record.wBitsPerSample = 24;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
        format.assign(bytes, bytes + sizeof record);
      };
    }
    int errors = 0;
    if (c.handler) device.OnError = [&errors](TWaveAudioIO&) { ++errors; };
    bool opened = false;
    const std::string raised = MessageOf([&] { opened = device.Open(); });
    EXPECT_FALSE(opened) << c.name;
    EXPECT_FALSE(device.Active()) << c.name;
    EXPECT_EQ(!raised.empty(), c.raises) << c.name;
    if (c.raises) {
      EXPECT_EQ(raised, rig.driver.ErrorText(WAVERR_BADFORMAT)) << c.name;
    }
    EXPECT_EQ(errors, c.handler ? 1 : 0) << c.name;
    EXPECT_EQ(device.LastError(), c.refuseOpen ? MMSYSERR_NODRIVER : WAVERR_BADFORMAT) << c.name;
  }
}

TEST(WaveIn, AnInputThatGoesAwayIsReportedAndTheDeviceStillCloses) {
  DeviceRig rig;
  RecordingDevice device(rig.driver, rig.shell);
  std::atomic<int> errors{0};
  device.OnError = [&errors](TWaveAudioIO&) { ++errors; };
  device.SetAsync(true);
  device.SetBufferLength(100);
  ASSERT_TRUE(device.Open());
  ASSERT_TRUE(StartedRecording(device));
  rig.clock.now += 150;
  ASSERT_TRUE(Eventually([&] { return !device.Recorded().empty(); }));
  rig.driver.vanish = true;
  ASSERT_TRUE(Eventually([&] { return errors > 0; }));
  EXPECT_EQ(device.LastError(), MMSYSERR_NOTENABLED);
  ASSERT_TRUE(device.Close());
  ASSERT_TRUE(Eventually([&] { return !device.Active(); }));
  EXPECT_EQ(device.Events().back(), "deactivate");
  EXPECT_TRUE(IsUnbrokenRamp16(device.Recorded()));
}

}  // namespace
}  // namespace orvenna
