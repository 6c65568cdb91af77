#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Mixer.h"

namespace orvenna {

class PulseMixerServer;

// The mixer of a PulseAudio server (or of PipeWire's PulseAudio service), as one mixer device
// with two destinations: "Playback" (the default sink: volume and mute, no source lines) and
// "Recording Control" (one source line per server source, monitors of outputs included, in
// the server's order, each with volume and mute; a select control over them whose selected
// item is the server's default source, the one sound input records from). Volumes are in
// PA_VOLUME_NORM units (the maximum), the scale desktop volume controls show.
//
// The driver keeps following the server: it connects when one appears, and after a restart
// or a loss it connects again. Meanwhile the two destination lines answer with no source lines
// and no controls (so that their ids, read meanwhile, match the line change notifications that
// come with the server), and every other query fails. Change notifications reach the open
// device's callback through `postToUiThread`. UI thread, except construction and destruction,
// which may happen on any thread that is not the poster's.
class PulseMixerDriver final : public MixerDriver {
 public:
  using Poster = std::function<void(std::function<void()>)>;
  explicit PulseMixerDriver(Poster postToUiThread);
  ~PulseMixerDriver() override;
  PulseMixerDriver(const PulseMixerDriver&) = delete;
  PulseMixerDriver& operator=(const PulseMixerDriver&) = delete;

  // Why no sound server is online (which server was tried and what it answered), once the
  // first attempt to reach one has ended; "" while one is.
  std::string OfflineReason();

  // Always 1: the device exists whether or not a server answers now.
  unsigned NumDevs() override;
  MMRESULT GetDevCaps(std::uint32_t mixerId, MIXERCAPS& caps) override;
  MMRESULT Open(std::uint32_t mixerId, MixerCallback callback,
                std::unique_ptr<MixerDevice>& device) override;

 private:
  std::shared_ptr<PulseMixerServer> server_;
};

}  // namespace orvenna
