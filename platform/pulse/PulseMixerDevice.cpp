#include "platform/pulse/PulseMixerDevice.h"

#include <algorithm>
#include <optional>

namespace orvenna {

namespace {

constexpr const char* kPlaybackName = "Playback";
constexpr const char* kRecordingName = "Recording Control";

std::optional<MixerControlKind> KindOfType(std::uint32_t controlType) {
  switch (controlType) {
    case MIXERCONTROL_CONTROLTYPE_VOLUME:
      return MixerControlKind::Volume;
    case MIXERCONTROL_CONTROLTYPE_MUTE:
      return MixerControlKind::Mute;
    case MIXERCONTROL_CONTROLTYPE_MUX:
      return MixerControlKind::Select;
    default:
      return std::nullopt;
  }
}

// Whether line `lineId` has a control of `kind` now: MIXERR_INVALLINE when there is no such
// line, MIXERR_INVALCONTROL when it has none of that kind, MMSYSERR_NODRIVER without a server.
MMRESULT FindControl(const MixerState& state, std::uint32_t lineId,
                     std::optional<MixerControlKind> kind) {
  if (!state.online) return MMSYSERR_NODRIVER;
  bool volumeAndMute = false;
  bool select = false;
  if (lineId == kPlaybackLineId) {
    volumeAndMute = state.sink.known;
  } else if (lineId == kRecordingLineId) {
    select = true;
  } else if (state.SourceOfLine(lineId) != nullptr) {
    volumeAndMute = true;
  } else {
    return MIXERR_INVALLINE;
  }
  if (!kind) return MIXERR_INVALCONTROL;
  const bool has = *kind == MixerControlKind::Select ? select : volumeAndMute;
  return has ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

// The kind of control `controlId`, when the control exists now.
MMRESULT FindControl(const MixerState& state, std::uint32_t controlId, MixerControlKind& kind) {
  const std::uint32_t part = KindPartOfControl(controlId);
  std::optional<MixerControlKind> named;
  if (part <= static_cast<std::uint32_t>(MixerControlKind::Select)) {
    named = static_cast<MixerControlKind>(part);
  }
  const MMRESULT result = FindControl(state, LineIdOfControl(controlId), named);
  if (result == MIXERR_INVALLINE) return MIXERR_INVALCONTROL;  // an id no control has
  if (result == MMSYSERR_NOERROR) kind = *named;
  return result;
}

const pa_cvolume& VolumeOf(const MixerState& state, std::uint32_t lineId) {
  return lineId == kPlaybackLineId ? state.sink.volume : state.SourceOfLine(lineId)->volume;
}

bool MutedOf(const MixerState& state, std::uint32_t lineId) {
  return lineId == kPlaybackLineId ? state.sink.muted : state.SourceOfLine(lineId)->muted;
}

}  // namespace

PulseMixerDevice::PulseMixerDevice(std::shared_ptr<PulseMixerServer> server, MixerCallback callback)
    : server_(std::move(server)),
      listener_(std::make_shared<PulseMixerServer::Listener>(
          PulseMixerServer::Listener{std::move(callback)})) {
  server_->AddListener(listener_);
}

MMRESULT PulseMixerDevice::GetLineInfo(std::uint32_t destination, std::int32_t source,
                                       MIXERLINE& line) {
  if (destination > 1 || source < -1) return MIXERR_INVALLINE;
  const bool recording = destination == 1;
  return server_->WithState([&](const MixerState& state) {
    if (source < 0) {
      line.dwDestination = destination;
      line.dwSource = 0;
      line.dwLineID = recording ? kRecordingLineId : kPlaybackLineId;
      line.cConnections = recording ? static_cast<std::uint32_t>(state.sources.size()) : 0;
      line.szName = recording ? kRecordingName : kPlaybackName;
      return MMSYSERR_NOERROR;
    }
    if (!state.online) return MMSYSERR_NODRIVER;
    const auto position = static_cast<std::size_t>(source);
    if (!recording || position >= state.sources.size()) return MIXERR_INVALLINE;
    const MixerSource& found = state.sources[position];
    line.dwDestination = destination;
    line.dwSource = static_cast<std::uint32_t>(source);
    line.dwLineID = found.lineId;
    line.cConnections = 0;
    line.szName = found.lineName;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT PulseMixerDevice::GetLineControl(std::uint32_t lineId, std::uint32_t controlType,
                                          MIXERCONTROL& control) {
  const std::optional<MixerControlKind> kind = KindOfType(controlType);
  return server_->WithState([&](const MixerState& state) {
    const MMRESULT result = FindControl(state, lineId, kind);
    if (result != MMSYSERR_NOERROR) return result;
    control.dwControlID = ControlIdOf(lineId, *kind);
    control.dwControlType = controlType;
    control.cMultipleItems =
        *kind == MixerControlKind::Select ? static_cast<std::uint32_t>(state.sources.size()) : 0;
    control.dwMaximum = *kind == MixerControlKind::Volume ? PA_VOLUME_NORM : 1;
    return MMSYSERR_NOERROR;
  });
}

MMRESULT PulseMixerDevice::GetControlValues(std::uint32_t controlId,
                                            std::vector<std::uint32_t>& values) {
  return server_->WithState([&](const MixerState& state) {
    MixerControlKind kind;
    const MMRESULT result = FindControl(state, controlId, kind);
    if (result != MMSYSERR_NOERROR) return result;
    const std::uint32_t lineId = LineIdOfControl(controlId);
    switch (kind) {
      case MixerControlKind::Volume:
        values = {VolumeValue(VolumeOf(state, lineId))};
        break;
      case MixerControlKind::Mute:
        values = {MutedOf(state, lineId) ? 1u : 0u};
        break;
      case MixerControlKind::Select:
        values.clear();
        for (const MixerSource& source : state.sources) {
          values.push_back(source.name == state.defaultSource ? 1 : 0);
        }
        break;
    }
    return MMSYSERR_NOERROR;
  });
}

MMRESULT PulseMixerDevice::SetControlValues(std::uint32_t controlId,
                                            const std::vector<std::uint32_t>& values) {
  MixerControlKind kind = MixerControlKind::Volume;
  std::uint32_t selectedLine = 0;
  const MMRESULT checked = server_->WithState([&](const MixerState& state) {
    const MMRESULT result = FindControl(state, controlId, kind);
    if (result != MMSYSERR_NOERROR) return result;
    if (values.empty()) return MMSYSERR_INVALPARAM;
    if (kind != MixerControlKind::Select) return MMSYSERR_NOERROR;
    // Exactly one item, of the list as it is now: a list read before sources came or went
    // has another length.
    if (values.size() != state.sources.size()) return MMSYSERR_INVALPARAM;
    if (std::count_if(values.begin(), values.end(), [](std::uint32_t v) { return v != 0; }) != 1) {
      return MMSYSERR_INVALPARAM;
    }
    const auto item =
        std::find_if(values.begin(), values.end(), [](std::uint32_t v) { return v != 0; });
    selectedLine = state.sources[static_cast<std::size_t>(item - values.begin())].lineId;
    return MMSYSERR_NOERROR;
  });
  if (checked != MMSYSERR_NOERROR) return checked;
  const std::uint32_t lineId = LineIdOfControl(controlId);
  switch (kind) {
    case MixerControlKind::Volume:
      return server_->SetVolume(lineId, values[0]);
    case MixerControlKind::Mute:
      return server_->SetMute(lineId, values[0] != 0);
    case MixerControlKind::Select:
      return server_->SetDefaultSource(selectedLine);
  }
  return MIXERR_INVALCONTROL;
}

MMRESULT PulseMixerDevice::GetListText(std::uint32_t controlId, std::vector<std::string>& items) {
  return server_->WithState([&](const MixerState& state) {
    MixerControlKind kind;
    const MMRESULT result = FindControl(state, controlId, kind);
    if (result != MMSYSERR_NOERROR) return result;
    if (kind != MixerControlKind::Select) return MIXERR_INVALCONTROL;
    items.clear();
    for (const MixerSource& source : state.sources) items.push_back(source.lineName);
    return MMSYSERR_NOERROR;
  });
}

}  // namespace orvenna
