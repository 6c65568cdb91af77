#include "platform/avi/DibFormat.h"
#include "platform/avi/Handles.h"

namespace orvenna::avi {

AviResult CheckWriteArguments(std::int32_t samples, const void* buffer, std::int32_t bufferSize) {
  if (samples != 1 || bufferSize < 0 || (buffer == nullptr && bufferSize > 0)) {
    return AVIERR_BADPARAM;
  }
  return AVIERR_OK;
}

AviResult RawWriteStream::SetFormat(std::int32_t pos, const void* format, std::int32_t formatSize) {
  if (pos != 0) return AVIERR_UNSUPPORTED;
  if (format == nullptr || formatSize <= 0) return AVIERR_BADPARAM;
  const auto* bytes = static_cast<const std::uint8_t*>(format);
  std::vector<std::uint8_t> copy(bytes, bytes + formatSize);
  if (!IsVideoFormat(copy)) return AVIERR_BADFORMAT;
  return target_->SetFormat(std::move(copy));
}

AviResult RawWriteStream::Write(std::int32_t start, std::int32_t samples, const void* buffer,
                                std::int32_t bufferSize, std::uint32_t flags,
                                std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
  if (const AviResult result = CheckWriteArguments(samples, buffer, bufferSize);
      result != AVIERR_OK) {
    return result;
  }
  const std::uint64_t imageSize = UncompressedImageSize(target_->Format());
  if (imageSize != 0 && imageSize != static_cast<std::uint64_t>(bufferSize)) {
    return AVIERR_BADSIZE;
  }
  const AviResult result = target_->WriteSample(
      start, buffer, static_cast<std::uint32_t>(bufferSize), (flags & AVIIF_KEYFRAME) != 0);
  if (result == AVIERR_OK) {
    if (samplesWritten != nullptr) *samplesWritten = 1;
    if (bytesWritten != nullptr) *bytesWritten = bufferSize;
  }
  return result;
}

}  // namespace orvenna::avi
