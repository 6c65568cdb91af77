#include "audio/WaveIn.h"

#include <cstring>

namespace orvenna {
namespace {

// The formats that each classic capability bit adds, in bit order (11.025, 22.05 and
// 44.1 kHz; mono 8, stereo 8, mono 16, stereo 16).
constexpr int kFirstFormatOfBits = static_cast<int>(TPCMFormat::Mono8bit11025Hz);
constexpr int kCapabilityBits = 12;

}  // namespace

TWaveAudioIn::TWaveAudioIn(WaveInDriver& driver, Shell& shell)
    : TWaveAudioIO(shell), driver_(driver) {}

TWaveAudioIn::~TWaveAudioIn() {
  CloseAndWait();
}

void TWaveAudioIn::CloseAndWait() {
  BeginDestruction();
  try {
    SetActive(false);
  } catch (const EWaveAudioError&) {
    // Closing a device that is already closing or closed: nothing is left to stop.
  }
  WaitForClose();
  WaitForCallbackThread();
}

void TWaveAudioIn::SetPCMFormat(TPCMFormat value) {
  if (value == pcmFormat_) return;
  if (HandleAllocated()) {
    throw EWaveAudioInvalidOperation(EWaveAudioInvalidOperation::kFormatWhileOpen);
  }
  pcmFormat_ = value;
}

bool TWaveAudioIn::Open() {
  if (opening_) return false;
  if (closing_) WaitForClose();
  if (Active()) throw EWaveAudioInvalidOperation(EWaveAudioInvalidOperation::kAlreadyOpen);
  std::lock_guard guard(lock_);
  opening_ = true;
  try {
    const bool opened = OpenDevice(GetWaveFormat());
    opening_ = false;
    StateChanged();
    return opened;
  } catch (...) {
    opening_ = false;
    StateChanged();
    throw;
  }
}

// Asks the device whether it takes the format, then opens it with the notification channel.
// A failed query may raise (DoError without a handler); a failed open never does.
bool TWaveAudioIn::OpenDevice(const std::vector<std::uint8_t>& formatBytes) {
  WAVEFORMATEX format;
  if (formatBytes.size() < sizeof(PCMWAVEFORMAT)) return Success(WAVERR_BADFORMAT);
  std::memcpy(&format, formatBytes.data(), std::min(formatBytes.size(), sizeof format));
  if (!Success(driver_.QueryFormat(DeviceID(), format))) return false;
  std::memcpy(&waveFormat_, formatBytes.data(), sizeof waveFormat_);
  CreateCallback();
  try {
    if (Success(driver_.Open(DeviceID(), format, BufferSize(), Callback(), device_))) return true;
  } catch (const EWaveAudioError&) {
    // Reported through OnError or raised by DoError: the open has failed either way.
  }
  device_.reset();
  DestroyCallback();
  return false;
}

bool TWaveAudioIn::Close() {
  if (closing_) return false;
  if (opening_) WaitForOpen();
  if (!Active()) throw EWaveAudioInvalidOperation(EWaveAudioInvalidOperation::kAlreadyClosed);
  std::lock_guard guard(lock_);
  closing_ = true;
  try {
    if (!device_ || !Success(device_->Reset())) {
      closing_ = false;
      return false;
    }
    // The device hands every queued buffer back; the last one to come back closes it.
    if (!headers_.empty()) return true;
    return Success(device_->Close());
  } catch (const EWaveAudioError&) {
    closing_ = false;
    return false;
  }
}

bool TWaveAudioIn::Pause() {
  if (paused_) return false;
  std::lock_guard guard(lock_);
  if (HandleAllocated() && !Success(device_->Stop())) return false;
  paused_ = true;
  DoPause();
  return true;
}

bool TWaveAudioIn::Resume() {
  if (!paused_) return false;
  std::lock_guard guard(lock_);
  if (HandleAllocated() && !Success(device_->Start())) return false;
  paused_ = false;
  DoResume();
  return true;
}

void TWaveAudioIn::WaveInOpened() {
  DoWaveOpen();
  if (!paused_) paused_ = !Success(device_->Start());
}

void TWaveAudioIn::WaveInClosed() {
  device_.reset();
  DoWaveClose();
}

// A buffer came back: its data goes to the sink, and it is queued again unless the device is
// closing or holds more buffers than it should.
void TWaveAudioIn::WaveInData(WAVEHDR* header) {
  try {
    if (header && Success(device_->UnprepareHeader(*header)) && header->dwBytesRecorded > 0) {
      bool keep = true;
      BeginData(*header);
      DoLevel(header->lpData, header->dwBytesRecorded);
      DoData(header->lpData, header->dwBytesRecorded);
      ProcessData(header->lpData, header->dwBytesRecorded, keep);
      if (!keep) header->dwUser = 0;  // the sink has taken the block
    }
    const bool requeued = !closing_ && BufferCountInUse() <= BufferCount() &&
                          ReallocateHeader(header, BufferSize(), nullptr) && AddBuffer(header);
    if (!requeued) ReallocateHeader(header, 0, nullptr);
  } catch (...) {
    if (header && (header->dwFlags & WHDR_PREPARED) && device_) device_->UnprepareHeader(*header);
    ReallocateHeader(header, 0, nullptr);
    CloseWhenTheLastBufferCameBack();
    throw;
  }
  CloseWhenTheLastBufferCameBack();
}

void TWaveAudioIn::CloseWhenTheLastBufferCameBack() {
  if (closing_ && headers_.empty() && device_) Success(device_->Close());
}

void TWaveAudioIn::QueueBuffers() {
  WAVEHDR* pending = nullptr;
  try {
    for (int n = BufferCountInUse(); n < BufferCount() && HandleAllocated() && !closing_; ++n) {
      pending = nullptr;
      if (!ReallocateHeader(pending, BufferSize(), nullptr)) break;
      if (!AddBuffer(pending)) {
        ReallocateHeader(pending, 0, nullptr);
        break;
      }
    }
  } catch (const EWaveAudioError&) {
    ReallocateHeader(pending, 0, nullptr);
  }
}

bool TWaveAudioIn::AddBuffer(WAVEHDR* header) {
  header->capturedAtUs = 0;  // the device or the buffer's arrival tells it anew
  bool preparedHere = false;
  if (!(header->dwFlags & WHDR_PREPARED)) {
    if (!Success(device_->PrepareHeader(*header))) return false;
    preparedHere = true;
  }
  bool added = false;
  try {
    added = Success(device_->AddBuffer(*header));
  } catch (...) {
    if (preparedHere) device_->UnprepareHeader(*header);
    throw;
  }
  if (!added && preparedHere) device_->UnprepareHeader(*header);
  return added;
}

void TWaveAudioIn::ProcessData(std::uint8_t*, std::uint32_t, bool&) {}

std::string TWaveAudioIn::GetDeviceName() {
  WaveInCaps caps;
  return driver_.GetDevCaps(DeviceID(), caps) == MMSYSERR_NOERROR ? caps.productName : "";
}

std::set<TPCMFormat> TWaveAudioIn::GetDeviceFormats() {
  WaveInCaps caps;
  std::set<TPCMFormat> formats;
  if (driver_.GetDevCaps(DeviceID(), caps) != MMSYSERR_NOERROR) return formats;
  for (int value = 1; value < kFirstFormatOfBits; ++value) {
    formats.insert(static_cast<TPCMFormat>(value));
  }
  for (int bit = 0; bit < kCapabilityBits; ++bit) {
    if (caps.formats & (1u << bit))
      formats.insert(static_cast<TPCMFormat>(kFirstFormatOfBits + bit));
  }
  return formats;
}

std::uint32_t TWaveAudioIn::GetPosition() {
  std::uint32_t milliseconds = 0;
  if (!device_ || device_->PositionMs(milliseconds) != MMSYSERR_NOERROR) return 0;
  return milliseconds;
}

std::vector<std::uint8_t> TWaveAudioIn::GetWaveFormat() {
  std::vector<std::uint8_t> format;
  if (pcmFormat_ != TPCMFormat::nonePCM) {
    WAVEFORMATEX record;
    if (FillStandardPCMFormat(record, pcmFormat_)) {
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
      format.assign(bytes, bytes + sizeof record);
    }
  } else if (OnFormat) {
    OnFormat(*this, format);
  }
  return format;
}

bool TWaveAudioIn::IsFormatSupported(const WAVEFORMATEX& format) {
  return driver_.QueryFormat(DeviceID(), format) == MMSYSERR_NOERROR;
}

}  // namespace orvenna
