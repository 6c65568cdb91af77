#pragma once

#include <cstddef>
#include <cstdint>

struct spa_data;

namespace orvenna::pipewire {

// The memory of one data block of a stream buffer, readable while this object lives. Shared
// memory comes mapped by the stream already; a DMA-BUF is mapped here read-only and bracketed
// by the kernel's CPU-access synchronisation. Bytes() is null when the memory cannot be read.
class MappedBuffer {
 public:
  explicit MappedBuffer(const spa_data& data);
  ~MappedBuffer();
  MappedBuffer(const MappedBuffer&) = delete;
  MappedBuffer& operator=(const MappedBuffer&) = delete;

  const std::uint8_t* Bytes() const { return bytes_; }
  std::size_t Size() const { return size_; }

 private:
  const std::uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
  // Our own mapping of a DMA-BUF, undone at the end.
  void* mapping_ = nullptr;
  std::size_t mappingSize_ = 0;
  int dmaBuf_ = -1;
};

}  // namespace orvenna::pipewire
