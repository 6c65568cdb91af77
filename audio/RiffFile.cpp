#include "audio/RiffFile.h"

#include <exception>
#include <limits>

namespace orvenna {

std::int64_t RiffFile::Read(void* data, std::size_t count) {
  try {
    if (stream_.Seek(offset_, SeekOrigin::Begin) != offset_) return -1;
    const std::int64_t done = stream_.Read(data, count);
    if (done > 0) offset_ += done;
    return done;
  } catch (const std::exception&) {
    return -1;
  }
}

std::int64_t RiffFile::Write(const void* data, std::size_t count) {
  try {
    if (stream_.Seek(offset_, SeekOrigin::Begin) != offset_) return -1;
    const std::int64_t done = stream_.Write(data, count);
    if (done > 0) offset_ += done;
    return done;
  } catch (const std::exception&) {
    return -1;
  }
}

bool RiffFile::WriteValue(std::uint32_t value) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
      static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  return WriteExactly(bytes, sizeof bytes);
}

bool RiffFile::ReadValue(std::uint32_t& value) {
  std::uint8_t bytes[4];
  if (!ReadExactly(bytes, sizeof bytes)) return false;
  value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

bool RiffFile::CreateChunk(RiffChunk& chunk, std::uint32_t id) {
  chunk = {id, 0, 0, offset_ + 8};
  return WriteValue(id) && WriteValue(0);
}

bool RiffFile::CreateForm(RiffChunk& form, std::uint32_t formType) {
  if (!CreateChunk(form, kRiffId)) return false;
  form.formType = formType;
  return WriteValue(formType);
}

bool RiffFile::Ascend(RiffChunk& chunk) {
  const std::int64_t length = offset_ - chunk.dataOffset;
  if (length < 0 || length > std::numeric_limits<std::uint32_t>::max()) return false;
  chunk.size = static_cast<std::uint32_t>(length);
  const std::uint8_t pad = 0;
  const bool padded = chunk.size % 2 == 0 || WriteExactly(&pad, 1);
  offset_ = chunk.dataOffset - 4;
  const bool sized = WriteValue(chunk.size);
  offset_ = chunk.PaddedEnd();
  return padded && sized;
}

bool RiffFile::NextChunk(RiffChunk& chunk, std::int64_t end) {
  if (end - offset_ < 8) return false;
  chunk = {};
  if (!ReadValue(chunk.id) || !ReadValue(chunk.size)) return false;
  chunk.dataOffset = offset_;
  return true;
}

bool RiffFile::FindChunk(RiffChunk& chunk, std::uint32_t id, std::int64_t end) {
  while (NextChunk(chunk, end)) {
    if (chunk.id == id) return true;
    offset_ = chunk.PaddedEnd();
  }
  return false;
}

bool RiffFile::FindForm(RiffChunk& form, std::uint32_t formType, std::int64_t end) {
  while (FindChunk(form, kRiffId, end)) {
    if (form.size >= 4 && ReadValue(form.formType) && form.formType == formType) return true;
    offset_ = form.PaddedEnd();
  }
  return false;
}

}  // namespace orvenna
