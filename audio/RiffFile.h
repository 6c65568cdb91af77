#pragma once

// Chunks of a RIFF file over a byte stream. A chunk is a four-character id, a 32-bit
// little-endian size and that many bytes of data, padded to an even length; a form ("RIFF")
// starts its data with a four-character form type and holds further chunks after it.

#include <cstddef>
#include <cstdint>

#include "audio/ByteStream.h"

namespace orvenna {

// A four-character code: the first character in the lowest byte.
constexpr std::uint32_t FourCC(const char (&text)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])) << 24;
}

inline constexpr std::uint32_t kRiffId = FourCC("RIFF");

struct RiffChunk {
  std::uint32_t id = 0;
  std::uint32_t size = 0;       // bytes of data, without the pad byte
  std::uint32_t formType = 0;   // forms only
  std::int64_t dataOffset = 0;  // of the first data byte (a form's type)

  std::int64_t DataEnd() const { return dataOffset + size; }
  std::int64_t PaddedEnd() const { return DataEnd() + size % 2; }
};

// Reads and writes chunks at an offset of its own: the stream's position is not kept, and each
// Read or Write is one seek and one transfer on the stream, without buffering. Failures of the
// stream, thrown ones included, come back as results. One thread at a time.
class RiffFile {
 public:
  explicit RiffFile(TStream& stream) : stream_(stream) {}

  std::int64_t Offset() const { return offset_; }
  void SetOffset(std::int64_t offset) { offset_ = offset; }

  // Transfers at the offset and moves past what was transferred: the byte count, or -1.
  std::int64_t Read(void* data, std::size_t count);
  std::int64_t Write(const void* data, std::size_t count);

  // Writes a chunk header (and a form's type) at the offset with the size 0 for now; the
  // offset moves to where the chunk's content goes.
  bool CreateChunk(RiffChunk& chunk, std::uint32_t id);
  bool CreateForm(RiffChunk& form, std::uint32_t formType);
  // Ends a created chunk at the offset: writes a zero pad byte when its length is odd and
  // puts its length into the size field; the offset moves past the chunk.
  bool Ascend(RiffChunk& chunk);

  // Walks the chunks from the offset while their headers lie before `end`, and stops at the
  // first with `id` (or at the first form of `formType`): the offset moves to its content
  // (past a form's type). False when there is none.
  bool FindChunk(RiffChunk& chunk, std::uint32_t id, std::int64_t end);
  bool FindForm(RiffChunk& form, std::uint32_t formType, std::int64_t end);

 private:
  bool ReadExactly(void* data, std::size_t count) {
    return Read(data, count) == static_cast<std::int64_t>(count);
  }
  bool WriteExactly(const void* data, std::size_t count) {
    return Write(data, count) == static_cast<std::int64_t>(count);
  }
  bool WriteValue(std::uint32_t value);
  bool ReadValue(std::uint32_t& value);
  // The next chunk whose header lies before `end`, read at the offset; the offset moves to
  // its data.
  bool NextChunk(RiffChunk& chunk, std::int64_t end);

  TStream& stream_;
  std::int64_t offset_ = 0;
};

}  // namespace orvenna
