#include "platform/avi/RiffBuilder.h"

#include "platform/avi/AviFormat.h"

namespace orvenna::avi {

void RiffBuilder::BeginChunk(std::uint32_t id) {
  Put(id);
  open_.push_back(bytes_.size());
  Put(std::uint32_t{0});
}

void RiffBuilder::BeginList(std::uint32_t id, std::uint32_t type) {
  BeginChunk(id);
  Put(type);
}

void RiffBuilder::End() {
  const std::size_t sizeField = open_.back();
  open_.pop_back();
  const auto size = static_cast<std::uint32_t>(bytes_.size() - sizeField - 4);
  std::memcpy(bytes_.data() + sizeField, &size, 4);
  if (size % 2 != 0) bytes_.push_back(0);
}

void RiffBuilder::PutBytes(const void* data, std::size_t size) {
  const auto* begin = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), begin, begin + size);
}

}  // namespace orvenna::avi
