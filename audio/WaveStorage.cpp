#include "audio/WaveStorage.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

constexpr std::uint32_t kWaveForm = FourCC("WAVE");
constexpr std::uint32_t kFormatChunk = FourCC("fmt ");
constexpr std::uint32_t kDataChunk = FourCC("data");
constexpr std::size_t kRecordSize = sizeof(WAVEFORMATEX);
constexpr std::uint32_t kShortestFormatChunk = 14;

std::size_t RecordLength(const WAVEFORMATEX& format) {
  return kRecordSize + format.cbSize;
}

}  // namespace

TWaveStreamAdapter::TWaveStreamAdapter(TStream& stream) : stream_(stream) {}

TWaveStreamAdapter::TWaveStreamAdapter(std::unique_ptr<TStream> stream)
    : ownedStream_(std::move(stream)), stream_(*ownedStream_) {}

TWaveStreamAdapter::~TWaveStreamAdapter() {
  if (state_ == TWaveStreamState::Reading) EndRead();
  if (state_ == TWaveStreamState::Writing) EndRewrite();
}

bool TWaveStreamAdapter::UpdateDetails() {
  if (!dirty_ || state_ == TWaveStreamState::Writing) return valid_;
  dirty_ = false;
  valid_ = Parse();
  Change();
  return valid_;
}

bool TWaveStreamAdapter::Parse() {
  format_.clear();
  dataSize_ = 0;
  dataOffset_ = 0;
  const std::int64_t size = stream_.Size();
  if (size <= 0) return false;
  RiffFile io(stream_);
  RiffChunk riff;
  RiffChunk formatChunk;
  RiffChunk dataChunk;
  if (!io.FindForm(riff, kWaveForm, size) ||
      !io.FindChunk(formatChunk, kFormatChunk, riff.DataEnd())) {
    return false;
  }
  // A record that the stream cannot hold is not read (nor its room taken).
  if (formatChunk.size < kShortestFormatChunk || formatChunk.size > size - io.Offset()) {
    return false;
  }
  std::vector<std::uint8_t> format(std::max<std::size_t>(formatChunk.size, kRecordSize));
  if (io.Read(format.data(), formatChunk.size) != formatChunk.size) return false;
  // Extra bytes beyond the chunk would be read by every user of the record.
  if (RecordLength(*reinterpret_cast<const WAVEFORMATEX*>(format.data())) > format.size()) {
    return false;
  }
  io.SetOffset(formatChunk.PaddedEnd());
  if (!io.FindChunk(dataChunk, kDataChunk, riff.DataEnd()) ||
      dataChunk.dataOffset > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  format_ = std::move(format);
  dataSize_ = dataChunk.size;
  dataOffset_ = static_cast<std::uint32_t>(dataChunk.dataOffset);
  return true;
}

bool TWaveStreamAdapter::LockData(TWaveData& data, bool forceCopy) {
  data = {};
  if (!UpdateDetails() || dataSize_ == 0) return false;
  const std::int64_t end = std::int64_t{dataOffset_} + dataSize_;
  auto* memory = dynamic_cast<TMemoryStream*>(&stream_);
  if (!forceCopy && memory && end <= memory->Size()) {
    data.bytes_ = {memory->Memory() + dataOffset_, dataSize_};
    return true;
  }
  // Sound that the stream does not hold whole is neither read nor given room.
  if (end > stream_.Size()) return false;
  data.copy_.resize(dataSize_);
  RiffFile io(stream_);
  io.SetOffset(dataOffset_);
  if (io.Read(data.copy_.data(), dataSize_) != dataSize_) {
    data = {};
    return false;
  }
  data.bytes_ = data.copy_;
  return true;
}

bool TWaveStreamAdapter::UnlockData(TWaveData& data, bool writeBack) {
  const TWaveData released = std::move(data);
  data = {};
  if (released.bytes_.empty()) return false;
  if (released.copy_.empty()) {
    auto* memory = dynamic_cast<TMemoryStream*>(&stream_);
    return memory && released.bytes_.data() == memory->Memory() + dataOffset_;
  }
  if (!writeBack) return true;
  RiffFile io(stream_);
  io.SetOffset(dataOffset_);
  return io.Write(released.copy_.data(), released.copy_.size()) ==
         static_cast<std::int64_t>(released.copy_.size());
}

std::uint32_t TWaveStreamAdapter::MsToBytes(std::uint32_t milliseconds) {
  return Valid() ? orvenna::MsToBytes(Record(), milliseconds) : 0;
}

void TWaveStreamAdapter::Changing() {
  if (dirty_) return;
  valid_ = false;
  dirty_ = true;
  if (OnChanging) OnChanging(*this);
}

void TWaveStreamAdapter::Change() {
  if (OnChange) OnChange(*this);
}

bool TWaveStreamAdapter::Equals(TWaveStreamAdapter& wave) {
  if (!SameFormatAs(wave) || DataSize() != wave.DataSize()) return false;
  if (DataSize() == 0) return true;
  TWaveData mine;
  TWaveData theirs;
  const bool equal = LockData(mine, false) && wave.LockData(theirs, false) &&
                     std::ranges::equal(mine.Bytes(), theirs.Bytes());
  UnlockData(mine, false);
  wave.UnlockData(theirs, false);
  return equal;
}

bool TWaveStreamAdapter::SameFormatAs(TWaveStreamAdapter& wave) {
  return SameFormat(wave.WaveFormat());
}

bool TWaveStreamAdapter::SameFormat(const WAVEFORMATEX* format) {
  return Valid() && format && format->cbSize == Record().cbSize &&
         std::memcmp(format, format_.data(), RecordLength(*format)) == 0;
}

bool TWaveStreamAdapter::Assign(TWaveStreamAdapter& source) {
  if (&source == this) return UpdateDetails();
  source.stream_.Seek(0, SeekOrigin::Begin);
  return LoadFromStream(source.stream_);
}

bool TWaveStreamAdapter::LoadFromStream(TStream& source) {
  Changing();
  io_.reset();
  state_ = TWaveStreamState::None;
  const std::int64_t available = std::max<std::int64_t>(source.Size() - source.Position(), 0);
  const bool copied = stream_.Seek(0, SeekOrigin::Begin) == 0 &&
                      stream_.CopyFrom(source, available) == available &&
                      stream_.SetSize(available);
  return UpdateDetails() && copied;
}

bool TWaveStreamAdapter::SaveToStream(TStream& target) {
  const std::int64_t size = stream_.Size();
  return stream_.Seek(0, SeekOrigin::Begin) == 0 && target.CopyFrom(stream_, size) == size;
}

bool TWaveStreamAdapter::LoadFromFile(Files& files, const std::string& path) {
  return LoadFromStream(*TFileStream::OpenRead(files, path));
}

void TWaveStreamAdapter::SaveToFile(Files& files, const std::string& path) {
  if (!SaveToStream(*TFileStream::Create(files, path))) {
    throw EWaveAudioError("Cannot write all of file \"" + path + "\"");
  }
}

void TWaveStreamAdapter::Clear() {
  Changing();
  stream_.SetSize(0);
  io_.reset();
  state_ = TWaveStreamState::None;
  Change();
}

void TWaveStreamAdapter::Refresh() {
  dirty_ = true;
}

void TWaveStreamAdapter::Crop() {
  if (state_ != TWaveStreamState::Writing && Valid()) {
    stream_.SetSize(std::int64_t{dataOffset_} + dataSize_ + dataSize_ % 2);
  }
}

bool TWaveStreamAdapter::BeginRewrite(const WAVEFORMATEX& format) {
  if (state_ != TWaveStreamState::None) return false;
  RiffFile io(stream_);
  RiffChunk riff;
  RiffChunk formatChunk;
  RiffChunk dataChunk;
  const auto length = static_cast<std::int64_t>(RecordLength(format));
  if (!stream_.SetSize(0) || !io.CreateForm(riff, kWaveForm) ||
      !io.CreateChunk(formatChunk, kFormatChunk) || io.Write(&format, length) != length ||
      !io.Ascend(formatChunk) || !io.CreateChunk(dataChunk, kDataChunk)) {
    return false;
  }
  io_.emplace(io);
  riffChunk_ = riff;
  dataChunk_ = dataChunk;
  blockAlign_ = std::max<std::uint16_t>(format.nBlockAlign, 1);
  state_ = TWaveStreamState::Writing;
  aheadEnd_ = 0;
  dataOffset_ = static_cast<std::uint32_t>(io.Offset());
  Changing();
  return true;
}

bool TWaveStreamAdapter::EndRewrite() {
  if (state_ != TWaveStreamState::Writing) return false;
  // A write cut short (a full disk) may have left part of a sample frame: the data ends with
  // the last whole one.
  const std::int64_t written = io_->Offset() - dataChunk_.dataOffset;
  io_->SetOffset(io_->Offset() - written % blockAlign_);
  const bool dataSized = io_->Ascend(dataChunk_);
  const bool riffSized = io_->Ascend(riffChunk_);
  io_.reset();
  state_ = TWaveStreamState::None;
  UpdateDetails();
  // The pad byte of an odd length stays, so that the file ends where its RIFF size says.
  const bool cut = valid_ && stream_.SetSize(std::int64_t{dataOffset_} + dataSize_ + dataSize_ % 2);
  return dataSized && riffSized && cut;
}

std::int64_t TWaveStreamAdapter::Write(const void* data, std::size_t count) {
  return state_ == TWaveStreamState::Writing ? io_->Write(data, count) : -1;
}

bool TWaveStreamAdapter::WriteAhead(const void* data, std::size_t count) {
  if (state_ != TWaveStreamState::Writing) return false;
  const std::int64_t soundEnd = io_->Offset();
  const std::int64_t put = io_->Write(data, count);
  const std::int64_t end = soundEnd + std::max<std::int64_t>(put, 0);
  // What an earlier, longer one left beyond it would read as sound after this.
  const bool cut = end >= aheadEnd_ || stream_.SetSize(end);
  aheadEnd_ = end;
  io_->SetOffset(soundEnd);
  return put == static_cast<std::int64_t>(count) && cut;
}

bool TWaveStreamAdapter::BeginRead() {
  if (state_ != TWaveStreamState::None || !UpdateDetails()) return false;
  io_.emplace(stream_);
  io_->SetOffset(dataOffset_);
  state_ = TWaveStreamState::Reading;
  return true;
}

bool TWaveStreamAdapter::EndRead() {
  if (state_ != TWaveStreamState::Reading) return false;
  io_.reset();
  state_ = TWaveStreamState::None;
  return true;
}

std::int64_t TWaveStreamAdapter::Read(void* data, std::size_t count) {
  if (state_ != TWaveStreamState::Reading) return -1;
  const std::int64_t left = std::int64_t{dataOffset_} + dataSize_ - io_->Offset();
  return io_->Read(data, static_cast<std::size_t>(
                             std::clamp<std::int64_t>(left, 0, static_cast<std::int64_t>(count))));
}

std::uint32_t TWaveStreamAdapter::Length() {
  return Valid() ? BytesToMs(Record(), dataSize_) : 0;
}

std::uint32_t TWaveStreamAdapter::DataSize() {
  return Valid() ? dataSize_ : 0;
}

std::uint32_t TWaveStreamAdapter::DataOffset() {
  return Valid() ? dataOffset_ : 0;
}

const WAVEFORMATEX* TWaveStreamAdapter::WaveFormat() {
  return Valid() ? &Record() : nullptr;
}

TCustomWaveStorage::~TCustomWaveStorage() {
  const auto notices = std::move(removalNotices_);
  for (const auto& [owner, notice] : notices) notice();
}

void TCustomWaveStorage::AskRemovalNotice(const void* owner, std::function<void()> notice) {
  removalNotices_[owner] = std::move(notice);
}

}  // namespace orvenna
