#include "platform/pulse/PulseWaveInDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Log.h"

namespace orvenna {

namespace {

constexpr const char* kWhere = "pulse wave-in";

bool Settled(pa_stream_state_t state) {
  return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
}

// The longest fragment the server may hold back: what it still holds when the stream is
// corked at the end of a recording is lost, so fragments stay short whatever the buffers.
constexpr std::uint32_t kLongestFragmentMs = 20;

// Fragments of a quarter of the caller's buffers, at most 20 ms, whole frames, at least one
// frame.
pa_buffer_attr FragmentsOf(std::uint32_t bufferBytes, const pa_sample_spec& sampleFormat) {
  const auto frame = static_cast<std::uint32_t>(pa_frame_size(&sampleFormat));
  const auto longest =
      static_cast<std::uint32_t>(pa_usec_to_bytes(kLongestFragmentMs * 1000, &sampleFormat));
  pa_buffer_attr attributes;
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.tlength = static_cast<std::uint32_t>(-1);
  attributes.prebuf = static_cast<std::uint32_t>(-1);
  attributes.minreq = static_cast<std::uint32_t>(-1);
  attributes.fragsize = std::max(frame, std::min(bufferBytes / 4, longest) / frame * frame);
  return attributes;
}

}  // namespace

MMRESULT PulseWaveInDevice::Open(const pa_sample_spec& sampleFormat, std::uint32_t bufferBytes,
                                 WaveInCallback callback, std::shared_ptr<PulseErrorTexts> errors,
                                 std::unique_ptr<WaveInDevice>& device) {
  const auto deadline = std::chrono::steady_clock::now() + kServerAnswerTimeout;
  std::string failure;
  auto connection = PulseConnection::Connect(kPulseClientName, deadline, failure);
  if (connection == nullptr) {
    Log(LogLevel::Warning, kWhere, failure);
    errors->Remember(MMSYSERR_NODRIVER, failure);
    return MMSYSERR_NODRIVER;
  }
  std::unique_ptr<PulseWaveInDevice> opened(new PulseWaveInDevice(
      sampleFormat, std::move(callback), std::move(errors), std::move(connection)));
  {
    PulseLock lock(opened->connection_->Loop());
    const MMRESULT result = opened->ConnectStream(bufferBytes, deadline);
    if (result != MMSYSERR_NOERROR) return result;
    opened->opened_ = true;
    opened->callback_(MM_WIM_OPEN, nullptr);
  }
  device = std::move(opened);
  return MMSYSERR_NOERROR;
}

PulseWaveInDevice::PulseWaveInDevice(const pa_sample_spec& sampleFormat, WaveInCallback callback,
                                     std::shared_ptr<PulseErrorTexts> errors,
                                     std::unique_ptr<PulseConnection> connection)
    : sampleFormat_(sampleFormat),
      callback_(std::move(callback)),
      errors_(std::move(errors)),
      connection_(std::move(connection)) {}

PulseWaveInDevice::~PulseWaveInDevice() {
  if (connection_ != nullptr) {
    PulseLock lock(connection_->Loop());
    DisconnectStream();
  }
}

MMRESULT PulseWaveInDevice::ConnectStream(std::uint32_t bufferBytes,
                                          PulseConnection::Deadline deadline) {
  stream_ = pa_stream_new(connection_->Context(), "Recording", &sampleFormat_, nullptr);
  if (stream_ != nullptr) {
    pa_stream_set_state_callback(stream_, &OnStreamState, this);
    pa_stream_set_read_callback(stream_, &OnStreamReadable, this);
    const pa_buffer_attr fragments = FragmentsOf(bufferBytes, sampleFormat_);
    const auto flags =
        static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_record(stream_, nullptr, &fragments, flags) == 0) {
      pa_stream* stream = stream_;
      connection_->WaitUntil([stream] { return Settled(pa_stream_get_state(stream)); }, deadline);
    }
  }
  const pa_stream_state_t state =
      stream_ != nullptr ? pa_stream_get_state(stream_) : PA_STREAM_FAILED;
  if (state == PA_STREAM_READY) {
    connection_->SetOnLost([this] { ServerLost("stopped"); });
    return MMSYSERR_NOERROR;
  }
  const std::string failure = PA_STREAM_IS_GOOD(state)
                                  ? "the sound server at " + connection_->Address() +
                                        " did not start the recording " + WithinAnswerTimeoutText()
                                  : "the sound server at " + connection_->Address() +
                                        " refused to record: " + connection_->Cause();
  Log(LogLevel::Warning, kWhere, failure);
  errors_->Remember(MMSYSERR_NOTENABLED, failure);
  return MMSYSERR_NOTENABLED;
}

void PulseWaveInDevice::DisconnectStream() {
  connection_->SetOnLost(nullptr);
  if (stream_ == nullptr) return;
  pa_stream_set_state_callback(stream_, nullptr, nullptr);
  pa_stream_set_read_callback(stream_, nullptr, nullptr);
  pa_stream_disconnect(stream_);
  pa_stream_unref(stream_);
  stream_ = nullptr;
}

void PulseWaveInDevice::OnStreamState(pa_stream* stream, void* self) {
  auto* device = static_cast<PulseWaveInDevice*>(self);
  if (device->opened_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
    device->ServerLost("stopped recording");
  }
  device->connection_->Signal();
}

void PulseWaveInDevice::OnStreamReadable(pa_stream*, std::size_t, void* self) {
  static_cast<PulseWaveInDevice*>(self)->ReadStream();
}

// The server hands over each fragment as soon as it is captured: the newest byte the stream
// holds was captured now, and each byte before it that much earlier. While no buffer is
// queued the sound waits in the stream (the next AddBuffer reads it), so that a burst after a
// stall of the server loses nothing and keeps its times.
void PulseWaveInDevice::ReadStream() {
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now().time_since_epoch())
                       .count();
  std::size_t readable = 0;
  while (!serverLost_ && !queue_.Empty() && (readable = pa_stream_readable_size(stream_)) > 0) {
    const void* data = nullptr;
    std::size_t size = 0;
    if (pa_stream_peek(stream_, &data, &size) < 0) {
      ServerLost("stopped recording");
      return;
    }
    if (size == 0) return;
    const auto capturedAtUs =
        now - static_cast<std::int64_t>(pa_bytes_to_usec(readable, &sampleFormat_));
    Record(static_cast<const std::uint8_t*>(data), size, capturedAtUs);
    pa_stream_drop(stream_);
  }
}

void PulseWaveInDevice::Record(const std::uint8_t* data, std::size_t size,
                               std::int64_t capturedAtUs) {
  const int silence = sampleFormat_.format == PA_SAMPLE_U8 ? 0x80 : 0;
  const std::size_t total = size;
  while (size > 0) {
    if (queue_.Empty()) {
      bytesDropped_ += size;
      return;
    }
    WAVEHDR& header = *queue_.Front();
    if (header.dwBytesRecorded == 0) {
      header.capturedAtUs =
          capturedAtUs + static_cast<std::int64_t>(pa_bytes_to_usec(total - size, &sampleFormat_));
    }
    const std::size_t count =
        std::min<std::size_t>(size, header.dwBufferLength - header.dwBytesRecorded);
    std::uint8_t* target = header.lpData + header.dwBytesRecorded;
    if (data != nullptr) {
      std::memcpy(target, data, count);
      data += count;
    } else {
      std::memset(target, silence, count);
    }
    header.dwBytesRecorded += static_cast<std::uint32_t>(count);
    bytesRecorded_ += count;
    size -= count;
    if (header.dwBytesRecorded == header.dwBufferLength) ReturnFront();
  }
}

void PulseWaveInDevice::ServerLost(const std::string& what) {
  if (serverLost_) return;
  serverLost_ = true;
  const std::string text =
      "the sound server at " + connection_->Address() + " " + what + ": " + connection_->Cause();
  Log(LogLevel::Warning, kWhere, text);
  errors_->Remember(MMSYSERR_NOTENABLED, text);
  ReturnAll();
}

void PulseWaveInDevice::ReturnFront() {
  WAVEHDR& header = queue_.Pop();
  header.dwFlags = (header.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  callback_(MM_WIM_DATA, &header);
}

void PulseWaveInDevice::ReturnAll() {
  while (!queue_.Empty()) ReturnFront();
}

bool PulseWaveInDevice::Cork(bool corked) {
  pa_operation* operation = pa_stream_cork(stream_, corked ? 1 : 0, nullptr, nullptr);
  if (operation == nullptr) return false;
  pa_operation_unref(operation);
  corked_ = corked;
  return true;
}

void PulseWaveInDevice::AwaitCapturedSound() {
  bool running = false;
  {
    PulseLock lock(connection_->Loop());
    running = !corked_ && !serverLost_;
  }
  if (running) std::this_thread::sleep_for(std::chrono::milliseconds(kLongestFragmentMs + 5));
}

MMRESULT PulseWaveInDevice::Recordable() const {
  return serverLost_ ? MMSYSERR_NOTENABLED : MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::PrepareHeader(WAVEHDR& header) {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  if (header.lpData == nullptr || header.dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  PulseLock lock(connection_->Loop());
  header.dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::UnprepareHeader(WAVEHDR& header) {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  PulseLock lock(connection_->Loop());
  if ((header.dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  header.dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::AddBuffer(WAVEHDR& header) {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  PulseLock lock(connection_->Loop());
  if ((header.dwFlags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
  if ((header.dwFlags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
  if (header.lpData == nullptr || header.dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  if (const MMRESULT result = Recordable(); result != MMSYSERR_NOERROR) return result;
  header.dwBytesRecorded = 0;
  header.dwFlags = (header.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  queue_.Push(header);
  if (!corked_) ReadStream();
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::Start() {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  PulseLock lock(connection_->Loop());
  if (const MMRESULT result = Recordable(); result != MMSYSERR_NOERROR) return result;
  return Cork(false) ? MMSYSERR_NOERROR : MMSYSERR_NOTENABLED;
}

MMRESULT PulseWaveInDevice::Stop() {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  AwaitCapturedSound();
  PulseLock lock(connection_->Loop());
  if (const MMRESULT result = Recordable(); result != MMSYSERR_NOERROR) return result;
  ReadStream();
  if (!Cork(true)) return MMSYSERR_NOTENABLED;
  if (!queue_.Empty() && queue_.Front()->dwBytesRecorded > 0) ReturnFront();
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::Reset() {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  AwaitCapturedSound();
  PulseLock lock(connection_->Loop());
  if (!serverLost_) {
    ReadStream();
    Cork(true);
  }
  ReturnAll();
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::Close() {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  {
    PulseLock lock(connection_->Loop());
    if (!queue_.Empty()) return WAVERR_STILLPLAYING;
    DisconnectStream();
    Log(LogLevel::Debug, kWhere,
        "closed after " + std::to_string(bytesRecorded_) + " bytes recorded, " +
            std::to_string(bytesDropped_) + " dropped with no buffer queued");
  }
  connection_.reset();
  const WaveInCallback callback = std::move(callback_);
  callback(MM_WIM_CLOSE, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT PulseWaveInDevice::PositionMs(std::uint32_t& milliseconds) {
  if (connection_ == nullptr) return MMSYSERR_INVALHANDLE;
  PulseLock lock(connection_->Loop());
  milliseconds =
      static_cast<std::uint32_t>(bytesRecorded_ * 1000 / pa_bytes_per_second(&sampleFormat_));
  return MMSYSERR_NOERROR;
}

}  // namespace orvenna
