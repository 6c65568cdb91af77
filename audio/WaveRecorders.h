#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/ByteStream.h"
#include "audio/SoundPlacer.h"
#include "audio/WaveIn.h"
#include "audio/WaveStorage.h"

namespace orvenna {

// Records from the default sound input into a wave file written over a stream: a file it
// creates itself, or a stream a storage hands out. The file is complete (sizes fixed, stream
// released) once the recorder is no longer Active. Files it records into are opened through
// `files`.
class TStockAudioRecorder : public TWaveAudioIn {
 public:
  TStockAudioRecorder(WaveInDriver& driver, Shell& shell, Files& files);
  ~TStockAudioRecorder() override;

  // The storage RecordToStock records into; none again when that storage is destroyed.
  TCustomWaveStorage* Stock() const { return stock_; }
  void SetStock(TCustomWaveStorage* stock);

  // Starts a recording into a new file (an existing one is emptied); the file's creation
  // error (EWaveAudioError) reaches the caller.
  bool RecordToFile(const std::string& fileName);
  // Starts a recording into the stream Stock gives for `index`.
  bool RecordToStock(int index);
  // Starts the end of the recording.
  bool StopRecord() { return Close(); }
  // True is RecordToStock(0), false StopRecord.
  void SetActive(bool value) override;
  // Moves the sound of the running recording against its start: `bytes` of silence before the
  // first recorded byte, or (negative) that many first bytes left out. Takes effect when the
  // first data is written. Any thread.
  void SetLead(std::int64_t bytes) { lead_ = bytes; }
  // True once the recording stopped because the disk under its file is full. Any thread.
  bool RanOutOfRoom() const { return ranOutOfRoom_; }
  // A full disk is a failure out of room, with the file named; else the device's failure.
  Result LastFailure() override;
  // Places the sound of the recordings from now on through `placer` (null: written as it
  // comes, after the lead). Once it returns, the recorder no longer uses the placer it had.
  // Any thread but the notification thread.
  void SetPlacer(SoundPlacer* placer);

 protected:
  void WaveInClosed() override;
  std::vector<std::uint8_t> GetWaveFormat() override;
  void DoError() override;
  void ProcessData(std::uint8_t* data, std::uint32_t count, bool& keep) override;
  virtual bool InternalRecord(std::unique_ptr<TWaveStreamAdapter> writer);

 private:
  void FinishWriter();
  // A write of the sound failed: the recording ends with an error.
  void FailWrite();

  bool WriteLead(std::uint8_t*& data, std::uint32_t& count);
  // Writes what the placer gave out; a failed write ends the recording with an error.
  void WritePlaced();
  // Puts what the placer still holds back on the disk after the placed sound, once every
  // quarter second of the `count` bytes that came in.
  void WritePendingNowAndThen(std::uint32_t count);

  std::unique_ptr<TWaveStreamAdapter> writer_;
  std::atomic<std::int64_t> lead_{0};
  std::atomic<bool> ranOutOfRoom_{false};
  SoundPlacer* placer_ = nullptr;        // guarded by lock_
  std::string fileName_;                 // of the running recording
  std::vector<std::uint8_t> placed_;     // notification thread
  std::vector<std::uint8_t> pending_;    // notification thread
  std::uint64_t bytesSincePending_ = 0;  // notification thread
  TCustomWaveStorage* stock_ = nullptr;
  Files& files_;
};

}  // namespace orvenna
