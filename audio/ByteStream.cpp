#include "audio/ByteStream.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <limits>

#include "audio/WaveUtils.h"

namespace orvenna {
namespace {

constexpr std::size_t kCopyPiece = 64 * 1024;

// The file at `path` opened in `mode`; throws EWaveAudioError naming the file and why when it
// cannot be had.
std::unique_ptr<File> OpenOrThrow(Files& files, const std::string& path, OpenMode mode,
                                  const char* action) {
  Files::Opened opened = files.OpenFile(path, mode);
  if (!opened.file) {
    throw EWaveAudioError(std::string("Cannot ") + action + " file \"" + path +
                          "\": " + opened.result.Cause());
  }
  return std::move(opened.file);
}

// Moves `position` by `offset` from `origin` in `stream`: the new position, or -1 (the position
// kept) when it would lie before the start or the stream's size cannot be told.
std::int64_t MovePosition(std::int64_t& position, std::int64_t offset, SeekOrigin origin,
                          TStream& stream) {
  const std::int64_t base =
      origin == SeekOrigin::Begin ? 0 : (origin == SeekOrigin::Current ? position : stream.Size());
  if (base < 0 || offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base)
    return -1;
  position = base + offset;
  return position;
}

}  // namespace

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  std::vector<std::uint8_t> buffer(kCopyPiece);
  std::int64_t copied = 0;
  while (copied < count) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(count - copied, kCopyPiece));
    const std::int64_t got = source.Read(buffer.data(), want);
    if (got <= 0) break;
    const std::int64_t written = Write(buffer.data(), static_cast<std::size_t>(got));
    if (written > 0) copied += written;
    if (written != got) break;
  }
  return copied;
}

std::int64_t TMemoryStream::Read(void* data, std::size_t count) {
  const std::int64_t size = Size();
  if (position_ >= size) return 0;
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - position_, count));
  std::memcpy(data, bytes_.data() + position_, n);
  position_ += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t TMemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return 0;
  if (count > std::numeric_limits<std::size_t>::max() - static_cast<std::size_t>(position_)) {
    return -1;
  }
  const auto end = static_cast<std::size_t>(position_) + count;
  try {
    if (end > bytes_.size()) bytes_.resize(end);
  } catch (const std::exception&) {
    return -1;
  }
  std::memcpy(bytes_.data() + position_, data, count);
  position_ = static_cast<std::int64_t>(end);
  return static_cast<std::int64_t>(count);
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
  return MovePosition(position_, offset, origin, *this);
}

bool TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) return false;
  try {
    bytes_.resize(static_cast<std::size_t>(size));
  } catch (const std::exception&) {
    return false;
  }
  position_ = std::min(position_, size);
  return true;
}

std::unique_ptr<TFileStream> TFileStream::Create(Files& files, const std::string& path) {
  return std::unique_ptr<TFileStream>(
      new TFileStream(OpenOrThrow(files, path, OpenMode::Create, "create")));
}

std::unique_ptr<TFileStream> TFileStream::OpenReadWrite(Files& files, const std::string& path) {
  return std::unique_ptr<TFileStream>(
      new TFileStream(OpenOrThrow(files, path, OpenMode::ReadWrite, "open")));
}

std::unique_ptr<TFileStream> TFileStream::OpenRead(Files& files, const std::string& path) {
  return std::unique_ptr<TFileStream>(
      new TFileStream(OpenOrThrow(files, path, OpenMode::ReadHeld, "open")));
}

std::int64_t TFileStream::Read(void* data, std::size_t count) {
  const std::int64_t size = Size();
  if (size < 0) return -1;
  if (position_ >= size) return 0;
  const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - position_, count));
  if (!file_->ReadAt(static_cast<std::uint64_t>(position_), data, n)) return -1;
  position_ += static_cast<std::int64_t>(n);
  return static_cast<std::int64_t>(n);
}

std::int64_t TFileStream::Write(const void* data, std::size_t count) {
  if (count == 0) return 0;
  if (!file_->WriteAt(static_cast<std::uint64_t>(position_), data, count)) return -1;
  position_ += static_cast<std::int64_t>(count);
  return static_cast<std::int64_t>(count);
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
  return MovePosition(position_, offset, origin, *this);
}

std::int64_t TFileStream::Size() {
  return file_->Length();
}

bool TFileStream::SetSize(std::int64_t size) {
  if (size < 0 || !file_->Resize(static_cast<std::uint64_t>(size))) return false;
  position_ = std::min(position_, size);
  return true;
}

}  // namespace orvenna
