#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

#include "platform/Files.h"
#include "platform/avi/Avi.h"
#include "platform/avi/AviFormat.h"

namespace orvenna::avi {

// A chunk found in a file.
struct ChunkRef {
  std::uint32_t id = 0;
  std::uint32_t size = 0;
  std::uint64_t position = 0;  // of the header
  std::uint64_t Data() const { return position + sizeof(ChunkHeader); }
  std::uint64_t End() const { return Data() + size + size % 2; }
};

// Reads a file without trusting any size in it: every read is checked against the file's
// length first. One thread at a time.
class RiffReader {
 public:
  RiffReader(File& file, std::uint64_t length) : file_(file), length_(length) {}

  std::uint64_t Length() const { return length_; }
  // AVIERR_BADFORMAT when the bytes lie beyond the end of the file, AVIERR_FILEREAD when the
  // file refuses them.
  AviResult Read(std::uint64_t offset, void* data, std::size_t size);
  template <class T>
  AviResult ReadValue(std::uint64_t offset, T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    return Read(offset, &value, sizeof(T));
  }
  // The chunk header at `position`, which must fit before `end`.
  AviResult ReadChunk(std::uint64_t position, std::uint64_t end, ChunkRef& chunk);

 private:
  File& file_;
  std::uint64_t length_;
};

// Walks the chunks held in a buffer, stopping at the first one that does not fit.
class ChunkCursor {
 public:
  explicit ChunkCursor(std::span<const std::uint8_t> bytes) : rest_(bytes) {}
  bool Next(std::uint32_t& id, std::span<const std::uint8_t>& data);

 private:
  std::span<const std::uint8_t> rest_;
};

// Copies the first bytes of `data` into a zero-initialised `T` (fewer when `data` is short).
template <class T>
T LoadPrefix(std::span<const std::uint8_t> data) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value{};
  // An empty span may have no address, which memcpy must not be given even for no bytes.
  if (!data.empty()) std::memcpy(&value, data.data(), std::min(data.size(), sizeof(T)));
  return value;
}

}  // namespace orvenna::avi

namespace orvenna::avi {

// Where the chunks of a 'RIFF' form end: at its declared size, or at the end of the file when
// the size is zero (never written) or runs past it (a file cut short).
inline std::uint64_t FormEnd(const ChunkRef& form, std::uint64_t length) {
  if (form.size == 0) return length;
  return form.End() < length ? form.End() : length;
}

}  // namespace orvenna::avi
