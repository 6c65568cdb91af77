#pragma once

#include <pulse/volume.h>

#include <cstdint>
#include <string>
#include <vector>

namespace orvenna {

// Ids of the PulseAudio mixer device. The two destination lines have fixed ids. Each source
// the driver meets gets a line id of its own, never given to another source, not even after
// the server restarts: an id kept from before a change then names nothing rather than another
// source. A control's id is its line's id times 4 plus its kind.
constexpr std::uint32_t kPlaybackLineId = 1;
constexpr std::uint32_t kRecordingLineId = 2;
constexpr std::uint32_t kFirstSourceLineId = 16;

enum class MixerControlKind : std::uint32_t { Volume = 0, Mute = 1, Select = 2 };

constexpr std::uint32_t ControlIdOf(std::uint32_t lineId, MixerControlKind kind) {
  return lineId * 4 + static_cast<std::uint32_t>(kind);
}
constexpr std::uint32_t LineIdOfControl(std::uint32_t controlId) {
  return controlId / 4;
}
// The kind part of a control id; 3 is no kind.
constexpr std::uint32_t KindPartOfControl(std::uint32_t controlId) {
  return controlId % 4;
}

struct MixerSource {
  std::uint32_t index = PA_INVALID_INDEX;  // the server's
  std::string name;                        // the server's name, e.g. "nullsink.monitor"
  std::string description;
  std::string lineName;  // the description, made unique among the sources
  pa_cvolume volume{};
  bool muted = false;
  std::uint32_t lineId = 0;
};

struct MixerSink {
  bool known = false;  // false while the server has no default sink
  std::uint32_t index = PA_INVALID_INDEX;
  std::string name;
  pa_cvolume volume{};
  bool muted = false;
};

// What the driver knows of the server. `online` once connected and read in full; everything
// else is empty while it is false.
struct MixerState {
  bool online = false;
  std::vector<MixerSource> sources;  // in the server's order
  std::string defaultSource;         // the server's name of its default source
  MixerSink sink;                    // the default sink

  const MixerSource* SourceOfLine(std::uint32_t lineId) const {
    for (const MixerSource& source : sources) {
      if (source.lineId == lineId) return &source;
    }
    return nullptr;
  }
  MixerSource* SourceOfIndex(std::uint32_t index) {
    for (MixerSource& source : sources) {
      if (source.index == index) return &source;
    }
    return nullptr;
  }
};

// The value of a volume control: the loudest channel, at most PA_VOLUME_NORM (the maximum).
inline std::uint32_t VolumeValue(const pa_cvolume& volume) {
  if (!pa_cvolume_valid(&volume)) return 0;
  const pa_volume_t loudest = pa_cvolume_max(&volume);
  return loudest < PA_VOLUME_NORM ? loudest : PA_VOLUME_NORM;
}

}  // namespace orvenna
