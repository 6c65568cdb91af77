#pragma once

#include <memory>
#include <vector>

#include "platform/VideoCompression.h"
#include "platform/avi/Handles.h"

namespace orvenna::avi {

// A stream that compresses every frame written to it and hands the result to the raw stream
// of a file being written. Its format is the uncompressed input format; the raw stream gets
// the encoder's output format. The uncompressed DIB handler (0 or 'DIB ') stores frames as
// they are. `codecs` must outlive the stream. One thread at a time.
class CompressedStream final : public AviStream {
 public:
  CompressedStream(PAVISTREAM raw, std::uint32_t handler, const EncoderSettings& settings,
                   VideoCompressionManager& codecs);

  AVISTREAMINFOA Info() const override { return raw_->Info(); }
  std::vector<std::uint8_t> Format() const override { return input_; }
  std::shared_ptr<WriteTarget> Target() const override { return raw_->Target(); }
  // AVIERR_BADFORMAT for a format that is not an uncompressed bitmap format, AVIERR_COMPRESSOR
  // when the compressor refuses it, AVIERR_UNSUPPORTED once frames were written.
  AviResult SetFormat(std::int32_t pos, const void* format, std::int32_t formatSize) override;
  // AVIERR_BADFORMAT before the format is set, AVIERR_BADSIZE when the size is not the
  // format's image size, AVIERR_BADPARAM for a position before the last one written,
  // AVIERR_COMPRESSOR when encoding fails, AVIERR_FILEWRITE when the file refuses.
  AviResult Write(std::int32_t start, std::int32_t samples, const void* buffer,
                  std::int32_t bufferSize, std::uint32_t flags, std::int32_t* samplesWritten,
                  std::int32_t* bytesWritten) override;

  static bool IsUncompressedHandler(std::uint32_t handler);

 private:
  PAVISTREAM raw_;
  std::uint32_t handler_;
  EncoderSettings settings_;
  VideoCompressionManager& codecs_;
  std::vector<std::uint8_t> input_;
  std::uint64_t imageSize_ = 0;
  std::unique_ptr<FrameEncoder> encoder_;
  EncodedFrame frame_;
};

}  // namespace orvenna::avi
