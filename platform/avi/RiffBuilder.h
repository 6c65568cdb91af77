#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

namespace orvenna::avi {

// Builds RIFF chunks in memory; a chunk's size is filled in when it ends and its data padded
// to an even length. One thread at a time.
class RiffBuilder {
 public:
  void BeginChunk(std::uint32_t id);
  // A 'LIST' or 'RIFF' chunk with its type code.
  void BeginList(std::uint32_t id, std::uint32_t type);
  void End();

  void PutBytes(const void* data, std::size_t size);
  template <class T>
  void Put(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    PutBytes(&value, sizeof(T));
  }
  void Chunk(std::uint32_t id, const void* data, std::size_t size) {
    BeginChunk(id);
    PutBytes(data, size);
    End();
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::size_t> open_;  // where the size field of each open chunk is
};

}  // namespace orvenna::avi
