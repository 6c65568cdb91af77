// The engine's audio settings over fake mixers: which device and destination the inputs come
// from, what is listed and selected, and where selections and volumes go.

#include <gtest/gtest.h>

#include "audio/WaveMixer.h"
#include "audio/WaveRecorders.h"
#include "tests/unit/engine/EngineRig.h"

namespace orvenna {
namespace {

FakeMixerControl Volume(std::uint32_t value) {
  return {MIXERCONTROL_CONTROLTYPE_VOLUME, 65535, {}, {value}};
}
FakeMixerControl Mute() {
  return {MIXERCONTROL_CONTROLTYPE_MUTE, 1, {}, {0}};
}
FakeMixerControl Select(std::vector<std::string> items, std::size_t chosen) {
  std::vector<std::uint32_t> values(items.size(), 0);
  values[chosen] = 1;
  return {MIXERCONTROL_CONTROLTYPE_MUX, 0, std::move(items), std::move(values)};
}

// A recording destination named `name` whose select control has "Line" chosen; "Line" has no
// volume control.
FakeMixerDestination Recording(const std::string& name) {
  return {{name, {Select({"Mic", "Line", "Monitor"}, 1)}},
          {{"Mic", {Volume(65535), Mute()}}, {"Line", {Mute()}}, {"Monitor", {Volume(32768)}}}};
}
FakeMixerDestination Playback(std::uint32_t volume) {
  return {{"Playback", {Volume(volume), Mute()}}, {}};
}

std::vector<std::string> Lines(const AudioInputInfo& info) {
  return *info.Lines;
}

TEST(AudioSettings, FormatListAndIndexAfterConstruction) {
  EngineRig rig;
  TVistrel& engine = rig.Make();
  const std::vector<std::string>& formats = engine.GetAudioFormatList();
  ASSERT_EQ(formats.size(), 20u);
  EXPECT_EQ(formats.front(), "PCM: 8.000 kHz, 8 Bit, Mono");
  EXPECT_EQ(formats.back(), "PCM: 48.000 kHz, 16 Bit, Stereo");
  EXPECT_EQ(engine.AudioFormatsIndex(), static_cast<int>(engine.Recorder().PCMFormat()) - 1);
}

TEST(AudioSettings, TheLaterRecordingDeviceIsFoundWhateverTheCaseAndOnlyItsSourcesAreListed) {
  EngineRig rig;
  rig.mixer.devices = {{"First", {Recording("Recording Control")}},
                       {"Card", {Playback(65535), Recording("RECORDING control")}},
                       {"Speakers", {Playback(100)}}};
  TVistrel& engine = rig.Make();
  AudioInputInfo info;
  engine.GetAudioInputs(info);
  EXPECT_EQ(engine.Mixer().MixerID(), 1u);
  EXPECT_EQ(Lines(info), (std::vector<std::string>{"Mic", "Line", "Monitor"}));
  EXPECT_EQ(info.SelectedIndex, 1);
  EXPECT_EQ(info.Volume, -1);  // "Line" has no volume control
  EXPECT_FALSE(info.HasVolume);

  engine.SetAudioInput(2);
  engine.SetAudioInputVolume(2, 25);
  FakeMixerDestination& recording = rig.mixer.devices[1].destinations[1];
  EXPECT_EQ(recording.line.controls[0].values, (std::vector<std::uint32_t>{0, 0, 1}));
  EXPECT_EQ(recording.sources[2].controls[0].values[0], 16384u);  // 65535 x 25 / 100
  EXPECT_EQ(rig.mixer.devices[1].destinations[0].line.controls[0].values[0], 65535u)
      << "the playback volume stays";
  EXPECT_EQ(rig.mixer.devices[0].destinations[0].line.controls[0].values,
            (std::vector<std::uint32_t>{0, 1, 0}))
      << "the earlier device stays";
  engine.GetAudioInputs(info);
  EXPECT_EQ(info.SelectedIndex, 2);
  EXPECT_EQ(info.Volume, 25);
  EXPECT_TRUE(info.HasVolume);
  EXPECT_EQ(engine.AudioInputVolume(0), 100);
  EXPECT_EQ(engine.AudioInputVolume(1), -1);

  // Indexes outside the list change nothing.
  for (int index : {-1, 3}) {
    engine.SetAudioInput(index);
    engine.SetAudioInputVolume(index, 90);
  }
  engine.GetAudioInputs(info);
  EXPECT_EQ(info.SelectedIndex, 2);
  EXPECT_EQ(info.Volume, 25);
}

TEST(AudioSettings, WithoutARecordingDestinationEveryDestinationOfTheSelectingDeviceCounts) {
  EngineRig rig;
  FakeMixerDestination capture = Recording("Capture");
  rig.mixer.devices = {{"Speakers", {Playback(65535)}},
                       {"Card",
                        {{{"Silent", {}}, {}},  // neither select, volume nor mute: no name
                         capture,
                         {{"Aux", {Volume(6554)}}, {}}}}};
  TVistrel& engine = rig.Make();
  AudioInputInfo info;
  engine.GetAudioInputs(info);
  EXPECT_EQ(engine.Mixer().MixerID(), 1u);
  EXPECT_EQ(Lines(info), (std::vector<std::string>{"Mic", "Line", "Monitor", "Aux"}));
  EXPECT_EQ(info.SelectedIndex, 2);  // the last destination decides: "Aux" is destination 2
  EXPECT_EQ(info.Volume, 10);
  EXPECT_TRUE(info.HasVolume);

  engine.SetAudioInputVolume(0, 50);  // source 0 of the select control, and the "Aux" line
  EXPECT_EQ(rig.mixer.devices[1].destinations[1].sources[0].controls[0].values[0], 32768u);
  EXPECT_EQ(rig.mixer.devices[1].destinations[2].line.controls[0].values[0], 32768u);
}

// The options dialog lists the inputs when it is shown; a microphone plugged in meanwhile
// changes the server's list, and the index chosen then counts in the list as it is now.
TEST(AudioSettings, ChoosingAnInputReadsTheSourcesAgain) {
  EngineRig rig;
  rig.mixer.devices = {{"Card", {Recording("Recording Control")}}};
  TVistrel& engine = rig.Make();
  AudioInputInfo info;
  engine.GetAudioInputs(info);
  FakeMixerDestination& recording = rig.mixer.devices[0].destinations[0];
  recording.sources.insert(recording.sources.begin(), FakeMixerLine{"USB", {Volume(0)}});
  recording.line.controls[0] = Select({"USB", "Mic", "Line", "Monitor"}, 2);

  engine.SetAudioInput(0);
  engine.SetAudioInputVolume(0, 50);
  EXPECT_EQ(recording.line.controls[0].values, (std::vector<std::uint32_t>{1, 0, 0, 0}));
  EXPECT_EQ(recording.sources[0].controls[0].values[0], 32768u);
}

TEST(AudioSettings, NoMixerLeavesTheListEmptyAndTheLastValues) {
  EngineRig rig;
  rig.mixer.devices = {{"Card", {Recording("Recording Control")}}};
  TVistrel& engine = rig.Make();
  AudioInputInfo info;
  engine.GetAudioInputs(info);
  ASSERT_EQ(info.Lines->size(), 3u);

  rig.mixer.devices[0].destinations.clear();  // the sound server went away
  engine.GetAudioInputs(info);
  EXPECT_TRUE(info.Lines->empty());
  EXPECT_EQ(info.SelectedIndex, 1);
  EXPECT_FALSE(info.HasVolume);
  engine.SetAudioInput(0);
  engine.SetAudioInputVolume(0, 50);

  EngineRig bare;
  bare.Make().GetAudioInputs(info);
  EXPECT_TRUE(info.Lines->empty());
  EXPECT_EQ(info.SelectedIndex, 0);
  EXPECT_EQ(info.Volume, 0);
}

}  // namespace
}  // namespace orvenna
