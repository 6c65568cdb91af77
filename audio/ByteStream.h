#pragma once

// Byte streams: a position, a size, and reads and writes at the position. Read, Write, Seek
// and SetSize report failures by their result and never throw; the file stream's factories
// throw EWaveAudioError when the file cannot be had. One thread at a time per stream.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace orvenna {

enum class SeekOrigin { Begin, Current, End };

class TStream {
 public:
  virtual ~TStream() = default;

  // Reads up to `count` bytes at the position and moves past them: the number read (less at
  // the end of the stream), or -1 on an error.
  virtual std::int64_t Read(void* data, std::size_t count) = 0;
  // Writes `count` bytes at the position and moves past them: the number written (less when
  // the medium is full), or -1 on an error.
  virtual std::int64_t Write(const void* data, std::size_t count) = 0;
  // Moves the position (it may lie past the end); the new position, or -1 when refused.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  // Bytes in the stream, or -1 when that cannot be told.
  virtual std::int64_t Size() = 0;
  // Lengthens (with zeros) or shortens the stream; the position is kept within the new size.
  virtual bool SetSize(std::int64_t size) = 0;

  // True once a write failed for want of room (a full disk, a quota, the largest file).
  virtual bool RanOutOfRoom() const { return false; }

  std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
  // Copies `count` bytes from `source`'s position to this stream's position: the number
  // copied (less when `source` ends early or this stream refuses), or -1 when nothing could be.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A stream held in memory.
class TMemoryStream final : public TStream {
 public:
  std::int64_t Read(void* data, std::size_t count) override;
  std::int64_t Write(const void* data, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override { return static_cast<std::int64_t>(bytes_.size()); }
  bool SetSize(std::int64_t size) override;

  // The stream's bytes, valid until the next Write or SetSize.
  std::uint8_t* Memory() { return bytes_.data(); }

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

// A regular file of `Files`, never reached through a symbolic link at the last component of
// its path.
class TFileStream final : public TStream {
 public:
  // Creates the file (private in the temporary folder) or empties an existing one, for reading
  // and writing. Holds it exclusively while open, so no other writer and no reader that asks
  // shares it.
  static std::unique_ptr<TFileStream> Create(Files& files, const std::string& path);
  // Opens an existing file for reading, holding it shared: no writer that asks to hold it
  // exclusively gets it meanwhile, and the open fails while such a writer holds it.
  static std::unique_ptr<TFileStream> OpenRead(Files& files, const std::string& path);
  // Opens an existing file for reading and writing, as it is, holding it exclusively.
  static std::unique_ptr<TFileStream> OpenReadWrite(Files& files, const std::string& path);

  std::int64_t Read(void* data, std::size_t count) override;
  std::int64_t Write(const void* data, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
  std::int64_t Size() override;
  bool SetSize(std::int64_t size) override;
  bool RanOutOfRoom() const override { return file_->RanOutOfRoom(); }

 private:
  explicit TFileStream(std::unique_ptr<File> file) : file_(std::move(file)) {}

  std::unique_ptr<File> file_;
  std::int64_t position_ = 0;
};

}  // namespace orvenna
