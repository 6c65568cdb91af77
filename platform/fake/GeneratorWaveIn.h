#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Clock.h"
#include "platform/WaveIn.h"

namespace orvenna {

// A sound input for unit tests that makes its own sound: a ramp in which every sample of
// sample frame n holds n (8 bits: n mod 256; 16 bits: n mod 65536 - 32768), so that a test can
// see a lost or repeated block. As much sound is recorded as `clock` says has passed since
// the start; a thread of the driver fills the queued buffers every millisecond of real time.
class GeneratorWaveInDriver final : public WaveInDriver {
 public:
  explicit GeneratorWaveInDriver(Clock& clock) : clock_(clock) {}

  unsigned NumDevs() override { return 1; }
  MMRESULT GetDevCaps(int deviceId, WaveInCaps& caps) override;
  MMRESULT QueryFormat(int deviceId, const WAVEFORMATEX& format) override;
  MMRESULT Open(int deviceId, const WAVEFORMATEX& format, std::uint32_t bufferBytes,
                WaveInCallback callback, std::unique_ptr<WaveInDevice>& device) override;
  std::string ErrorText(MMRESULT code) override;

  // Faults to play: Open answers this code (0: opens); once `vanish` is set, the open device
  // behaves as if its sound server went away (buffers come back, AddBuffer and Start fail).
  std::atomic<MMRESULT> openResult{MMSYSERR_NOERROR};
  std::atomic<bool> vanish{false};
  // How much faster than the clock the generator's own sample clock runs (0.001: 0.1 %).
  std::atomic<double> clockSkew{0};

 private:
  Clock& clock_;
};

}  // namespace orvenna
