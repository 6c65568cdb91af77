#include "platform/pulse/PulseMixer.h"

#include "platform/pulse/PulseMixerDevice.h"
#include "platform/pulse/PulseMixerServer.h"

namespace orvenna {

PulseMixerDriver::PulseMixerDriver(Poster postToUiThread)
    : server_(std::make_shared<PulseMixerServer>(std::move(postToUiThread))) {}

// Open devices keep the server object, and with it the connection, until they are closed.
PulseMixerDriver::~PulseMixerDriver() = default;

std::string PulseMixerDriver::OfflineReason() {
  return server_->WaitForFirstAttempt();
}

unsigned PulseMixerDriver::NumDevs() {
  return 1;
}

MMRESULT PulseMixerDriver::GetDevCaps(std::uint32_t mixerId, MIXERCAPS& caps) {
  if (mixerId != 0) return MMSYSERR_BADDEVICEID;
  caps.szPname = "PulseAudio";
  // Both destinations, with or without a server: callers read this once, when they open.
  caps.cDestinations = 2;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseMixerDriver::Open(std::uint32_t mixerId, MixerCallback callback,
                                std::unique_ptr<MixerDevice>& device) {
  if (mixerId != 0) return MMSYSERR_BADDEVICEID;
  // The device is read at once after opening: with the server's lines, not with the empty
  // ones of a connection still under way.
  server_->WaitForFirstAttempt();
  device = std::make_unique<PulseMixerDevice>(server_, std::move(callback));
  return MMSYSERR_NOERROR;
}

}  // namespace orvenna
