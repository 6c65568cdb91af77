#include "platform/avi/CompressedStream.h"

#include "platform/avi/AviFormat.h"
#include "platform/avi/DibFormat.h"

namespace orvenna::avi {

CompressedStream::CompressedStream(PAVISTREAM raw, std::uint32_t handler,
                                   const EncoderSettings& settings, VideoCompressionManager& codecs)
    : raw_(std::move(raw)), handler_(handler), settings_(settings), codecs_(codecs) {}

bool CompressedStream::IsUncompressedHandler(std::uint32_t handler) {
  return handler == 0 || handler == kUncompressedDib;
}

AviResult CompressedStream::SetFormat(std::int32_t pos, const void* format,
                                      std::int32_t formatSize) {
  if (pos != 0) return AVIERR_UNSUPPORTED;
  if (format == nullptr || formatSize <= 0) return AVIERR_BADPARAM;
  if (Info().dwLength > 0) return AVIERR_UNSUPPORTED;
  const auto* bytes = static_cast<const std::uint8_t*>(format);
  std::vector<std::uint8_t> input(bytes, bytes + formatSize);
  const std::uint64_t imageSize = UncompressedImageSize(input);
  if (imageSize == 0) return AVIERR_BADFORMAT;

  std::unique_ptr<FrameEncoder> encoder;
  if (!IsUncompressedHandler(handler_)) {
    encoder = codecs_.NewEncoder(handler_, input, settings_);
    if (!encoder) return AVIERR_COMPRESSOR;
  }
  const std::vector<std::uint8_t>& output = encoder ? encoder->OutputFormat() : input;
  if (const AviResult result =
          raw_->SetFormat(0, output.data(), static_cast<std::int32_t>(output.size()));
      result != AVIERR_OK) {
    return result;
  }
  input_ = std::move(input);
  imageSize_ = imageSize;
  encoder_ = std::move(encoder);
  return AVIERR_OK;
}

AviResult CompressedStream::Write(std::int32_t start, std::int32_t samples, const void* buffer,
                                  std::int32_t bufferSize, std::uint32_t flags,
                                  std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
  if (const AviResult result = CheckWriteArguments(samples, buffer, bufferSize);
      result != AVIERR_OK) {
    return result;
  }
  if (input_.empty()) return AVIERR_BADFORMAT;
  if (static_cast<std::uint64_t>(bufferSize) != imageSize_) return AVIERR_BADSIZE;
  // Refused positions must not reach the encoder, whose next frame may depend on this one.
  if (const AviResult result = Target()->Accepts(start); result != AVIERR_OK) return result;
  if (!encoder_) {
    return raw_->Write(start, 1, buffer, bufferSize, flags | AVIIF_KEYFRAME, samplesWritten,
                       bytesWritten);
  }
  if (!encoder_->Encode(static_cast<const std::uint8_t*>(buffer), imageSize_, frame_) ||
      frame_.data.size() > kMaxChunkSize) {
    return AVIERR_COMPRESSOR;
  }
  const AviResult result =
      raw_->Write(start, 1, frame_.data.data(), static_cast<std::int32_t>(frame_.data.size()),
                  frame_.keyFrame ? AVIIF_KEYFRAME : 0, nullptr, bytesWritten);
  if (result == AVIERR_OK && samplesWritten != nullptr) *samplesWritten = 1;
  return result;
}

}  // namespace orvenna::avi
