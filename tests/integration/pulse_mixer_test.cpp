// The PulseAudio mixer against private servers of the test's own, configured like the shared
// test server: sources nullsink.monitor (the default), sine and discard.monitor, default sink
// nullsink. The topology as pactl lists it; choosing the source and setting volumes and mutes,
// as pactl sees them; changes made with pactl, read back and notified; sources and sinks that
// come and go; no server, then one; a server killed and started again.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "audio/WaveMixer.h"
#include "platform/pulse/PulseMixer.h"
#include "tests/integration/pulse_test_support.h"

namespace orvenna {
namespace {

using namespace std::chrono_literals;
using test::PrivateSoundServer;
using test::RunCommand;
using test::ScopedEnvironment;

constexpr std::uint32_t kNorm = 65536;  // PA_VOLUME_NORM: 100 %
constexpr std::uint32_t kVolume = MIXERCONTROL_CONTROLTYPE_VOLUME;
constexpr std::uint32_t kMute = MIXERCONTROL_CONTROLTYPE_MUTE;
constexpr std::uint32_t kMux = MIXERCONTROL_CONTROLTYPE_MUX;

// The UI thread of the tests: what the driver posts waits here until the test runs it.
class PostedWork {
 public:
  PulseMixerDriver::Poster Poster() {
    return [this](std::function<void()> work) {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(work));
      posted_.notify_all();
    };
  }
  // Runs posted work as it comes until `done` holds; false when it did not within 10 s.
  bool RunUntil(const std::function<bool()>& done) {
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
      if (std::chrono::steady_clock::now() > giveUp) return false;
      AwaitPosted(1, 50ms);
      RunWaiting();
    }
    return true;
  }
  // Runs the work waiting now.
  void RunWaiting() {
    std::deque<std::function<void()>> waiting;
    {
      std::lock_guard lock(mutex_);
      waiting.swap(queue_);
    }
    for (auto& work : waiting) work();
  }
  // Waits, running nothing, until `count` pieces of work are waiting.
  bool AwaitPosted(std::size_t count, std::chrono::milliseconds timeout = 10s) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, timeout, [&] { return queue_.size() >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

// The notifications of one device, in order.
struct Received {
  MixerCallback Callback() {
    return [this](unsigned message, std::uint32_t id) { list.emplace_back(message, id); };
  }
  bool Has(unsigned message, std::uint32_t id) const {
    return std::find(list.begin(), list.end(), std::pair(message, id)) != list.end();
  }
  std::vector<std::pair<unsigned, std::uint32_t>> list;
};

// A volume as pactl prints it: the channels' percentages ("50% 25%") and the loudest value.
struct PactlVolume {
  explicit PactlVolume(const std::string& output) {
    static const std::regex channel(R"((\d+) /\s+(\d+%))");
    for (auto match = std::sregex_iterator(output.begin(), output.end(), channel);
         match != std::sregex_iterator(); ++match) {
      percents += (percents.empty() ? "" : " ") + (*match)[2].str();
      loudest = std::max(loudest, static_cast<std::uint32_t>(std::stoul((*match)[1].str())));
    }
  }
  std::string percents;
  std::uint32_t loudest = 0;
};

bool HaveServerTools() {
  return RunCommand("command -v pulseaudio && command -v pactl").exitCode == 0;
}

class PulseMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveServerTools()) GTEST_SKIP() << "needs pulseaudio and pactl";
    sound_.Start();
    ASSERT_TRUE(sound_.WaitUntilReady());
    OpenDriver();
    ASSERT_TRUE(ui_.RunUntil([&] { return Online() && Sources() == 3; }));
  }

  void OpenDriver() {
    environment_.emplace("PULSE_SERVER", sound_.Address());
    driver_.emplace(ui_.Poster());
    ASSERT_EQ(driver_->Open(0, received_.Callback(), device_), MMSYSERR_NOERROR);
    ASSERT_NE(device_, nullptr);
  }

  MIXERLINE Line(std::uint32_t destination, std::int32_t source) {
    MIXERLINE line;
    EXPECT_EQ(device_->GetLineInfo(destination, source, line), MMSYSERR_NOERROR)
        << destination << "/" << source;
    return line;
  }
  std::uint32_t PlaybackLine() { return Line(0, -1).dwLineID; }
  std::uint32_t RecordingLine() { return Line(1, -1).dwLineID; }
  // The id of the source line of that name; 0 when there is none.
  std::uint32_t SourceLine(const std::string& name) {
    for (std::uint32_t source = 0; source < Line(1, -1).cConnections; ++source) {
      const MIXERLINE line = Line(1, static_cast<std::int32_t>(source));
      if (line.szName == name) return line.dwLineID;
    }
    return 0;
  }
  std::uint32_t Control(std::uint32_t lineId, std::uint32_t type) {
    MIXERCONTROL control;
    EXPECT_EQ(device_->GetLineControl(lineId, type, control), MMSYSERR_NOERROR);
    return control.dwControlID;
  }
  std::vector<std::uint32_t> Values(std::uint32_t controlId) {
    std::vector<std::uint32_t> values;
    EXPECT_EQ(device_->GetControlValues(controlId, values), MMSYSERR_NOERROR);
    return values;
  }
  bool Online() {
    MIXERCONTROL control;
    return device_->GetLineControl(RecordingLine(), kMux, control) == MMSYSERR_NOERROR;
  }
  std::uint32_t Sources() { return Line(1, -1).cConnections; }
  std::vector<std::string> PactlSourceNames() {
    std::istringstream lines(sound_.Pactl("list short sources").output);
    std::vector<std::string> names;
    std::string index, name, rest;
    while (lines >> index >> name && std::getline(lines, rest)) names.push_back(name);
    return names;
  }
  std::string DefaultSource() { return sound_.Pactl("get-default-source").output; }

  PrivateSoundServer sound_{false};
  std::optional<ScopedEnvironment> environment_;
  PostedWork ui_;
  Received received_;
  std::optional<PulseMixerDriver> driver_;  // after the environment, before the device
  std::unique_ptr<MixerDevice> device_;
};

TEST_F(PulseMixerTest, OneDeviceWhoseRecordingLinesAreTheServersSourcesInOrder) {
  EXPECT_EQ(driver_->NumDevs(), 1u);
  MIXERCAPS caps;
  ASSERT_EQ(driver_->GetDevCaps(0, caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, "PulseAudio");
  EXPECT_EQ(caps.cDestinations, 2u);
  EXPECT_EQ(driver_->GetDevCaps(1, caps), MMSYSERR_BADDEVICEID);
  std::unique_ptr<MixerDevice> other;
  EXPECT_EQ(driver_->Open(1, {}, other), MMSYSERR_BADDEVICEID);

  EXPECT_EQ(Line(0, -1).szName, "Playback");
  EXPECT_EQ(Line(0, -1).cConnections, 0u);
  EXPECT_EQ(Line(1, -1).szName, "Recording Control");
  // pactl's order, monitors included; the two null sinks' monitors share a description.
  ASSERT_EQ(PactlSourceNames(),
            (std::vector<std::string>{"nullsink.monitor", "sine", "discard.monitor"}));
  const std::vector<std::string> lineNames = {"Monitor of Null Output", "Sine source at 440 Hz",
                                              "Monitor of Null Output (2)"};
  ASSERT_EQ(Sources(), lineNames.size());
  for (std::size_t source = 0; source < lineNames.size(); ++source) {
    EXPECT_EQ(Line(1, static_cast<std::int32_t>(source)).szName, lineNames[source]);
  }

  const std::uint32_t mux = Control(RecordingLine(), kMux);
  std::vector<std::string> items;
  ASSERT_EQ(device_->GetListText(mux, items), MMSYSERR_NOERROR);
  EXPECT_EQ(items, lineNames);
  ASSERT_EQ(DefaultSource(), "nullsink.monitor\n");
  EXPECT_EQ(Values(mux), (std::vector<std::uint32_t>{1, 0, 0}));

  // Which controls each kind of line has: volume and mute, or the select control.
  for (const std::uint32_t lineId :
       {PlaybackLine(), RecordingLine(), SourceLine("Sine source at 440 Hz")}) {
    const bool levels = lineId != RecordingLine();
    MIXERCONTROL control;
    const auto has = [](bool yes) { return yes ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL; };
    EXPECT_EQ(device_->GetLineControl(lineId, kMute, control), has(levels)) << lineId;
    EXPECT_EQ(device_->GetLineControl(lineId, kMux, control), has(!levels)) << lineId;
    EXPECT_EQ(device_->GetLineControl(lineId, kVolume, control), has(levels)) << lineId;
    EXPECT_EQ(control.dwMaximum, levels ? kNorm : 1) << lineId;
  }
}

// A device read at once after it is opened (as the engine does when it starts) shows the
// server's lines, not the empty ones of a connection still under way.
TEST_F(PulseMixerTest, ADeviceOpenedFirstReadsTheServersLines) {
  for (int run = 0; run < 5; ++run) {
    PulseMixerDriver fresh(ui_.Poster());
    std::unique_ptr<MixerDevice> device;
    ASSERT_EQ(fresh.Open(0, {}, device), MMSYSERR_NOERROR);
    MIXERLINE recording;
    ASSERT_EQ(device->GetLineInfo(1, -1, recording), MMSYSERR_NOERROR);
    EXPECT_EQ(recording.cConnections, 3u) << run;
    EXPECT_EQ(fresh.OfflineReason(), "");
  }
}

TEST_F(PulseMixerTest, WritesReachTheServerAndReadBackAtOnce) {
  const std::uint32_t sine = SourceLine("Sine source at 440 Hz");
  const std::uint32_t monitor = SourceLine("Monitor of Null Output");
  // The monitor's channels at 80 % and 40 %, to see that its balance stays.
  ASSERT_EQ(sound_.Pactl("set-source-volume nullsink.monitor 80% 40%").exitCode, 0);
  const std::uint32_t monitorVolume = Control(monitor, kVolume);
  ASSERT_TRUE(ui_.RunUntil([&] { return received_.Has(MM_MIXM_CONTROL_CHANGE, monitorVolume); }));
  const struct {
    std::uint32_t lineId, type;
    std::vector<std::uint32_t> written, readBack;
    std::string query, pactlSays;  // of a volume, its percentages
  } writes[] = {
      {sine, kVolume, {kNorm / 2}, {kNorm / 2}, "get-source-volume sine", "50%"},
      {sine, kVolume, {kNorm + 5000}, {kNorm}, "get-source-volume sine", "100%"},
      {monitor, kVolume, {kNorm / 2}, {kNorm / 2}, "get-source-volume nullsink.monitor", "50% 25%"},
      {PlaybackLine(), kVolume, {kNorm / 4}, {kNorm / 4}, "get-sink-volume nullsink", "25% 25%"},
      {sine, kMute, {1}, {1}, "get-source-mute sine", "Mute: yes\n"},
      {PlaybackLine(), kMute, {7}, {1}, "get-sink-mute nullsink", "Mute: yes\n"},
      {RecordingLine(), kMux, {0, 1, 0}, {0, 1, 0}, "get-default-source", "sine\n"},
      {RecordingLine(), kMux, {0, 0, 1}, {0, 0, 1}, "get-default-source", "discard.monitor\n"},
  };
  for (const auto& write : writes) {
    SCOPED_TRACE(write.query + " " + std::to_string(write.written.back()));
    const std::uint32_t control = Control(write.lineId, write.type);
    ASSERT_EQ(device_->SetControlValues(control, write.written), MMSYSERR_NOERROR);
    EXPECT_EQ(Values(control), write.readBack);
    const std::string said = sound_.Pactl(write.query).output;
    EXPECT_EQ(write.type == kVolume ? PactlVolume(said).percents : said, write.pactlSays);
  }
}

TEST_F(PulseMixerTest, ChangesMadeWithPactlAreReadBackAndNotified) {
  const std::uint32_t sine = SourceLine("Sine source at 440 Hz");
  const std::uint32_t monitor = SourceLine("Monitor of Null Output");
  const struct {
    std::string change;
    std::uint32_t lineId, type;
    std::vector<std::uint32_t> values;  // empty: the loudest channel of `volumeQuery`
    std::string volumeQuery;
  } changes[] = {
      {"set-source-volume sine 30%", sine, kVolume, {}, "get-source-volume sine"},
      {"set-source-volume nullsink.monitor 70% 20%",
       monitor,
       kVolume,
       {},
       "get-source-volume nullsink.monitor"},
      {"set-source-mute sine 1", sine, kMute, {1}, ""},
      {"set-sink-volume nullsink 60%", PlaybackLine(), kVolume, {}, "get-sink-volume nullsink"},
      {"set-sink-mute nullsink 1", PlaybackLine(), kMute, {1}, ""},
      {"set-default-source sine", RecordingLine(), kMux, {0, 1, 0}, ""},
  };
  for (const auto& change : changes) {
    SCOPED_TRACE(change.change);
    const std::uint32_t control = Control(change.lineId, change.type);
    received_.list.clear();
    ASSERT_EQ(sound_.Pactl(change.change).exitCode, 0);
    ASSERT_TRUE(ui_.RunUntil([&] { return received_.Has(MM_MIXM_CONTROL_CHANGE, control); }));
    std::vector<std::uint32_t> expected = change.values;
    if (expected.empty()) expected = {PactlVolume(sound_.Pactl(change.volumeQuery).output).loudest};
    EXPECT_EQ(Values(control), expected);
  }
}

TEST_F(PulseMixerTest, SourcesAndSinksThatComeAndGo) {
  const std::uint32_t mux = Control(RecordingLine(), kMux);
  const char* load =
      "load-module module-null-sink sink_name=extra sink_properties=device.description=Extra";
  std::string module = sound_.Pactl(load).output;
  module.erase(module.find_last_not_of('\n') + 1);
  // The copy changes before its notification is run.
  EXPECT_TRUE(ui_.RunUntil(
      [&] { return Sources() == 4 && received_.Has(MM_MIXM_LINE_CHANGE, RecordingLine()); }));
  const MIXERLINE extra = Line(1, 3);
  EXPECT_EQ(extra.szName, "Monitor of Extra");
  ASSERT_EQ(device_->SetControlValues(mux, {0, 0, 0, 1}), MMSYSERR_NOERROR);
  EXPECT_EQ(DefaultSource(), "extra.monitor\n");

  // The selected source goes: the server picks another, and the select control shows it.
  const std::uint32_t extraVolume = Control(extra.dwLineID, kVolume);
  received_.list.clear();
  ASSERT_EQ(sound_.Pactl("unload-module " + module).exitCode, 0);
  ASSERT_TRUE(
      ui_.RunUntil([&] { return Sources() == 3 && received_.Has(MM_MIXM_CONTROL_CHANGE, mux); }));
  const std::vector<std::string> names = PactlSourceNames();
  const std::vector<std::uint32_t> selected = Values(mux);
  ASSERT_EQ(selected.size(), names.size());
  const auto chosen = std::find(selected.begin(), selected.end(), 1u) - selected.begin();
  ASSERT_LT(static_cast<std::size_t>(chosen), names.size());
  EXPECT_EQ(names[static_cast<std::size_t>(chosen)] + "\n", DefaultSource());
  std::vector<std::uint32_t> values;
  EXPECT_EQ(device_->GetControlValues(extraVolume, values), MIXERR_INVALCONTROL);
  MIXERCONTROL control;
  EXPECT_EQ(device_->GetLineControl(extra.dwLineID, kVolume, control), MIXERR_INVALLINE);

  // Another default sink: the playback line changes and shows that sink's volume.
  ASSERT_EQ(sound_.Pactl("set-sink-volume discard 40%").exitCode, 0);
  received_.list.clear();
  ASSERT_EQ(sound_.Pactl("set-default-sink discard").exitCode, 0);
  ASSERT_TRUE(ui_.RunUntil([&] { return received_.Has(MM_MIXM_LINE_CHANGE, PlaybackLine()); }));
  const PactlVolume discard(sound_.Pactl("get-sink-volume discard").output);
  EXPECT_EQ(discard.percents, "40% 40%");
  EXPECT_EQ(Values(Control(PlaybackLine(), kVolume)), std::vector<std::uint32_t>{discard.loudest});
}

TEST_F(PulseMixerTest, LinesControlsAndValuesThatDoNotExistAreRefused) {
  const std::uint32_t sine = SourceLine("Sine source at 440 Hz");
  const std::uint32_t volume = Control(sine, kVolume), mux = Control(RecordingLine(), kMux);
  MIXERLINE line;
  MIXERCONTROL control;
  std::vector<std::uint32_t> values;
  std::vector<std::string> items;
  const std::pair<MMRESULT, MMRESULT> answers[] = {
      {device_->GetLineInfo(2, -1, line), MIXERR_INVALLINE},
      {device_->GetLineInfo(0, 0, line), MIXERR_INVALLINE},  // playback has no source lines
      {device_->GetLineInfo(1, 3, line), MIXERR_INVALLINE},
      {device_->GetLineControl(9999, kVolume, control), MIXERR_INVALLINE},
      {device_->GetLineControl(sine, MIXERCONTROL_CONTROLTYPE_MIXER, control), MIXERR_INVALCONTROL},
      {device_->GetControlValues(volume + 3, values), MIXERR_INVALCONTROL},
      {device_->GetListText(volume, items), MIXERR_INVALCONTROL},
      {device_->SetControlValues(volume, {}), MMSYSERR_INVALPARAM},
      {device_->SetControlValues(mux, {0, 0, 0}), MMSYSERR_INVALPARAM},
      {device_->SetControlValues(mux, {1, 0, 1}), MMSYSERR_INVALPARAM},
      {device_->SetControlValues(mux, {0, 1}), MMSYSERR_INVALPARAM},
      {device_->SetControlValues(mux, {0, 1, 0, 0}), MMSYSERR_INVALPARAM}};
  for (std::size_t i = 0; i < std::size(answers); ++i) {
    EXPECT_EQ(answers[i].first, answers[i].second) << "case " << i;
  }
  EXPECT_EQ(DefaultSource(), "nullsink.monitor\n");
  EXPECT_EQ(PactlVolume(sound_.Pactl("get-source-volume sine").output).percents, "100%");
}

TEST_F(PulseMixerTest, NothingReachesADeviceClosedBeforeItsNotificationsRun) {
  bool delivered = false;
  std::unique_ptr<MixerDevice> closing;
  ASSERT_EQ(driver_->Open(
                0, [&](unsigned, std::uint32_t) { delivered = true; }, closing),
            MMSYSERR_NOERROR);
  const std::uint32_t volume = Control(SourceLine("Sine source at 440 Hz"), kVolume);
  ui_.RunWaiting();
  ASSERT_EQ(sound_.Pactl("set-source-volume sine 20%").exitCode, 0);
  ASSERT_TRUE(ui_.AwaitPosted(2));  // one for each device
  closing.reset();
  ui_.RunWaiting();
  EXPECT_TRUE(received_.Has(MM_MIXM_CONTROL_CHANGE, volume));
  EXPECT_FALSE(delivered);

  // An open device keeps working when the driver is gone.
  driver_.reset();
  EXPECT_EQ(Sources(), 3u);
  EXPECT_EQ(device_->SetControlValues(volume, {kNorm}), MMSYSERR_NOERROR);
}

// Servers that are not there from the start.
class PulseMixerFollowTest : public PulseMixerTest {
 protected:
  void SetUp() override {
    if (!HaveServerTools()) GTEST_SKIP() << "needs pulseaudio and pactl";
  }
};

TEST_F(PulseMixerFollowTest, WithoutAServerTheLinesAreEmptyUntilOneAppears) {
  OpenDriver();
  MIXERCAPS caps;
  ASSERT_EQ(driver_->GetDevCaps(0, caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.cDestinations, 2u);
  EXPECT_EQ(Sources(), 0u);
  EXPECT_EQ(driver_->OfflineReason().rfind("no sound server at " + sound_.Address(), 0), 0u)
      << driver_->OfflineReason();
  MIXERLINE line;
  EXPECT_EQ(device_->GetLineInfo(1, 0, line), MMSYSERR_NODRIVER);
  MIXERCONTROL control;
  EXPECT_EQ(device_->GetLineControl(PlaybackLine(), kVolume, control), MMSYSERR_NODRIVER);
  EXPECT_EQ(device_->GetLineControl(RecordingLine(), kMux, control), MMSYSERR_NODRIVER);

  // The audio mixer, opened meanwhile, hears of the server by the ids it read without one.
  TAudioMixer mixer(*driver_);
  mixer.SetDestinationName("Recording Control");
  ASSERT_EQ(mixer.DestinationName(), "Recording Control");
  EXPECT_EQ(mixer.LineCount(), 0u);
  bool recordingChanged = false;
  mixer.OnLineChange = [&](TAudioMixer&, TAudioMixerLine& changed) {
    recordingChanged = recordingChanged || changed.LineName() == "Recording Control";
  };

  sound_.Start();
  ASSERT_TRUE(sound_.WaitUntilReady());
  ASSERT_TRUE(ui_.RunUntil([&] { return Online() && Sources() == 3 && recordingChanged; }));
  EXPECT_TRUE(received_.Has(MM_MIXM_LINE_CHANGE, PlaybackLine()));
  mixer.SetDestinationID(0);
  mixer.SetDestinationID(1);
  EXPECT_EQ(mixer.LineCount(), 3u);
  EXPECT_EQ(mixer.DestinationLine().SelectedSource(), 0);
}

TEST_F(PulseMixerFollowTest, FollowsAServerKilledAndStartedAgain) {
  sound_.Start();
  ASSERT_TRUE(sound_.WaitUntilReady());
  OpenDriver();
  ASSERT_TRUE(ui_.RunUntil([&] { return Online() && Sources() == 3; }));
  for (int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(sigabbrev_np(signal));
    const std::uint32_t oldVolume = Control(SourceLine("Sine source at 440 Hz"), kVolume);
    received_.list.clear();
    sound_.Kill(signal);
    ASSERT_TRUE(ui_.RunUntil(
        [&] { return !Online() && received_.Has(MM_MIXM_LINE_CHANGE, RecordingLine()); }));
    EXPECT_EQ(Sources(), 0u);
    EXPECT_EQ(device_->SetControlValues(oldVolume, {kNorm / 2}), MMSYSERR_NODRIVER);

    received_.list.clear();
    sound_.Start();
    ASSERT_TRUE(sound_.WaitUntilReady());
    ASSERT_TRUE(ui_.RunUntil([&] {
      return Online() && Sources() == 3 && received_.Has(MM_MIXM_LINE_CHANGE, RecordingLine());
    }));
    // The ids of the lost server's sources name nothing on the new one.
    std::vector<std::uint32_t> values;
    EXPECT_EQ(device_->GetControlValues(oldVolume, values), MIXERR_INVALCONTROL);
    const std::uint32_t volume = Control(SourceLine("Sine source at 440 Hz"), kVolume);
    ASSERT_EQ(device_->SetControlValues(volume, {kNorm / 2}), MMSYSERR_NOERROR);
    EXPECT_EQ(PactlVolume(sound_.Pactl("get-source-volume sine").output).percents, "50%");
  }
}

}  // namespace
}  // namespace orvenna
