#include "engine/VideoTrack.h"

#include "engine/Vistrel.h"

namespace orvenna {

VideoTrack::VideoTrack(TVistrel& engine, const VideoStreamSetup& setup, PackedFrame sample)
    : engine_(engine),
      setup_(setup),
      sample_(std::move(sample)),
      tempFile_(Process().VideoTempFile) {}

VideoTrack::~VideoTrack() {
  Release();
}

bool VideoTrack::Start() {
  if (!engine_.DeleteTempFile(tempFile_)) {
    engine_.RaiseError("Can not delete video temp file.");
    sample_.Reset();
    return false;
  }
  const bool created = CreateFile();
  sample_.Reset();
  return created;
}

// Creates the temporary video file with one compressing video stream whose format is the
// sample frame's; raises the failing step's message.
bool VideoTrack::CreateFile() {
  Platform& platform = engine_.platform_;
  if (AVIFileOpen(file_, platform.files, tempFile_, OF_WRITE | OF_CREATE) != AVIERR_OK) {
    file_.reset();
    engine_.RaiseError("Error on create AVI file.");
    return false;
  }

  const BitmapInfoHeader& header = sample_.Header();
  AVISTREAMINFOA info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = setup_.compressorFcc;
  info.dwFlags = 12;
  info.dwScale = static_cast<std::uint32_t>(setup_.scale);
  info.dwRate = static_cast<std::uint32_t>(setup_.rate);
  info.dwSuggestedBufferSize = header.sizeImage;
  info.rcFrameRight = header.width;
  info.rcFrameBottom = header.height;
  std::copy(std::begin(setup_.shortName), std::end(setup_.shortName), info.szName);
  if (AVIFileCreateStream(file_, raw_, info) != AVIERR_OK) {
    raw_.reset();
    engine_.RaiseError("Error on create AVI stream.");
    return false;
  }

  options_ = AVICOMPRESSOPTIONS{};
  options_.fccType = streamtypeVIDEO;
  options_.fccHandler = setup_.compressorFcc;
  options_.dwKeyFrameEvery = static_cast<std::uint32_t>(setup_.keyFramesEvery);
  options_.dwQuality = static_cast<std::uint32_t>(setup_.compressionQuality);
  options_.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  preparedOptions_ = &options_;
  if (AVIMakeCompressedStream(compressed_, raw_, preparedOptions_, platform.codecs) != AVIERR_OK) {
    compressed_.reset();
    engine_.RaiseError("Error on compress AVI stream.");
    return false;
  }

  if (AVIStreamSetFormat(compressed_, 0, sample_.Data(),
                         static_cast<std::int32_t>(sample_.FormatSize())) != AVIERR_OK) {
    engine_.RaiseError("Error on set AVI stream format.");
    return false;
  }
  return true;
}

bool VideoTrack::Write(const PackedFrame& frame, int position) {
  return AVIStreamWrite(compressed_, position, 1, frame.Pixels(),
                        static_cast<std::int32_t>(frame.Header().sizeImage), AVIIF_KEYFRAME,
                        nullptr, nullptr) == AVIERR_OK;
}

Result VideoTrack::Finish() {
  Release();
  if (releasedWhole_) return Result::Ok();
  // The disk refused the last data or the index.
  return Result::Failed("Error on write data to AVI stream.");
}

// Releases what was obtained, in the order the handles must go. The compressed stream goes
// last of the streams: releasing it finishes the file, and a failure then is a failed write.
void VideoTrack::Release() {
  if (released_) return;
  released_ = true;
  if (preparedOptions_) AVISaveOptionsFree(1, &preparedOptions_);
  preparedOptions_ = nullptr;
  if (raw_) releasedWhole_ &= AVIStreamRelease(raw_) == AVIERR_OK;
  if (compressed_) releasedWhole_ &= AVIStreamRelease(compressed_) == AVIERR_OK;
  if (file_) releasedWhole_ &= AVIFileRelease(file_) == AVIERR_OK;
}

}  // namespace orvenna
