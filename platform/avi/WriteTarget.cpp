#include "platform/avi/WriteTarget.h"

namespace orvenna::avi {
namespace {

// The largest run of skipped positions one write may leave: about a day at 50 frames a second.
// Further would only fill the disk and the index with empty chunks.
constexpr std::int64_t kMaxSkippedPositions = 1 << 22;

}  // namespace

WriteTarget::WriteTarget(std::unique_ptr<File> file) : file_(std::move(file)) {}

WriteTarget::~WriteTarget() {
  Finish();
}

AviResult WriteTarget::CreateStream(const AVISTREAMINFOA& info) {
  if (info_ || info.fccType != streamtypeVIDEO) return AVIERR_UNSUPPORTED;
  if (info.dwScale == 0 || info.dwRate == 0) return AVIERR_BADPARAM;
  info_ = info;
  next_ = info.dwStart;
  return AVIERR_OK;
}

AVISTREAMINFOA WriteTarget::Info() const {
  AVISTREAMINFOA info = *info_;
  info.dwLength = muxer_ ? muxer_->Length(0) : 0;
  return info;
}

AviResult WriteTarget::SetFormat(std::vector<std::uint8_t> format) {
  if (muxer_) return AVIERR_UNSUPPORTED;
  format_ = std::move(format);
  return AVIERR_OK;
}

AviResult WriteTarget::AcceptsAfter(std::int64_t position, std::int64_t next) {
  return position >= next && position - next <= kMaxSkippedPositions ? AVIERR_OK : AVIERR_BADPARAM;
}

AviResult WriteTarget::WriteSample(std::int64_t position, const void* data, std::uint32_t size,
                                   bool keyFrame) {
  if (format_.empty()) return AVIERR_BADFORMAT;
  if (const AviResult result = Accepts(position); result != AVIERR_OK) return result;
  if (size > kMaxChunkSize) return AVIERR_BADSIZE;
  AviMuxer& muxer = Muxer();
  const auto skipped = static_cast<std::uint32_t>(position - next_);
  if ((skipped > 0 && !muxer.WriteEmptyChunks(0, skipped)) ||
      !muxer.WriteChunk(0, data, size, keyFrame)) {
    return WriteFailure();
  }
  next_ = position + 1;
  return AVIERR_OK;
}

AviResult WriteTarget::WriteFailure() const {
  return file_->RanOutOfRoom() ? AVIERR_DISKFULL : AVIERR_FILEWRITE;
}

AviMuxer& WriteTarget::Muxer() {
  // Created with the first sample, which fixes the format.
  if (!muxer_) {
    muxer_ = std::make_unique<AviMuxer>(*file_, std::vector{MuxStreamSetup{*info_, format_}});
  }
  return *muxer_;
}

AviResult WriteTarget::Finish() {
  if (finished_) return *finished_;
  finished_ = AVIERR_OK;
  if (!info_ || format_.empty()) return *finished_;
  if (!Muxer().Finish()) finished_ = WriteFailure();
  return *finished_;
}

}  // namespace orvenna::avi
