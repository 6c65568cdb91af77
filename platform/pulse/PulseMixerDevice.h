#pragma once

#include <memory>

#include "platform/Mixer.h"
#include "platform/pulse/PulseMixerServer.h"

namespace orvenna {

// The open mixer device of a PulseAudio server: the lines and controls of the copy the server
// object keeps, under the ids of PulseMixerState.h.
//
// Destination 0 "Playback" is the default sink, with a volume and a mute control. Destination
// 1 "Recording Control" has one source line per server source (volume and mute) and a select
// control whose items are the source lines' names and whose one selected item is the default
// source. Volume values run from 0 to PA_VOLUME_NORM.
//
// Without a server the two destination lines still answer, with no source lines and no
// controls, so that a caller who read them meanwhile recognises their ids in the line change
// notifications that come when a server does; everything else answers MMSYSERR_NODRIVER.
class PulseMixerDevice final : public MixerDevice {
 public:
  PulseMixerDevice(std::shared_ptr<PulseMixerServer> server, MixerCallback callback);

  MMRESULT GetLineInfo(std::uint32_t destination, std::int32_t source, MIXERLINE& line) override;
  MMRESULT GetLineControl(std::uint32_t lineId, std::uint32_t controlType,
                          MIXERCONTROL& control) override;
  MMRESULT GetControlValues(std::uint32_t controlId, std::vector<std::uint32_t>& values) override;
  // Volume: one value, larger ones count as the maximum. Mute: one value, non-zero mutes.
  // Select: one value per item, exactly one of them non-zero (MMSYSERR_INVALPARAM otherwise).
  MMRESULT SetControlValues(std::uint32_t controlId,
                            const std::vector<std::uint32_t>& values) override;
  MMRESULT GetListText(std::uint32_t controlId, std::vector<std::string>& items) override;

 private:
  const std::shared_ptr<PulseMixerServer> server_;
  // Ours alone: once the device is gone, posted notifications find it expired.
  const std::shared_ptr<PulseMixerServer::Listener> listener_;
};

}  // namespace orvenna
