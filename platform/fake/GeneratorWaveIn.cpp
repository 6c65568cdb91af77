#include "platform/fake/GeneratorWaveIn.h"

#include <chrono>

namespace orvenna {
namespace {

bool IsPlainPcm(const WAVEFORMATEX& format) {
  return format.wFormatTag == WAVE_FORMAT_PCM &&
         (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
         (format.nChannels == 1 || format.nChannels == 2) && format.nSamplesPerSec > 0 &&
         format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

class GeneratorDevice final : public WaveInDevice {
 public:
  GeneratorDevice(Clock& clock, const WAVEFORMATEX& format, WaveInCallback callback,
                  std::atomic<bool>& vanish, double skew)
      : clock_(clock),
        format_(format),
        callback_(std::move(callback)),
        vanish_(vanish),
        bytesPerSecond_(format.nAvgBytesPerSec * (1 + skew)) {
    callback_(MM_WIM_OPEN, nullptr);
    pump_ = std::thread([this] { PumpEveryMillisecond(); });
  }

  ~GeneratorDevice() override {
    {
      std::lock_guard guard(lock_);
      ending_ = true;
    }
    wake_.notify_all();
    pump_.join();
  }

  MMRESULT PrepareHeader(WAVEHDR& header) override {
    header.dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT UnprepareHeader(WAVEHDR& header) override {
    header.dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT AddBuffer(WAVEHDR& header) override {
    std::lock_guard guard(lock_);
    if (gone_) return MMSYSERR_NOTENABLED;
    if (!(header.dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    header.dwBytesRecorded = 0;
    header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    queue_.push_back(&header);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Start() override {
    std::lock_guard guard(lock_);
    if (gone_) return MMSYSERR_NOTENABLED;
    if (!started_) {
      started_ = true;
      startedAt_ = clock_.Milliseconds();
      bytesAtStart_ = bytes_;
    }
    return MMSYSERR_NOERROR;
  }
  MMRESULT Stop() override {
    std::lock_guard guard(lock_);
    if (gone_) return MMSYSERR_NOTENABLED;
    if (started_) Record();  // what the clock says was recorded up to now
    started_ = false;
    if (!queue_.empty() && queue_.front()->dwBytesRecorded > 0) ReturnFront();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Reset() override {
    std::lock_guard guard(lock_);
    if (started_ && !gone_) Record();
    started_ = false;
    while (!queue_.empty()) ReturnFront();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Close() override {
    std::lock_guard guard(lock_);
    if (!queue_.empty()) return WAVERR_STILLPLAYING;
    if (!closed_) callback_(MM_WIM_CLOSE, nullptr);
    closed_ = true;
    return MMSYSERR_NOERROR;
  }
  MMRESULT PositionMs(std::uint32_t& milliseconds) override {
    std::lock_guard guard(lock_);
    milliseconds = static_cast<std::uint32_t>(bytes_ * 1000 / format_.nAvgBytesPerSec);
    return MMSYSERR_NOERROR;
  }

 private:
  void PumpEveryMillisecond() {
    std::unique_lock guard(lock_);
    while (!ending_) {
      if (vanish_ && !gone_) {
        gone_ = true;
        started_ = false;
        while (!queue_.empty()) ReturnFront();
      }
      if (started_ && !closed_) Record();
      wake_.wait_for(guard, std::chrono::milliseconds(1));
    }
  }

  // Fills the queued buffers with the sound due by now.
  void Record() {
    const std::uint64_t elapsed = clock_.Milliseconds() - startedAt_;
    std::uint64_t due = bytesAtStart_ + static_cast<std::uint64_t>(static_cast<double>(elapsed) *
                                                                   bytesPerSecond_ / 1000);
    due -= due % format_.nBlockAlign;
    while (bytes_ < due && !queue_.empty()) {
      WAVEHDR& header = *queue_.front();
      if (header.dwBytesRecorded == 0) header.capturedAtUs = GeneratedAtUs(bytes_);
      while (bytes_ < due && header.dwBytesRecorded < header.dwBufferLength) {
        header.lpData[header.dwBytesRecorded++] = ByteAt(bytes_++);
      }
      if (header.dwBytesRecorded == header.dwBufferLength) ReturnFront();
    }
  }

  // When byte `offset` of the ramp was generated: microseconds on the clock.
  std::int64_t GeneratedAtUs(std::uint64_t offset) const {
    return std::int64_t{startedAt_} * 1000 +
           static_cast<std::int64_t>(static_cast<double>(offset - bytesAtStart_) * 1e6 /
                                     bytesPerSecond_);
  }

  // Byte `offset` of the ramp.
  std::uint8_t ByteAt(std::uint64_t offset) const {
    const std::uint64_t frame = offset / format_.nBlockAlign;
    if (format_.wBitsPerSample == 8) return static_cast<std::uint8_t>(frame);
    const auto sample = static_cast<std::uint16_t>(frame - 32768);
    return offset % 2 == 0 ? static_cast<std::uint8_t>(sample)
                           : static_cast<std::uint8_t>(sample >> 8);
  }

  // A buffer goes back with the time its first byte was captured on the machine's steady clock,
  // as a real device tells it: its time on the generator's clock, carried over as it leaves.
  void ReturnFront() {
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    if (header->dwBytesRecorded > 0) {
      const std::int64_t ageUs = std::int64_t{clock_.Milliseconds()} * 1000 - header->capturedAtUs;
      header->capturedAtUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count() -
                             ageUs;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    callback_(MM_WIM_DATA, header);
  }

  Clock& clock_;
  const WAVEFORMATEX format_;
  const WaveInCallback callback_;
  std::atomic<bool>& vanish_;
  const double bytesPerSecond_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<WAVEHDR*> queue_;
  bool started_ = false;
  bool gone_ = false;
  bool closed_ = false;
  bool ending_ = false;
  std::uint32_t startedAt_ = 0;
  std::uint64_t bytesAtStart_ = 0;
  std::uint64_t bytes_ = 0;
  std::thread pump_;
};

}  // namespace

MMRESULT GeneratorWaveInDriver::GetDevCaps(int, WaveInCaps& caps) {
  caps.productName = "Generator";
  caps.formats = 0xFFF;
  return MMSYSERR_NOERROR;
}

MMRESULT GeneratorWaveInDriver::QueryFormat(int, const WAVEFORMATEX& format) {
  return IsPlainPcm(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

MMRESULT GeneratorWaveInDriver::Open(int deviceId, const WAVEFORMATEX& format, std::uint32_t,
                                     WaveInCallback callback,
                                     std::unique_ptr<WaveInDevice>& device) {
  if (const MMRESULT refused = QueryFormat(deviceId, format)) return refused;
  if (const MMRESULT result = openResult) return result;
  device =
      std::make_unique<GeneratorDevice>(clock_, format, std::move(callback), vanish, clockSkew);
  return MMSYSERR_NOERROR;
}

std::string GeneratorWaveInDriver::ErrorText(MMRESULT code) {
  switch (code) {
    case MMSYSERR_NOERROR:
      return "";
    case WAVERR_BADFORMAT:
      return "the generator makes 8- and 16-bit PCM with one or two channels only";
    case MMSYSERR_NOTENABLED:
      return "the generator's sound stopped";
    default:
      return "generator error " + std::to_string(code);
  }
}

}  // namespace orvenna
