#pragma once

#include <memory>
#include <string>

#include "platform/WaveIn.h"

namespace orvenna {

class PulseErrorTexts;

// Sound input from a PulseAudio server (or PipeWire's PulseAudio service): one device, the
// server's default source, recording 8-bit unsigned or 16-bit signed PCM, mono or stereo, at
// 8000, 11025, 22050, 44100 or 48000 Hz. Every call that talks to the server gives up after a
// few seconds rather than hang. Any thread.
class PulseWaveInDriver final : public WaveInDriver {
 public:
  PulseWaveInDriver();
  ~PulseWaveInDriver() override;
  PulseWaveInDriver(const PulseWaveInDriver&) = delete;
  PulseWaveInDriver& operator=(const PulseWaveInDriver&) = delete;

  // 1 when a server answers, else 0.
  unsigned NumDevs() override;
  // The default source's description as the product name; MMSYSERR_NODRIVER without a server.
  MMRESULT GetDevCaps(int deviceId, WaveInCaps& caps) override;
  // Checks the device number and the format only; Open finds out whether a server answers.
  MMRESULT QueryFormat(int deviceId, const WAVEFORMATEX& format) override;
  MMRESULT Open(int deviceId, const WAVEFORMATEX& format, std::uint32_t bufferBytes,
                WaveInCallback callback, std::unique_ptr<WaveInDevice>& device) override;
  // For MMSYSERR_NODRIVER and MMSYSERR_NOTENABLED, the cause last seen by this driver or by a
  // device it opened.
  std::string ErrorText(MMRESULT code) override;

 private:
  std::shared_ptr<PulseErrorTexts> errors_;
};

}  // namespace orvenna
