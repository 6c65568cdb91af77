#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio/WaveIO.h"
#include "platform/WaveIn.h"

namespace orvenna {

class TWaveAudioIn;

// Supplies the format to record in when PCMFormat is nonePCM: the record's bytes (18 and its
// cbSize extra bytes), or nothing.
using TWaveAudioGetFormatEvent =
    std::function<void(TWaveAudioIn& sender, std::vector<std::uint8_t>& format)>;

// The recording device: opens the sound input in one format, keeps BufferCount buffers of
// BufferLength milliseconds queued, and hands every filled buffer to ProcessData before
// queueing it again.
class TWaveAudioIn : public TWaveAudioIO {
 public:
  TWaveAudioIn(WaveInDriver& driver, Shell& shell);
  ~TWaveAudioIn() override;

  TWaveAudioGetFormatEvent OnFormat;

  TPCMFormat PCMFormat() const { return pcmFormat_; }
  // Refused while the device is open.
  void SetPCMFormat(TPCMFormat value);
  bool HasDevice() const { return device_ != nullptr; }

  bool GetPaused() const override { return paused_; }
  bool Open() override;
  bool Close() override;
  bool Pause() override;
  bool Resume() override;

 protected:
  void WaveInOpened() override;
  void WaveInClosed() override;
  void WaveInData(WAVEHDR* header) override;
  unsigned GetNumDevs() override { return driver_.NumDevs(); }
  std::string GetDeviceName() override;
  std::set<TPCMFormat> GetDeviceFormats() override;
  std::uint32_t GetPosition() override;
  std::string GetErrorText(MMRESULT code) override { return driver_.ErrorText(code); }
  std::vector<std::uint8_t> GetWaveFormat() override;
  bool HandleAllocated() const override { return device_ != nullptr; }
  void QueueBuffers() override;
  bool IsFormatSupported(const WAVEFORMATEX& format) override;

  // Queues a header at the device, preparing it first when needed.
  bool AddBuffer(WAVEHDR* header);
  // The sink of the recorded data; clearing `keep` takes the block from the component.
  virtual void ProcessData(std::uint8_t* data, std::uint32_t count, bool& keep);
  // Closes the device and waits until its last notification has been handled. The most
  // derived class calls it first thing in its destructor, while its handlers still exist.
  void CloseAndWait();

 private:
  bool OpenDevice(const std::vector<std::uint8_t>& format);
  void CloseWhenTheLastBufferCameBack();

  WaveInDriver& driver_;
  std::unique_ptr<WaveInDevice> device_;
  bool paused_ = false;
  TPCMFormat pcmFormat_ = TPCMFormat::Mono16bit8000Hz;
};

}  // namespace orvenna
