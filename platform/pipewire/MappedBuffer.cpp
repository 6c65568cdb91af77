#include "platform/pipewire/MappedBuffer.h"

#include <linux/dma-buf.h>
#include <spa/buffer/buffer.h>
#include <sys/ioctl.h>
#include <sys/mman.h>

namespace orvenna::pipewire {

namespace {

void SyncDmaBuf(int fd, std::uint64_t flags) {
  dma_buf_sync sync{};
  sync.flags = flags | DMA_BUF_SYNC_READ;
  ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync);
}

}  // namespace

MappedBuffer::MappedBuffer(const spa_data& data) {
  if (data.type == SPA_DATA_DmaBuf) {
    if (data.fd < 0) return;
    mappingSize_ = static_cast<std::size_t>(data.mapoffset) + data.maxsize;
    void* mapping =
        mmap(nullptr, mappingSize_, PROT_READ, MAP_SHARED, static_cast<int>(data.fd), 0);
    if (mapping == MAP_FAILED) return;
    mapping_ = mapping;
    dmaBuf_ = static_cast<int>(data.fd);
    SyncDmaBuf(dmaBuf_, DMA_BUF_SYNC_START);
    bytes_ = static_cast<const std::uint8_t*>(mapping) + data.mapoffset;
    size_ = data.maxsize;
    return;
  }
  if ((data.type == SPA_DATA_MemFd || data.type == SPA_DATA_MemPtr) && data.data) {
    bytes_ = static_cast<const std::uint8_t*>(data.data);
    size_ = data.maxsize;
  }
}

MappedBuffer::~MappedBuffer() {
  if (!mapping_) return;
  SyncDmaBuf(dmaBuf_, DMA_BUF_SYNC_END);
  munmap(mapping_, mappingSize_);
}

}  // namespace orvenna::pipewire
