#include "platform/avi/CompressedStream.h"

#include "platform/Log.h"
#include "platform/ThreadRole.h"
#include "platform/avi/AviFormat.h"
#include "platform/avi/DibFormat.h"
#include "platform/avi/RiffReader.h"

namespace orvenna::avi {

CompressedStream::CompressedStream(PAVISTREAM raw, std::uint32_t handler,
                                   const EncoderSettings& settings, VideoCompressionManager& codecs)
    : raw_(std::move(raw)), handler_(handler), settings_(settings), codecs_(codecs) {}

AVISTREAMINFOA CompressedStream::Info() const {
  if (pipeline_) pipeline_->Drain();
  return raw_->Info();
}

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
    if (!encoder) {
      Log(LogLevel::Error, "compressed stream",
          "the compressor " + FourCCText(handler_) + " did not open for this format");
      return AVIERR_COMPRESSOR;
    }
  }
  const std::vector<std::uint8_t>& output = encoder ? encoder->OutputFormat() : input;
  if (const AviResult result =
          raw_->SetFormat(0, output.data(), static_cast<std::int32_t>(output.size()));
      result != AVIERR_OK) {
    return result;
  }
  pipeline_.reset();  // no frames yet: nothing waits in it
  input_ = std::move(input);
  imageSize_ = imageSize;
  encoder_ = std::move(encoder);
  nextPosition_ = Target()->NextPosition();
  if (encoder_) {
    pipeline_ = std::make_unique<FramePipeline>(
        static_cast<std::size_t>(imageSize_),
        [this](const std::uint8_t* pixels, std::int64_t position) {
          return EncodeAndStore(pixels, position);
        },
        [this](std::unique_ptr<StagedFrame> frame, std::int64_t position) {
          return EncodeStagedAndStore(std::move(frame), position);
        });
  }
  return AVIERR_OK;
}

bool CompressedStream::TakesPictures() const {
  return encoder_ && encoder_->Stages() && LoadPrefix<BitmapInfoHeader>(input_).bitCount >= 24;
}

AviResult CompressedStream::WritePicture(std::int32_t start, const PictureRows& picture) {
  if (!TakesPictures()) return AVIERR_UNSUPPORTED;
  return Queue(start, nullptr, &picture);
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
  if (!encoder_) {
    if (const AviResult result = Target()->Accepts(start); result != AVIERR_OK) return result;
    return raw_->Write(start, 1, buffer, bufferSize, flags | AVIIF_KEYFRAME, samplesWritten,
                       bytesWritten);
  }
  if (const AviResult result = Queue(start, static_cast<const std::uint8_t*>(buffer), nullptr);
      result != AVIERR_OK) {
    return result;
  }
  if (bytesWritten != nullptr) {
    // The caller wants the size of the stored frame: wait for it.
    pipeline_->Drain();
    if (const AviResult result = TakeEarlierFailure(); result != AVIERR_OK) return result;
    *bytesWritten = storedBytes_;
  }
  if (samplesWritten != nullptr) *samplesWritten = 1;
  return AVIERR_OK;
}

AviResult CompressedStream::Queue(std::int32_t start, const std::uint8_t* pixels,
                                  const PictureRows* picture) {
  if (const AviResult result = TakeEarlierFailure(); result != AVIERR_OK) return result;
  // Refused positions must not reach the encoder, whose next frame may depend on this one.
  if (const AviResult result = WriteTarget::AcceptsAfter(start, nextPosition_);
      result != AVIERR_OK) {
    return result;
  }
  if (encoder_->Stages()) {
    const PictureRows rows = picture ? *picture : PackedFrameRows(input_, pixels);
    if (!pipeline_->PushStaged([&] { return encoder_->Stage(rows); }, start)) {
      return AVIERR_MEMORY;
    }
  } else {
    pipeline_->Push(pixels, start);
  }
  nextPosition_ = start + 1;
  return AVIERR_OK;
}

AviResult CompressedStream::Finish() {
  if (!pipeline_) return AVIERR_OK;
  pipeline_->Drain();
  AviResult result = pipeline_->TakeError();
  // The pipeline is idle: its encoder can be used here.
  for (;;) {
    const FinishResult finished = encoder_->Finish(frame_);
    if (finished == FinishResult::kDone) break;
    const AviResult stored =
        finished == FinishResult::kPacket && heldCount_ > 0 ? StoreOldest() : AVIERR_COMPRESSOR;
    if (result == AVIERR_OK) result = stored;
    if (stored != AVIERR_OK) break;
  }
  return result;
}

AviResult CompressedStream::TakeEarlierFailure() {
  const AviResult failure = pipeline_->TakeError();
  if (failure != AVIERR_OK) {
    // The frames queued after the failed one are done first, and their own failures count
    // as this one. The next write goes after the last position the file holds, as it would
    // have without the queue.
    pipeline_->Drain();
    pipeline_->TakeError();
    nextPosition_ = heldCount_ > 0 ? held_[(heldFirst_ + heldCount_ - 1) % held_.size()] + 1
                                   : Target()->NextPosition();
  }
  return failure;
}

AviResult CompressedStream::EncodeAndStore(const std::uint8_t* pixels, std::int64_t position) {
  ORVENNA_CHECK_THREAD(Encode, "CompressedStream::EncodeAndStore");
  if (heldCount_ == held_.size()) return AVIERR_INTERNAL;  // more held back than encoders may
  held_[(heldFirst_ + heldCount_++) % held_.size()] = position;
  return StoreEncoded(encoder_->Encode(pixels, imageSize_, frame_), position);
}

AviResult CompressedStream::EncodeStagedAndStore(std::unique_ptr<StagedFrame> frame,
                                                 std::int64_t position) {
  ORVENNA_CHECK_THREAD(Encode, "CompressedStream::EncodeStagedAndStore");
  if (heldCount_ == held_.size()) return AVIERR_INTERNAL;
  held_[(heldFirst_ + heldCount_++) % held_.size()] = position;
  return StoreEncoded(encoder_->EncodeStaged(std::move(frame), frame_), position);
}

AviResult CompressedStream::StoreEncoded(const Result& encoded, std::int64_t position) {
  if (!encoded) {
    --heldCount_;  // this frame will not come out
    Log(LogLevel::Error, "compressed stream",
        "the compressor " + FourCCText(handler_) + " failed on the frame of position " +
            std::to_string(position) + ": " + encoded.Cause());
    return AVIERR_COMPRESSOR;
  }
  if (frame_.data.empty()) return AVIERR_OK;  // held back: its packet comes out later
  return StoreOldest();
}

AviResult CompressedStream::StoreOldest() {
  const std::int64_t position = held_[heldFirst_];
  heldFirst_ = (heldFirst_ + 1) % held_.size();
  --heldCount_;
  if (frame_.data.size() > kMaxChunkSize) return AVIERR_COMPRESSOR;
  return raw_->Write(static_cast<std::int32_t>(position), 1, frame_.data.data(),
                     static_cast<std::int32_t>(frame_.data.size()),
                     frame_.keyFrame ? AVIIF_KEYFRAME : 0, nullptr, &storedBytes_);
}

}  // namespace orvenna::avi
