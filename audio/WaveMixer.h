#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Mixer.h"

namespace orvenna {

class TAudioMixer;

// The control kinds a mixer line looks for, in this order.
enum class TMixerControlType { mcVolume, mcMute, mcSelect, mcMix };

// A destination line (SourceIndex -1) or one of its source lines, with the controls found on
// it. Owned by its mixer; lives until the mixer's lines are rebuilt. UI thread.
class TAudioMixerLine {
 public:
  TAudioMixerLine(TAudioMixer& mixer, int index);

  int SourceIndex() const { return sourceIndex_; }
  TAudioMixer& OwnerMixer() const { return mixer_; }
  const MIXERLINE& LineInfo() const { return lineInfo_; }
  MMRESULT LineResult() const { return lineResult_; }
  const std::set<TMixerControlType>& AvailableControls() const { return available_; }
  const MIXERCONTROL& ControlInfo(TMixerControlType kind) const {
    return controls_[static_cast<int>(kind)];
  }
  const std::string& LineName() const { return lineInfo_.szName; }

  // Volume in percent of the control's range; -1 without a volume control or on a failure.
  int LineVolume();
  // Clamped to 0..100; nothing without a volume control.
  void SetLineVolume(int percent);
  // The source selected by the line's mix control (else its select control); -1 for none.
  int SelectedSource();
  // Selects that source alone. `source` must be a line of the mixer (std::out_of_range).
  void SetSelectedSource(int source);

  // Whether one of the line's controls has that id; the last such kind goes to `kind`.
  bool FindControl(std::uint32_t controlId, TMixerControlType& kind) const;
  // The source line whose name is the text of item `item` of the control of `kind`; -1.
  int ListItemToSource(int item, TMixerControlType kind);
  // The item of the control of `kind` whose text is the name of source `source`; -1.
  int SourceToListItem(int source, TMixerControlType kind);
  // Reads the description and the controls of the line `index` (-1: the destination).
  void ReadLineInfo(int index);

 private:
  // The kind that selects sources: the mix control when there is one, else the select control.
  bool SelectingKind(TMixerControlType& kind);
  bool ItemTexts(TMixerControlType kind, std::vector<std::string>& items);
  // SourceToListItem, with the item texts it read in `items`.
  int ItemOfSource(int source, TMixerControlType kind, std::vector<std::string>& items);

  TAudioMixer& mixer_;
  int sourceIndex_ = -1;
  MIXERLINE lineInfo_;
  MMRESULT lineResult_ = MMSYSERR_NOERROR;
  std::set<TMixerControlType> available_;
  std::array<MIXERCONTROL, 4> controls_{};
};

using TMixerLineNotifyEvent = std::function<void(TAudioMixer& sender, TAudioMixerLine& line)>;
using TMixerControlNotifyEvent =
    std::function<void(TAudioMixer& sender, TAudioMixerLine& line, TMixerControlType kind)>;

// One mixer device, one of its destinations and the source lines connected to it, with the
// device's change notifications as events. UI thread.
class TAudioMixer {
 public:
  explicit TAudioMixer(MixerDriver& driver);
  TAudioMixer(const TAudioMixer&) = delete;
  TAudioMixer& operator=(const TAudioMixer&) = delete;

  TMixerLineNotifyEvent OnLineChange;
  TMixerControlNotifyEvent OnControlChange;

  unsigned MixerCount() { return static_cast<std::uint16_t>(driver_.NumDevs()); }
  unsigned DestinationCount() const { return static_cast<std::uint16_t>(caps_.cDestinations); }
  unsigned LineCount() const {
    return static_cast<std::uint16_t>(destinationLine_->LineInfo().cConnections);
  }
  // The i-th source line; std::out_of_range outside them.
  TAudioMixerLine& MixerLines(int index) const;
  TAudioMixerLine& DestinationLine() const { return *destinationLine_; }
  MMRESULT OpenResult() const { return openResult_; }

  std::uint32_t MixerID() const { return mixerId_; }
  // Reopens the device; ignored for the current device or one that does not exist.
  void SetMixerID(std::uint32_t value);
  std::uint32_t DestinationID() const { return destinationId_; }
  // Rebuilds the lines; a destination the device does not have becomes 0.
  void SetDestinationID(std::uint32_t value);
  std::string MixerName() const { return caps_.szPname; }
  // Selects the device of that name (compared without case); nothing when none has it.
  void SetMixerName(const std::string& value);
  std::string DestinationName() const { return destinationLine_->LineName(); }
  void SetDestinationName(const std::string& value);
  // Reads the destination and its source lines again: the lines are otherwise read only when
  // the device or the destination changes, and a sound server's sources come and go.
  void ReadLines() { ReopenMixer(true); }
  // Append the names of the devices, or of the open device's destinations; answer how many.
  int GetMixerNames(std::vector<std::string>& list);
  int GetDestinationNames(std::vector<std::string>& list);

  // The open device, or null when it could not be opened.
  MixerDevice* Device() const { return device_.get(); }

 private:
  void ReopenMixer(bool destinationOnly);
  void Notify(std::uint64_t generation, unsigned message, std::uint32_t id);

  MixerDriver& driver_;
  std::unique_ptr<MixerDevice> device_;
  std::uint64_t generation_ = 0;  // of the open device: notifications of older ones are dropped
  std::uint32_t mixerId_ = 0;
  MIXERCAPS caps_;
  std::uint32_t destinationId_ = 0;
  std::vector<std::unique_ptr<TAudioMixerLine>> lines_;
  std::unique_ptr<TAudioMixerLine> destinationLine_;
  MMRESULT openResult_ = MMSYSERR_NOERROR;
};

}  // namespace orvenna
