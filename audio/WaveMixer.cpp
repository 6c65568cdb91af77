#include "audio/WaveMixer.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

constexpr std::array<std::uint32_t, 4> kControlTypes = {
    MIXERCONTROL_CONTROLTYPE_VOLUME, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLTYPE_MUX,
    MIXERCONTROL_CONTROLTYPE_MIXER};

bool SameWithoutCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

TAudioMixerLine::TAudioMixerLine(TAudioMixer& mixer, int index) : mixer_(mixer) {
  ReadLineInfo(index);
}

void TAudioMixerLine::ReadLineInfo(int index) {
  sourceIndex_ = index;
  lineInfo_ = MIXERLINE{};
  available_.clear();
  MixerDevice* device = mixer_.Device();
  lineResult_ =
      device ? device->GetLineInfo(mixer_.DestinationID(), index, lineInfo_) : MMSYSERR_INVALHANDLE;
  if (lineResult_ != MMSYSERR_NOERROR) return;
  for (std::size_t kind = 0; kind < kControlTypes.size(); ++kind) {
    controls_[kind] = MIXERCONTROL{};
    if (device->GetLineControl(lineInfo_.dwLineID, kControlTypes[kind], controls_[kind]) ==
        MMSYSERR_NOERROR) {
      available_.insert(static_cast<TMixerControlType>(kind));
    }
  }
}

int TAudioMixerLine::LineVolume() {
  lineResult_ = MIXERR_INVALCONTROL;
  if (!available_.contains(TMixerControlType::mcVolume)) return -1;
  const MIXERCONTROL& control = ControlInfo(TMixerControlType::mcVolume);
  std::vector<std::uint32_t> values;
  lineResult_ = mixer_.Device()->GetControlValues(control.dwControlID, values);
  if (lineResult_ != MMSYSERR_NOERROR || values.empty()) return -1;
  return static_cast<int>(MulDiv(values[0], 100, control.dwMaximum));
}

void TAudioMixerLine::SetLineVolume(int percent) {
  lineResult_ = MIXERR_INVALCONTROL;
  if (!available_.contains(TMixerControlType::mcVolume)) return;
  const MIXERCONTROL& control = ControlInfo(TMixerControlType::mcVolume);
  const auto value = MulDiv(control.dwMaximum, std::clamp(percent, 0, 100), 100);
  lineResult_ =
      mixer_.Device()->SetControlValues(control.dwControlID, {static_cast<std::uint32_t>(value)});
}

bool TAudioMixerLine::SelectingKind(TMixerControlType& kind) {
  if (available_.contains(TMixerControlType::mcMix)) {
    kind = TMixerControlType::mcMix;
  } else if (available_.contains(TMixerControlType::mcSelect)) {
    kind = TMixerControlType::mcSelect;
  } else {
    lineResult_ = MIXERR_INVALCONTROL;
    return false;
  }
  return true;
}

int TAudioMixerLine::SelectedSource() {
  TMixerControlType kind;
  if (!SelectingKind(kind)) return -1;
  std::vector<std::uint32_t> values;
  lineResult_ = mixer_.Device()->GetControlValues(ControlInfo(kind).dwControlID, values);
  if (lineResult_ != MMSYSERR_NOERROR) return -1;
  for (std::size_t item = 0; item < values.size(); ++item) {
    if (values[item] & 0xFF) return ListItemToSource(static_cast<int>(item), kind);
  }
  return -1;
}

void TAudioMixerLine::SetSelectedSource(int source) {
  TMixerControlType kind;
  if (!SelectingKind(kind)) return;
  std::vector<std::string> items;
  const int item = ItemOfSource(source, kind, items);
  if (item < 0) {
    lineResult_ = MMSYSERR_INVALPARAM;
    return;
  }
  // One value per text read now: a sound server's list may have grown or shrunk since the line
  // was read, and the control's item count is from then.
  std::vector<std::uint32_t> values(items.size(), 0);
  values[static_cast<std::size_t>(item)] = 1;
  lineResult_ = mixer_.Device()->SetControlValues(ControlInfo(kind).dwControlID, values);
}

bool TAudioMixerLine::FindControl(std::uint32_t controlId, TMixerControlType& kind) const {
  bool found = false;
  for (const TMixerControlType candidate : available_) {
    if (ControlInfo(candidate).dwControlID == controlId) {
      kind = candidate;
      found = true;
    }
  }
  return found;
}

bool TAudioMixerLine::ItemTexts(TMixerControlType kind, std::vector<std::string>& items) {
  lineResult_ = mixer_.Device()->GetListText(ControlInfo(kind).dwControlID, items);
  return lineResult_ == MMSYSERR_NOERROR;
}

int TAudioMixerLine::ListItemToSource(int item, TMixerControlType kind) {
  if (!available_.contains(kind)) {
    lineResult_ = MIXERR_INVALCONTROL;
    return -1;
  }
  if (item < 0 || static_cast<std::uint32_t>(item) >= ControlInfo(kind).cMultipleItems) {
    lineResult_ = MMSYSERR_INVALPARAM;
    return -1;
  }
  std::vector<std::string> items;
  if (!ItemTexts(kind, items) || static_cast<std::size_t>(item) >= items.size()) return -1;
  lineResult_ = MMSYSERR_INVALPARAM;  // also when a name matched
  for (unsigned source = 0; source < mixer_.LineCount(); ++source) {
    const TAudioMixerLine& line = mixer_.MixerLines(static_cast<int>(source));
    if (line.LineName() == items[static_cast<std::size_t>(item)]) return line.SourceIndex();
  }
  return -1;
}

int TAudioMixerLine::SourceToListItem(int source, TMixerControlType kind) {
  std::vector<std::string> items;
  return ItemOfSource(source, kind, items);
}

int TAudioMixerLine::ItemOfSource(int source, TMixerControlType kind,
                                  std::vector<std::string>& items) {
  const std::string& name = mixer_.MixerLines(source).LineName();
  if (!available_.contains(kind)) {
    lineResult_ = MIXERR_INVALCONTROL;
    return -1;
  }
  if (!ItemTexts(kind, items)) return -1;
  lineResult_ = MMSYSERR_INVALPARAM;
  const auto found = std::find(items.begin(), items.end(), name);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

TAudioMixer::TAudioMixer(MixerDriver& driver)
    : driver_(driver), destinationLine_(std::make_unique<TAudioMixerLine>(*this, -1)) {
  ReopenMixer(false);
}

TAudioMixerLine& TAudioMixer::MixerLines(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= lines_.size()) {
    throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
  }
  return *lines_[static_cast<std::size_t>(index)];
}

void TAudioMixer::SetMixerID(std::uint32_t value) {
  if (value == mixerId_ || value >= MixerCount()) return;
  mixerId_ = value;
  ReopenMixer(false);
}

void TAudioMixer::SetDestinationID(std::uint32_t value) {
  if (value == destinationId_) return;
  destinationId_ = value;
  ReopenMixer(true);
}

void TAudioMixer::SetMixerName(const std::string& value) {
  if (value == MixerName()) return;
  std::vector<std::string> names;
  GetMixerNames(names);
  const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
    return SameWithoutCase(name, value);
  });
  if (found != names.end()) SetMixerID(static_cast<std::uint32_t>(found - names.begin()));
}

void TAudioMixer::SetDestinationName(const std::string& value) {
  if (value == DestinationName()) return;
  std::vector<std::string> names;
  GetDestinationNames(names);
  const auto found = std::find_if(names.begin(), names.end(), [&](const std::string& name) {
    return SameWithoutCase(name, value);
  });
  if (found != names.end()) SetDestinationID(static_cast<std::uint32_t>(found - names.begin()));
}

int TAudioMixer::GetMixerNames(std::vector<std::string>& list) {
  const unsigned count = MixerCount();
  for (unsigned id = 0; id < count; ++id) {
    MIXERCAPS caps;
    driver_.GetDevCaps(id, caps);
    list.push_back(caps.szPname);
  }
  return static_cast<int>(count);
}

int TAudioMixer::GetDestinationNames(std::vector<std::string>& list) {
  int appended = 0;
  for (unsigned destination = 0; destination < caps_.cDestinations; ++destination) {
    MIXERLINE line;
    if (device_) device_->GetLineInfo(destination, -1, line);
    list.push_back(line.szName);
    ++appended;
  }
  return appended;
}

void TAudioMixer::ReopenMixer(bool destinationOnly) {
  lines_.clear();
  if (!destinationOnly) {
    device_.reset();
    caps_ = MIXERCAPS{};
    driver_.GetDevCaps(mixerId_, caps_);
    const std::uint64_t generation = ++generation_;
    openResult_ = driver_.Open(
        mixerId_,
        [this, generation](unsigned message, std::uint32_t id) { Notify(generation, message, id); },
        device_);
    if (openResult_ != MMSYSERR_NOERROR) device_.reset();
  }
  if (destinationId_ >= DestinationCount()) destinationId_ = 0;
  destinationLine_->ReadLineInfo(-1);
  for (unsigned source = 0; source < LineCount(); ++source) {
    lines_.push_back(std::make_unique<TAudioMixerLine>(*this, static_cast<int>(source)));
  }
}

// A change reported by the open device: the line, or the line that has the control, hears of
// it, the destination first. Reports of a device opened before are dropped.
void TAudioMixer::Notify(std::uint64_t generation, unsigned message, std::uint32_t id) {
  if (generation != generation_) return;
  std::vector<TAudioMixerLine*> lines{destinationLine_.get()};
  for (const auto& line : lines_) lines.push_back(line.get());
  for (TAudioMixerLine* line : lines) {
    TMixerControlType kind;
    if (message == MM_MIXM_CONTROL_CHANGE && line->FindControl(id, kind)) {
      if (OnControlChange) OnControlChange(*this, *line, kind);
      return;
    }
    if (message == MM_MIXM_LINE_CHANGE && line->LineInfo().dwLineID == id) {
      if (OnLineChange) OnLineChange(*this, *line);
      return;
    }
  }
}

}  // namespace orvenna
