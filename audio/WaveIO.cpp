#include "audio/WaveIO.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "audio/WaveThread.h"
#include "platform/Log.h"
#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

constexpr std::uint16_t kShortestBuffer = 10;

std::mutex exceptionHandlerLock;
std::function<void(const std::exception&)> exceptionHandler;

// A device in use or memory short may be had a moment later; everything else stays so.
FailureKind WaveInFailureKind(MMRESULT code) {
  return code == MMSYSERR_ALLOCATED || code == MMSYSERR_NOMEM ? FailureKind::Temporary
                                                              : FailureKind::Permanent;
}

std::int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void HandleEscapedException(const std::exception& error) {
  std::function<void(const std::exception&)> handler;
  {
    std::lock_guard guard(exceptionHandlerLock);
    handler = exceptionHandler;
  }
  if (handler) {
    handler(error);
  } else {
    Log(LogLevel::Error, "sound device", error.what());
  }
}

}  // namespace

void SetWaveAudioExceptionHandler(std::function<void(const std::exception&)> handler) {
  std::lock_guard guard(exceptionHandlerLock);
  exceptionHandler = std::move(handler);
}

TWaveAudioIO::TWaveAudioIO(Shell& shell) : shell_(shell), alive_(std::make_shared<bool>(true)) {}

TWaveAudioIO::~TWaveAudioIO() {
  *alive_ = false;
  endedThread_.reset();
  thread_.reset();
  for (WAVEHDR* header : headers_) FreeHeader(header);
}

void TWaveAudioIO::SetAsync(bool value) {
  if (!Active()) async_ = value;
}

void TWaveAudioIO::SetBufferLength(std::uint16_t milliseconds) {
  bufferLength_ = std::max(milliseconds, kShortestBuffer);
}

int TWaveAudioIO::BufferCountInUse() const {
  std::lock_guard guard(lock_);
  return static_cast<int>(headers_.size());
}

std::uint32_t TWaveAudioIO::BufferSize() const {
  return MsToBufferBytes(FormatRecord(), bufferLength_);
}

WAVEFORMATEX TWaveAudioIO::FormatRecord() const {
  WAVEFORMATEX format;
  format.wFormatTag = waveFormat_.wFormatTag;
  format.nChannels = waveFormat_.nChannels;
  format.nSamplesPerSec = waveFormat_.nSamplesPerSec;
  format.nAvgBytesPerSec = waveFormat_.nAvgBytesPerSec;
  format.nBlockAlign = waveFormat_.nBlockAlign;
  format.wBitsPerSample = waveFormat_.wBitsPerSample;
  return format;
}

Result TWaveAudioIO::LastFailure() {
  if (lastError_ == MMSYSERR_NOERROR) return Result::Ok();
  return Result::Failed(LastErrorText(), WaveInFailureKind(lastError_));
}

bool TWaveAudioIO::Success(MMRESULT code) {
  lastError_ = code;
  if (code == MMSYSERR_NOERROR) return true;
  DoError();
  return false;
}

bool TWaveAudioIO::HandleMessage(unsigned message, WAVEHDR* header) {
  if (message != MM_WIM_OPEN && message != MM_WIM_CLOSE && message != MM_WIM_DATA) return false;
  std::lock_guard guard(lock_);
  try {
    if (message == MM_WIM_OPEN) WaveInOpened();
    if (message == MM_WIM_CLOSE) WaveInClosed();
    if (message == MM_WIM_DATA) WaveInData(header);
  } catch (const std::exception& error) {
    HandleEscapedException(error);
  }
  return true;
}

void TWaveAudioIO::WaveInOpened() {
  DoWaveOpen();
}

void TWaveAudioIO::WaveInClosed() {
  DoWaveClose();
}

void TWaveAudioIO::WaveInData(WAVEHDR*) {}

bool TWaveAudioIO::GetActive() const {
  return hasCallback_;
}

void TWaveAudioIO::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    Open();
  } else {
    Close();
  }
}

void TWaveAudioIO::SetPaused(bool value) {
  if (value == Paused()) return;
  if (value) {
    Pause();
  } else {
    Resume();
  }
}

void TWaveAudioIO::FreeAllBuffers() {
  while (!headers_.empty()) {
    WAVEHDR* last = headers_.back();
    ReallocateHeader(last, 0, nullptr);
  }
}

void TWaveAudioIO::DoWaveOpen() {
  opening_ = false;
  StateChanged();
  QueueBuffers();
  DoActivate();
}

void TWaveAudioIO::DoWaveClose() {
  DoLevel(nullptr, 0);
  closing_ = false;
  DestroyCallback();
  FreeAllBuffers();
  DoDeactivate();
}

void TWaveAudioIO::DoActivate() {
  if (OnActivate) OnActivate(*this);
}

void TWaveAudioIO::DoDeactivate() {
  if (OnDeactivate && !destroying_) OnDeactivate(*this);
}

void TWaveAudioIO::DoPause() {
  if (OnPause) OnPause(*this);
}

void TWaveAudioIO::DoResume() {
  if (OnResume) OnResume(*this);
}

void TWaveAudioIO::DoError() {
  if (OnError) {
    OnError(*this);
    return;
  }
  throw EWaveAudioSysError(GetErrorText(lastError_));
}

void TWaveAudioIO::DoLevel(const std::uint8_t* data, std::uint32_t count) {
  if (!OnLevel || destroying_ || waveFormat_.wFormatTag != WAVE_FORMAT_PCM) return;
  OnLevel(*this, WaveAudioLevel(std::span<const std::uint8_t>(data, count), FormatRecord()));
}

void TWaveAudioIO::DoData(const std::uint8_t* data, std::uint32_t count) {
  if (OnData && !destroying_) OnData(*this, data, count);
}

bool TWaveAudioIO::IsPCMFormatSupported(TPCMFormat pcmFormat) {
  WAVEFORMATEX format;
  FillStandardPCMFormat(format, pcmFormat);
  return IsFormatSupported(format);
}

bool TWaveAudioIO::ReallocateHeader(WAVEHDR*& header, std::uint32_t size, std::uint8_t* data) {
  const auto self = reinterpret_cast<std::uintptr_t>(this);
  if (size == 0) {
    if (header) {
      std::erase(headers_, header);
      FreeHeader(header);
      header = nullptr;
    }
    return true;
  }
  const bool ownBlock = data == nullptr;
  if (!header) {
    header = new (std::nothrow) WAVEHDR{};
    if (!header) {
      Success(MMSYSERR_NOMEM);
      return false;
    }
    headers_.push_back(header);
  }
  if (header->dwUser != self) {
    header->lpData = nullptr;  // someone else's block: forget it, never free it
    header->dwBufferLength = 0;
  }
  std::uint8_t* block = header->lpData;
  if (ownBlock) {
    if (header->dwBufferLength != size) {
      block = static_cast<std::uint8_t*>(std::realloc(header->lpData, size));
      if (!block) {
        ReallocateHeader(header, 0, nullptr);
        Success(MMSYSERR_NOMEM);
        return false;
      }
    }
  } else {
    if (header->dwUser == self) std::free(header->lpData);
    block = data;
  }
  *header = WAVEHDR{};
  if (ownBlock) header->dwUser = self;
  header->lpData = block;
  header->dwBufferLength = size;
  return true;
}

void TWaveAudioIO::FreeHeader(WAVEHDR* header) {
  if (header->dwUser == reinterpret_cast<std::uintptr_t>(this)) std::free(header->lpData);
  delete header;
}

void TWaveAudioIO::CreateCallback() {
  if (async_) {
    endedThread_.reset();  // a thread of an earlier recording that has been told to quit
    thread_ = std::make_shared<TWaveThread>(*this);
  }
  hasCallback_ = true;
}

void TWaveAudioIO::DestroyCallback() {
  if (!hasCallback_) return;
  if (thread_) {
    thread_->Quit();
    endedThread_ = std::move(thread_);  // the thread may be the caller: joined later
  }
  hasCallback_ = false;
  StateChanged();
}

WaveInCallback TWaveAudioIO::Callback() {
  // A buffer whose device cannot tell when it was captured was captured, as a whole, just
  // before it came back: its length before now. The time is moved onto the capture clock as the
  // buffer arrives, while its age is still what the device said; the notification thread may
  // take it up much later.
  const std::uint32_t bytesPerSecond = waveFormat_.nAvgBytesPerSec;
  Clock* const clock = captureClock_;
  const auto stamp = [bytesPerSecond, clock](unsigned message, WAVEHDR* header) {
    if (message != MM_WIM_DATA || !header) return;
    const std::int64_t now = SteadyMicroseconds();
    if (header->capturedAtUs == 0) {
      header->capturedAtUs = now - std::int64_t{header->dwBytesRecorded} * 1000000 /
                                       std::max<std::uint32_t>(bytesPerSecond, 1);
    }
    if (clock) {
      header->capturedAtUs =
          std::int64_t{clock->Milliseconds()} * 1000 - (now - header->capturedAtUs);
    }
  };
  if (thread_) {
    return [thread = thread_, stamp](unsigned message, WAVEHDR* header) {
      stamp(message, header);
      thread->Post(message, header);
    };
  }
  return [this, alive = std::weak_ptr<bool>(alive_), stamp](unsigned message, WAVEHDR* header) {
    stamp(message, header);
    shell_.PostToUiThread([this, alive, message, header] {
      const auto component = alive.lock();
      if (!component || !*component) return;
      // The UI thread handles the device's notifications as the wave thread would.
      ThreadRoleScope wave(ThreadRole::Wave);
      HandleMessage(message, header);
    });
  };
}

void TWaveAudioIO::StateChanged() {
  // Taken so that a waiter between its test and its wait cannot miss the signal.
  { std::lock_guard guard(stateLock_); }
  stateChanged_.notify_all();
}

bool TWaveAudioIO::WaitUntilInactive(std::chrono::milliseconds timeout) {
  // The wave thread is what ends the recording: waiting on it there would never end.
  ORVENNA_CHECK(!InThreadRole(ThreadRole::Wave), "WaitUntilInactive on the wave thread");
  if (async_) {
    std::unique_lock guard(stateLock_);
    return stateChanged_.wait_for(guard, timeout, [this] { return !hasCallback_; });
  }
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  shell_.ProcessEventsUntil(
      [this, deadline] { return !hasCallback_ || std::chrono::steady_clock::now() >= deadline; });
  return !hasCallback_;
}

void TWaveAudioIO::ClearEvents() {
  // The handlers run with the lock held: once it is had, none is running.
  std::lock_guard guard(lock_);
  OnActivate = nullptr;
  OnDeactivate = nullptr;
  OnPause = nullptr;
  OnResume = nullptr;
  OnError = nullptr;
  OnLevel = nullptr;
  OnData = nullptr;
}

void TWaveAudioIO::WaitForOpen() {
  if (!hasCallback_) return;
  if (async_) {
    std::unique_lock guard(stateLock_);
    stateChanged_.wait(guard, [this] { return !opening_ || !hasCallback_; });
    return;
  }
  shell_.ProcessEventsUntil([this] { return !opening_ || !hasCallback_; });
}

void TWaveAudioIO::WaitForCallbackThread() {
  std::shared_ptr<TWaveThread> ended;
  {
    std::lock_guard guard(lock_);
    ended = endedThread_;
  }
  if (ended && !ended->IsCurrentThread()) ended->WaitUntilEnded();
}

void TWaveAudioIO::WaitForClose() {
  if (!hasCallback_ && !endedThread_) return;
  if (async_) {
    while (closing_) {
      std::shared_ptr<TWaveThread> thread;
      {
        std::lock_guard guard(lock_);
        thread = thread_ ? thread_ : endedThread_;
      }
      if (!thread || thread->IsCurrentThread()) return;
      thread->WaitUntilEnded();
    }
    return;
  }
  shell_.ProcessEventsUntil([this] { return !hasCallback_; });
}

}  // namespace orvenna
