#pragma once

#include <pulse/sample.h>
#include <pulse/stream.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/WaveIn.h"
#include "platform/pulse/PulseConnection.h"
#include "platform/pulse/PulseErrorTexts.h"
#include "platform/pulse/WaveHeaderQueue.h"

namespace orvenna {

// One recording from the server's default source: a connection of its own and one record
// stream on it, corked while the device is stopped.
//
// Threads: the methods run on the caller's thread, one at a time. The stream's data and state
// changes arrive on the connection's loop thread. Everything they share is guarded by the
// loop's lock, the only lock here. The callback runs with that lock held: on the loop thread
// (MM_WIM_DATA for filled buffers, and for every queued buffer when the server goes away), or
// on the caller's thread inside Open (MM_WIM_OPEN), AddBuffer, Stop and Reset (MM_WIM_DATA); only
// MM_WIM_CLOSE comes from Close without the lock, after the loop thread has ended. The
// callback must therefore only hand the notification on, never call into the device.
class PulseWaveInDevice final : public WaveInDevice {
 public:
  // Connects, creates the corked record stream with fragments of `bufferBytes`, and delivers
  // MM_WIM_OPEN once the stream is ready. MMSYSERR_NODRIVER when no server answers,
  // MMSYSERR_NOTENABLED when the server refuses the stream; the cause goes to `errors`.
  static MMRESULT Open(const pa_sample_spec& sampleFormat, std::uint32_t bufferBytes,
                       WaveInCallback callback, std::shared_ptr<PulseErrorTexts> errors,
                       std::unique_ptr<WaveInDevice>& device);
  // Without Close, the device is torn down without a notification.
  ~PulseWaveInDevice() override;
  PulseWaveInDevice(const PulseWaveInDevice&) = delete;
  PulseWaveInDevice& operator=(const PulseWaveInDevice&) = delete;

  MMRESULT PrepareHeader(WAVEHDR& header) override;
  MMRESULT UnprepareHeader(WAVEHDR& header) override;
  MMRESULT AddBuffer(WAVEHDR& header) override;
  MMRESULT Start() override;
  MMRESULT Stop() override;
  MMRESULT Reset() override;
  MMRESULT Close() override;
  MMRESULT PositionMs(std::uint32_t& milliseconds) override;

 private:
  PulseWaveInDevice(const pa_sample_spec& sampleFormat, WaveInCallback callback,
                    std::shared_ptr<PulseErrorTexts> errors,
                    std::unique_ptr<PulseConnection> connection);

  // Creates and connects the stream; waits until it records or fails. Loop locked.
  MMRESULT ConnectStream(std::uint32_t bufferBytes, PulseConnection::Deadline deadline);
  void DisconnectStream();  // loop locked
  static void OnStreamState(pa_stream* stream, void* self);
  static void OnStreamReadable(pa_stream* stream, std::size_t bytes, void* self);
  // Moves what the stream holds into the queued buffers, as long as there are any. Loop
  // locked.
  void ReadStream();
  // Appends `size` bytes, the first captured at `capturedAtUs` (steady clock), to the queued
  // buffers, returning each that fills up; null `data` is silence (a gap in the stream).
  // Without a queued buffer the bytes are dropped.
  void Record(const std::uint8_t* data, std::size_t size, std::int64_t capturedAtUs);
  // The server ended the connection or the stream: every queued buffer comes back and the
  // device refuses to record from now on. `what` says what happened ("stopped"). Loop locked.
  void ServerLost(const std::string& what);
  void ReturnFront();  // loop locked, queue not empty
  void ReturnAll();    // loop locked
  // Corks or uncorks the stream without waiting for the server. Loop locked.
  bool Cork(bool corked);
  // While the stream records, waits (not locked, so the loop thread goes on reading) for a
  // fragment and a little more: the sound the server captured up to this moment is then in
  // the buffers, and a stop loses none of it.
  void AwaitCapturedSound();
  // MMSYSERR_NOTENABLED when the server went away, else MMSYSERR_NOERROR. Loop locked.
  MMRESULT Recordable() const;

  const pa_sample_spec sampleFormat_;
  WaveInCallback callback_;
  const std::shared_ptr<PulseErrorTexts> errors_;
  std::unique_ptr<PulseConnection> connection_;  // null once closed
  pa_stream* stream_ = nullptr;
  WaveHeaderQueue queue_;
  bool opened_ = false;  // MM_WIM_OPEN delivered: failures from now on are losses
  bool serverLost_ = false;
  bool corked_ = true;
  std::uint64_t bytesRecorded_ = 0;  // into buffers, since the open
  std::uint64_t bytesDropped_ = 0;   // arrived with no buffer queued
};

}  // namespace orvenna
