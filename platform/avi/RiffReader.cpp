#include "platform/avi/RiffReader.h"

#include <algorithm>

namespace orvenna::avi {

AviResult RiffReader::Read(std::uint64_t offset, void* data, std::size_t size) {
  if (offset > length_ || size > length_ - offset) return AVIERR_BADFORMAT;
  return file_.ReadAt(offset, data, size) ? AVIERR_OK : AVIERR_FILEREAD;
}

AviResult RiffReader::ReadChunk(std::uint64_t position, std::uint64_t end, ChunkRef& chunk) {
  if (position > end || end - position < sizeof(ChunkHeader)) return AVIERR_BADFORMAT;
  ChunkHeader header;
  if (const AviResult result = ReadValue(position, header); result != AVIERR_OK) return result;
  chunk = {header.id, header.size, position};
  return AVIERR_OK;
}

bool ChunkCursor::Next(std::uint32_t& id, std::span<const std::uint8_t>& data) {
  if (rest_.size() < sizeof(ChunkHeader)) return false;
  const auto header = LoadPrefix<ChunkHeader>(rest_);
  rest_ = rest_.subspan(sizeof(ChunkHeader));
  if (header.size > rest_.size()) return false;
  id = header.id;
  data = rest_.first(header.size);
  rest_ = rest_.subspan(std::min<std::size_t>(rest_.size(), header.size + header.size % 2));
  return true;
}

}  // namespace orvenna::avi
