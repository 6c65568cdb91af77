// The audio inputs of the recording mixer: listing them, choosing the one recorded from and its
// volume.
//
// The recording mixer device is the last one with a destination named "recording control"
// (in any case); on it only that destination is looked at, so that the list holds exactly its
// source lines, the selected index points into that list and the input volume never moves
// another destination such as the playback volume. A desktop without such a device offers
// the inputs of the last device that has a destination with a select control (where the
// sound input's source is chosen), else of device 0; there every destination with a select,
// volume or mute control counts.

#include <algorithm>
#include <cctype>

#include "audio/WaveMixer.h"
#include "engine/Vistrel.h"

namespace orvenna {
namespace {

constexpr const char* kRecordingDestination = "recording control";

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool HasSelectControl(const TAudioMixerLine& line) {
  return line.AvailableControls().contains(TMixerControlType::mcSelect);
}

bool HasLevel(const TAudioMixerLine& line) {
  return line.AvailableControls().contains(TMixerControlType::mcVolume) ||
         line.AvailableControls().contains(TMixerControlType::mcMute);
}

// Makes `destination` the mixer's current one with its lines read afresh.
void ReadDestination(TAudioMixer& mixer, unsigned destination) {
  if (mixer.DestinationID() == destination) {
    mixer.ReadLines();
  } else {
    mixer.SetDestinationID(destination);
  }
}

// The position of the destination named "recording control" on the open device, or -1.
int RecordingDestination(TAudioMixer& mixer) {
  std::vector<std::string> names;
  mixer.GetDestinationNames(names);
  for (std::size_t i = names.size(); i-- > 0;) {
    if (LowerCase(names[i]) == kRecordingDestination) return static_cast<int>(i);
  }
  return -1;
}

bool HasSelectingDestination(TAudioMixer& mixer) {
  for (unsigned destination = 0; destination < mixer.DestinationCount(); ++destination) {
    ReadDestination(mixer, destination);
    if (HasSelectControl(mixer.DestinationLine())) return true;
  }
  return false;
}

// The destinations of the selected device that the audio inputs come from.
std::vector<unsigned> InputDestinations(TAudioMixer& mixer) {
  const int recording = RecordingDestination(mixer);
  if (recording >= 0) return {static_cast<unsigned>(recording)};
  std::vector<unsigned> all(mixer.DestinationCount());
  for (unsigned i = 0; i < all.size(); ++i) all[i] = i;
  return all;
}

bool IsSourceOf(const TAudioMixer& mixer, int index) {
  return index >= 0 && static_cast<unsigned>(index) < mixer.LineCount();
}

}  // namespace

void TVistrel::SelectRecordingMixer() {
  TAudioMixer& mixer = *mixer_;
  int found = -1;
  for (unsigned id = 0; id < mixer.MixerCount(); ++id) {
    mixer.SetMixerID(id);
    if (mixer.MixerID() == id && RecordingDestination(mixer) >= 0) found = static_cast<int>(id);
  }
  if (found < 0) {
    found = 0;
    for (unsigned id = 0; id < mixer.MixerCount(); ++id) {
      mixer.SetMixerID(id);
      if (mixer.MixerID() == id && HasSelectingDestination(mixer)) found = static_cast<int>(id);
    }
  }
  recordingMixerId_ = found;
  mixer.SetMixerID(static_cast<std::uint32_t>(found));
}

void TVistrel::GetAudioInputs(AudioInputInfo& info) {
  CheckUiThread("GetAudioInputs");
  audioInputNames_.clear();
  SelectRecordingMixer();
  TAudioMixer& mixer = *mixer_;
  for (unsigned destination : InputDestinations(mixer)) {
    ReadDestination(mixer, destination);
    TAudioMixerLine& line = mixer.DestinationLine();
    if (HasSelectControl(line)) {
      audioInputIndex_ = line.SelectedSource();
      TAudioMixerLine* selected =
          IsSourceOf(mixer, audioInputIndex_) ? &mixer.MixerLines(audioInputIndex_) : nullptr;
      audioInputVolume_ = selected ? selected->LineVolume() : -1;
      audioInputHasVolume_ =
          selected && selected->AvailableControls().contains(TMixerControlType::mcVolume);
      for (unsigned source = 0; source < mixer.LineCount(); ++source) {
        audioInputNames_.push_back(mixer.MixerLines(static_cast<int>(source)).LineName());
      }
    } else if (HasLevel(line)) {
      audioInputIndex_ = static_cast<int>(destination);
      audioInputVolume_ = line.LineVolume();
      audioInputHasVolume_ = line.AvailableControls().contains(TMixerControlType::mcVolume);
      audioInputNames_.push_back(line.LineName());
    }
  }
  info = AudioInputInfo{.Lines = &audioInputNames_,
                        .SelectedIndex = audioInputIndex_,
                        .Volume = audioInputVolume_,
                        .HasVolume = audioInputHasVolume_};
}

void TVistrel::SetAudioInput(int index) {
  CheckUiThread("SetAudioInput");
  SelectRecordingMixer();
  TAudioMixer& mixer = *mixer_;
  for (unsigned destination : InputDestinations(mixer)) {
    ReadDestination(mixer, destination);
    if (HasSelectControl(mixer.DestinationLine()) && IsSourceOf(mixer, index)) {
      mixer.DestinationLine().SetSelectedSource(index);
    }
  }
}

void TVistrel::ForEachInputLevel(int index, const std::function<void(TAudioMixerLine&)>& use) {
  SelectRecordingMixer();
  TAudioMixer& mixer = *mixer_;
  for (unsigned destination : InputDestinations(mixer)) {
    ReadDestination(mixer, destination);
    TAudioMixerLine& line = mixer.DestinationLine();
    if (HasSelectControl(line)) {
      if (IsSourceOf(mixer, index)) use(mixer.MixerLines(index));
    } else if (HasLevel(line)) {
      use(line);
    }
  }
}

void TVistrel::SetAudioInputVolume(int index, int volume) {
  CheckUiThread("SetAudioInputVolume");
  ForEachInputLevel(index, [volume](TAudioMixerLine& line) { line.SetLineVolume(volume); });
}

int TVistrel::AudioInputVolume(int index) {
  CheckUiThread("AudioInputVolume");
  int volume = -1;
  ForEachInputLevel(index, [&volume](TAudioMixerLine& line) { volume = line.LineVolume(); });
  return volume;
}

}  // namespace orvenna
