#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "audio/WaveUtils.h"
#include "platform/Clock.h"
#include "platform/Result.h"
#include "platform/Shell.h"
#include "platform/WaveIn.h"

namespace orvenna {

class TWaveAudioIO;
class TWaveThread;

using TWaveAudioEvent = std::function<void(TWaveAudioIO& sender)>;
using TWaveAudioLevelEvent = std::function<void(TWaveAudioIO& sender, int level)>;
using TWaveAudioDataEvent =
    std::function<void(TWaveAudioIO& sender, const std::uint8_t* data, std::uint32_t count)>;

// Where exceptions that escape a notification handler go: the program's way of telling the
// user. Without one they are written to the diagnostic log. Any thread.
void SetWaveAudioExceptionHandler(std::function<void(const std::exception&)> handler);

// The device-independent part of a sound device component: the buffers queued at the device,
// the thread (or UI-thread queue) its notifications arrive on, the one lock, the events and
// the error reporting. The device itself comes from the derived class.
//
// Threads: the operations may be called from any thread; the notification handlers, and the
// events they raise, run on the component's TWaveThread (Async) or on the UI thread. One
// recursive lock serialises the operations and the handlers.
class TWaveAudioIO {
 public:
  // `shell` carries the notifications to the UI thread when Async is off.
  explicit TWaveAudioIO(Shell& shell);
  virtual ~TWaveAudioIO();
  TWaveAudioIO(const TWaveAudioIO&) = delete;
  TWaveAudioIO& operator=(const TWaveAudioIO&) = delete;

  TWaveAudioEvent OnActivate;
  TWaveAudioEvent OnDeactivate;
  TWaveAudioEvent OnPause;
  TWaveAudioEvent OnResume;
  TWaveAudioEvent OnError;
  TWaveAudioLevelEvent OnLevel;
  TWaveAudioDataEvent OnData;

  bool Async() const { return async_; }
  // Ignored while the component is active.
  void SetAsync(bool value);
  int DeviceID() const { return deviceId_; }
  MMRESULT LastError() const { return lastError_; }
  // The sound layer's text for LastError.
  std::string LastErrorText() { return GetErrorText(lastError_); }
  // LastError as a failure with its kind and the sound layer's text (Ok for success).
  virtual Result LastFailure();
  std::uint16_t BufferLength() const { return bufferLength_; }
  // Stores at least 10 ms.
  void SetBufferLength(std::uint16_t milliseconds);
  std::uint16_t BufferCount() const { return bufferCount_; }
  void SetBufferCount(std::uint16_t count) { bufferCount_ = count; }
  bool Active() const { return GetActive(); }
  virtual bool GetActive() const;
  // True opens the device, false closes it.
  virtual void SetActive(bool value);
  bool Paused() const { return GetPaused(); }
  virtual bool GetPaused() const = 0;
  // True pauses, false resumes; also while closed, so that a device opened paused stays so.
  virtual void SetPaused(bool value);
  // Opens the device (recording starts once it has said so); false when it failed.
  virtual bool Open() = 0;
  // Starts closing the device; the end of the recording follows on the notification thread.
  virtual bool Close() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  std::string DeviceName() { return GetDeviceName(); }
  std::set<TPCMFormat> DeviceFormats() { return GetDeviceFormats(); }
  std::uint32_t Position() { return GetPosition(); }
  const PCMWAVEFORMAT& WaveFormat() const { return waveFormat_; }

  // Headers held, queued at the device or being handled.
  int BufferCountInUse() const;
  // Bytes of one buffer: BufferLength milliseconds of the current format.
  std::uint32_t BufferSize() const;
  // The format the device was last opened with, as a full record.
  WAVEFORMATEX FormatRecord() const;
  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  // Keeps `code` as LastError; a failure goes to DoError. True for success.
  bool Success(MMRESULT code);
  // Hands one device notification to its handler under the lock; false for other messages.
  bool HandleMessage(unsigned message, WAVEHDR* header);
  // Wait until a running Open or Close has completed.
  void WaitForOpen();
  void WaitForClose();
  // Waits until the notification thread of the last recording has ended, so that nothing of
  // it runs any more. Not on that thread.
  void WaitForCallbackThread();
  // Waits, at most `timeout`, until the component is no longer Active: its device closed, and
  // the last notification of the recording handled. True when it is. Not on the notification
  // thread.
  bool WaitUntilInactive(std::chrono::milliseconds timeout);
  // Clears every On* event; once it returns, no handler of the component runs any more, even
  // while its notification thread goes on. Any thread but the notification thread.
  void ClearEvents();
  // Capture times are told on `clock` (null: the machine's steady clock) for the devices opened
  // from now on; it must outlive them.
  void SetCaptureClock(Clock* clock) { captureClock_ = clock; }
  // When the first byte of the data being handed to the data handlers (DoData, ProcessData) was
  // captured: microseconds on the capture clock (its milliseconds times 1000, wrapping with
  // them). Notification thread, inside those handlers.
  std::int64_t DataCapturedAtUs() const { return dataCapturedAtUs_; }

 protected:
  // The device's notifications.
  virtual void WaveInOpened();
  virtual void WaveInClosed();
  virtual void WaveInData(WAVEHDR* header);

  virtual unsigned GetNumDevs() = 0;
  virtual std::string GetDeviceName() = 0;
  virtual std::set<TPCMFormat> GetDeviceFormats() = 0;
  virtual std::uint32_t GetPosition() = 0;
  virtual std::string GetErrorText(MMRESULT code) = 0;
  // The format to open the device with: its record bytes, or none.
  virtual std::vector<std::uint8_t> GetWaveFormat() = 0;
  virtual bool HandleAllocated() const = 0;
  virtual void QueueBuffers() = 0;
  virtual void FreeAllBuffers();
  virtual void DoWaveOpen();
  virtual void DoWaveClose();
  virtual void DoActivate();
  virtual void DoDeactivate();
  virtual void DoPause();
  virtual void DoResume();
  virtual void DoError();
  virtual void DoLevel(const std::uint8_t* data, std::uint32_t count);
  virtual void DoData(const std::uint8_t* data, std::uint32_t count);
  virtual bool IsFormatSupported(const WAVEFORMATEX& format) = 0;
  bool IsPCMFormatSupported(TPCMFormat format);

  // Gives `header` a block of `size` bytes (its own when `data` is null, else the caller's),
  // creating the header when there is none; size 0 frees the header. False when memory ran
  // out (reported as MMSYSERR_NOMEM).
  bool ReallocateHeader(WAVEHDR*& header, std::uint32_t size, std::uint8_t* data);
  // Where notifications go: a new TWaveThread (Async) or the UI thread's queue.
  void CreateCallback();
  void DestroyCallback();
  // The receiver the device is opened with.
  WaveInCallback Callback();
  // Wakes the waits for a change of Active or of a running Open; called after each change.
  void StateChanged();
  // The buffer whose data the data handlers are being given. Notification thread.
  void BeginData(const WAVEHDR& header) { dataCapturedAtUs_ = header.capturedAtUs; }
  // Marks the component being destroyed: no more deactivate, level or data events.
  void BeginDestruction() { destroying_ = true; }
  bool Destroying() const { return destroying_; }

  mutable std::recursive_mutex lock_;
  std::atomic<bool> opening_{false};
  std::atomic<bool> closing_{false};
  PCMWAVEFORMAT waveFormat_{};
  std::vector<WAVEHDR*> headers_;

 private:
  void FreeHeader(WAVEHDR* header);

  Shell& shell_;
  std::shared_ptr<bool> alive_;  // UI-thread notifications check it
  bool async_ = false;
  int deviceId_ = WAVE_MAPPER;
  std::atomic<MMRESULT> lastError_ = 0;  // the callback thread writes it too; any thread reads
  std::uint16_t bufferLength_ = 1000;
  std::uint16_t bufferCount_ = 2;
  std::atomic<bool> hasCallback_{false};
  // The thread notifications go to, and the one told to quit last (joined later, never by
  // itself). Guarded by lock_.
  std::shared_ptr<TWaveThread> thread_;
  std::shared_ptr<TWaveThread> endedThread_;
  std::atomic<bool> destroying_{false};
  // Signalled by StateChanged; the state itself is in the atomics above.
  std::mutex stateLock_;
  std::condition_variable stateChanged_;
  std::int64_t dataCapturedAtUs_ = 0;  // notification thread
  Clock* captureClock_ = nullptr;
};

}  // namespace orvenna
