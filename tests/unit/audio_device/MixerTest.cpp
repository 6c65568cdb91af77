#include <gtest/gtest.h>

#include "audio/WaveMixer.h"
#include "platform/fake/FakeMixer.h"

namespace orvenna {
namespace {

FakeMixerControl Volume(std::uint32_t value) {
  return {MIXERCONTROL_CONTROLTYPE_VOLUME, 65535, {}, {value}};
}

FakeMixerControl Chooser(std::uint32_t type, std::vector<std::string> items, int chosen) {
  std::vector<std::uint32_t> values(items.size(), 0);
  if (chosen >= 0) values[static_cast<std::size_t>(chosen)] = 1;
  return {type, 0, std::move(items), std::move(values)};
}

// Two devices: the first plays only; the second records, from a destination whose select
// control names its sources and whose mix control names them in another order.
FakeMixerDriver TwoMixers() {
  FakeMixerDriver driver;
  driver.devices.push_back({"Speakers", {{{"Playback", {Volume(65535)}}, {{"Wave", {}}}}}});
  driver.devices.push_back(
      {"Card",
       {{{"Playback", {Volume(0)}}, {}},
        {{"Recording Control",
          {Chooser(MIXERCONTROL_CONTROLTYPE_MUX, {"Mic", "Line", "Mix"}, 0),
           Chooser(MIXERCONTROL_CONTROLTYPE_MIXER, {"Line", "Mix", "Mic"}, 1)}},
         {{"Mic", {Volume(32768)}}, {"Line", {}}, {"Mix", {Volume(0)}}}}}});
  return driver;
}

TEST(Mixer, VolumesInPercentOfTheControlsRange) {
  FakeMixerDriver driver = TwoMixers();
  TAudioMixer mixer(driver);
  mixer.SetMixerID(1);
  mixer.SetDestinationID(1);
  ASSERT_EQ(mixer.LineCount(), 3u);
  TAudioMixerLine& mic = mixer.MixerLines(0);
  EXPECT_EQ(mic.LineVolume(), 50);  // 32768 of 65535
  const struct {
    int percent;
    std::uint32_t stored;
  } writes[] = {{50, 32768}, {150, 65535}, {-5, 0}};
  for (const auto& write : writes) {
    mic.SetLineVolume(write.percent);
    EXPECT_EQ(driver.devices[1].destinations[1].sources[0].controls[0].values[0], write.stored)
        << write.percent;
  }
  TAudioMixerLine& line = mixer.MixerLines(1);  // no volume control
  EXPECT_EQ(line.LineVolume(), -1);
  EXPECT_EQ(line.LineResult(), MIXERR_INVALCONTROL);
}

TEST(Mixer, TheMixControlSelectsBeforeTheSelectControlAndNamesMatchExactly) {
  FakeMixerDriver driver = TwoMixers();
  TAudioMixer mixer(driver);
  mixer.SetMixerName("card");  // device names are found without case
  mixer.SetDestinationName("RECORDING CONTROL");
  ASSERT_EQ(mixer.DestinationName(), "Recording Control");
  TAudioMixerLine& destination = mixer.DestinationLine();
  EXPECT_EQ(destination.SelectedSource(), 2);  // mix item 1 is "Mix", source 2
  destination.SetSelectedSource(1);            // "Line": mix item 0, alone
  std::vector<std::uint32_t>& mix = driver.devices[1].destinations[1].line.controls[1].values;
  EXPECT_EQ(mix, (std::vector<std::uint32_t>{1, 0, 0}));

  // Items named otherwise than every source: nothing is read or written.
  mix = {0, 0, 1};
  driver.devices[1].destinations[1].line.controls[1].items = {"line", "mix", "mic"};
  EXPECT_EQ(destination.SelectedSource(), -1);
  destination.SetSelectedSource(0);
  EXPECT_EQ(destination.LineResult(), MMSYSERR_INVALPARAM);
  EXPECT_EQ(mix, (std::vector<std::uint32_t>{0, 0, 1}));
  EXPECT_THROW(destination.SetSelectedSource(3), std::out_of_range);
}

TEST(Mixer, DevicesAndDestinationsOutOfRange) {
  FakeMixerDriver driver = TwoMixers();
  TAudioMixer mixer(driver);
  mixer.SetMixerID(2);  // no such device: nothing happens
  EXPECT_EQ(mixer.MixerID(), 0u);
  EXPECT_EQ(mixer.MixerName(), "Speakers");
  mixer.SetMixerName("Headphones");
  EXPECT_EQ(mixer.MixerName(), "Speakers");
  mixer.SetDestinationID(5);  // beyond the device's: destination 0
  EXPECT_EQ(mixer.DestinationID(), 0u);
  EXPECT_EQ(mixer.DestinationName(), "Playback");
  std::vector<std::string> names;
  EXPECT_EQ(mixer.GetMixerNames(names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"Speakers", "Card"}));
}

TEST(Mixer, ChangesOfTheOpenDeviceReachTheirLine) {
  FakeMixerDriver driver = TwoMixers();
  TAudioMixer mixer(driver);
  mixer.SetMixerID(1);
  mixer.SetDestinationID(1);
  std::vector<std::string> heard;
  mixer.OnLineChange = [&](TAudioMixer&, TAudioMixerLine& line) {
    heard.push_back("line " + line.LineName());
  };
  mixer.OnControlChange = [&](TAudioMixer&, TAudioMixerLine& line, TMixerControlType kind) {
    heard.push_back("control " + line.LineName() + " " + std::to_string(static_cast<int>(kind)));
  };
  driver.Notify(MM_MIXM_LINE_CHANGE, 2003);             // destination 1, source 2: "Mix"
  driver.Notify(MM_MIXM_CONTROL_CHANGE, 20001);         // the destination's mix control
  driver.Notify(MM_MIXM_CONTROL_CHANGE, 99999);         // no such control
  driver.callbacks.front()(MM_MIXM_LINE_CHANGE, 1000);  // the device opened before
  EXPECT_EQ(heard, (std::vector<std::string>{"line Mix", "control Recording Control 3"}));
}

// A sound server's sources come and go between reading the lines and choosing one: the choice
// is written as a value per item of the list the server has now.
TEST(Mixer, ASourceIsSelectedInTheListAsItIsNow) {
  FakeMixerDriver driver;
  driver.devices.push_back(
      {"Card",
       {{{"Recording Control", {Chooser(MIXERCONTROL_CONTROLTYPE_MUX, {"Mic", "Line"}, 0)}},
         {{"Mic", {}}, {"Line", {}}}}}});
  TAudioMixer mixer(driver);
  FakeMixerDestination& recording = driver.devices[0].destinations[0];
  recording.sources = {{"USB", {}}, {"Mic", {}}, {"Monitor", {}}, {"Line", {}}};
  recording.line.controls[0].items = {"USB", "Mic", "Monitor", "Line"};

  mixer.DestinationLine().SetSelectedSource(1);  // "Line", read before the list grew
  EXPECT_EQ(recording.line.controls[0].values, (std::vector<std::uint32_t>{0, 0, 0, 1}));
}

}  // namespace
}  // namespace orvenna
