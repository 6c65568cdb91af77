#include "audio/WaveRecorders.h"

#include <algorithm>
#include <chrono>

#include "platform/ThreadRole.h"

namespace orvenna {
namespace {

// A running recording ends within a few milliseconds of its close; only a sound layer that
// hangs takes longer, and the new recording then fails to open.
constexpr auto kLongestClose = std::chrono::seconds(10);
// Sound held back for placing goes onto the disk, ahead of the placed sound, each time this
// much more has come in: a killed run loses no more than this and one buffer.
constexpr std::uint32_t kPendingOnDiskEveryMs = 250;

}  // namespace

TStockAudioRecorder::TStockAudioRecorder(WaveInDriver& driver, Shell& shell, Files& files)
    : TWaveAudioIn(driver, shell), files_(files) {}

TStockAudioRecorder::~TStockAudioRecorder() {
  CloseAndWait();
  SetStock(nullptr);
}

void TStockAudioRecorder::SetStock(TCustomWaveStorage* stock) {
  if (stock == stock_) return;
  if (stock_) stock_->CancelRemovalNotice(this);
  stock_ = stock;
  if (stock_) stock_->AskRemovalNotice(this, [this] { stock_ = nullptr; });
}

bool TStockAudioRecorder::RecordToFile(const std::string& fileName) {
  fileName_ = fileName;
  return InternalRecord(
      std::make_unique<TWaveStreamAdapter>(TFileStream::Create(files_, fileName)));
}

bool TStockAudioRecorder::RecordToStock(int index) {
  if (!stock_) throw EWaveAudioInvalidOperation(EWaveAudioInvalidOperation::kStockNotAssigned);
  TStream* stream = stock_->GetWaveStream(index);
  if (!stream) return false;
  fileName_ = "the sound's stream";
  return InternalRecord(std::make_unique<TWaveStreamAdapter>(*stream));
}

void TStockAudioRecorder::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    RecordToStock(0);
  } else {
    StopRecord();
  }
}

// A running recording is ended, and its file finished, before the new writer exists.
bool TStockAudioRecorder::InternalRecord(std::unique_ptr<TWaveStreamAdapter> writer) {
  if (Active()) {
    TWaveAudioIn::SetActive(false);
    if (!WaitUntilInactive(kLongestClose)) return false;
  }
  writer_ = std::move(writer);
  lead_ = 0;
  bytesSincePending_ = 0;
  ranOutOfRoom_ = false;
  bool opened = false;
  try {
    opened = Open();
  } catch (...) {
    writer_.reset();
    throw;
  }
  if (!opened) writer_.reset();
  return opened;
}

// The format to record in, and the file's header written with both sizes 0.
std::vector<std::uint8_t> TStockAudioRecorder::GetWaveFormat() {
  std::vector<std::uint8_t> format = TWaveAudioIn::GetWaveFormat();
  if (format.size() >= sizeof(WAVEFORMATEX) && writer_) {
    // The record with the extra bytes it counts, all of them within what was supplied; when
    // it is not written, every Write fails and reports it.
    const auto* record = reinterpret_cast<const WAVEFORMATEX*>(format.data());
    if (sizeof(WAVEFORMATEX) + record->cbSize <= format.size()) writer_->BeginRewrite(*record);
  }
  return format;
}

Result TStockAudioRecorder::LastFailure() {
  if (ranOutOfRoom_) {
    return Result::Failed("the disk holding " + fileName_ + " is full", FailureKind::OutOfRoom);
  }
  return TWaveAudioIn::LastFailure();
}

void TStockAudioRecorder::SetPlacer(SoundPlacer* placer) {
  std::lock_guard guard(lock_);
  placer_ = placer;
}

void TStockAudioRecorder::ProcessData(std::uint8_t* data, std::uint32_t count, bool&) {
  ORVENNA_CHECK_THREAD(Wave, "TStockAudioRecorder::ProcessData");
  if (placer_) {
    placed_.clear();
    placer_->Place(DataCapturedAtUs(), std::span(data, count), placed_);
    WritePlaced();
    WritePendingNowAndThen(count);
    return;
  }
  if (!WriteLead(data, count)) {
    FailWrite();
    return;
  }
  if (count == 0) return;
  const std::int64_t written = writer_ ? writer_->Write(data, count) : -1;
  if (written != count) FailWrite();
}

// Writes the silence of a positive lead, or leaves out the first bytes of a negative one;
// false when the silence could not be written.
bool TStockAudioRecorder::WriteLead(std::uint8_t*& data, std::uint32_t& count) {
  const std::int64_t lead = lead_.exchange(0);
  if (lead < 0) {
    const auto skipped = static_cast<std::uint32_t>(std::min<std::int64_t>(-lead, count));
    data += skipped;
    count -= skipped;
    if (skipped < -lead) lead_ = lead + skipped;  // the rest from the next buffers
    return true;
  }
  if (lead == 0) return true;
  std::vector<std::uint8_t> silence(static_cast<std::size_t>(lead));
  FillSilence(silence, FormatRecord());
  return writer_ && writer_->Write(silence.data(), silence.size()) == lead;
}

void TStockAudioRecorder::WaveInClosed() {
  try {
    FinishWriter();
  } catch (...) {
    TWaveAudioIn::WaveInClosed();
    throw;
  }
  TWaveAudioIn::WaveInClosed();
}

// An error while the device is being opened finishes the file that was started.
void TStockAudioRecorder::FailWrite() {
  if (writer_ && writer_->RanOutOfRoom()) ranOutOfRoom_ = true;
  Success(MMSYSERR_ERROR);
}

void TStockAudioRecorder::DoError() {
  if (!Active() && writer_) FinishWriter();
  TWaveAudioIn::DoError();
}

void TStockAudioRecorder::WritePlaced() {
  if (placed_.empty()) return;
  const std::int64_t written = writer_ ? writer_->Write(placed_.data(), placed_.size()) : -1;
  if (written != static_cast<std::int64_t>(placed_.size())) FailWrite();
}

void TStockAudioRecorder::WritePendingNowAndThen(std::uint32_t count) {
  bytesSincePending_ += count;
  const std::uint64_t every =
      std::uint64_t{FormatRecord().nAvgBytesPerSec} * kPendingOnDiskEveryMs / 1000;
  if (!writer_ || bytesSincePending_ < every) return;
  bytesSincePending_ = 0;
  pending_.clear();
  placer_->Pending(pending_);
  // A failed copy costs only what a crash would have kept; the placed sound's own writes tell
  // a full disk.
  static_cast<void>(writer_->WriteAhead(pending_.data(), pending_.size()));
}

void TStockAudioRecorder::FinishWriter() {
  if (!writer_) return;
  bool tailLost = false;
  if (placer_) {
    placed_.clear();
    placer_->Finish(placed_);
    tailLost = !placed_.empty() && writer_->Write(placed_.data(), placed_.size()) !=
                                       static_cast<std::int64_t>(placed_.size());
    if (tailLost && writer_->RanOutOfRoom()) ranOutOfRoom_ = true;
  }
  writer_->EndRewrite();
  writer_.reset();
  // The sound still held for placing could not all be written: a failed write like any other,
  // told once the file is as complete as it can be.
  if (tailLost) Success(MMSYSERR_ERROR);
}

}  // namespace orvenna
