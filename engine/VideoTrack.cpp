#include "engine/VideoTrack.h"

#include <algorithm>
#include <utility>

#include "engine/Vistrel.h"

namespace orvenna {

VideoTrack::VideoTrack(TVistrel& engine, const VideoStreamSetup& setup, PackedFrame sample)
    : engine_(engine),
      setup_(setup),
      sample_(std::move(sample)),
      temp_(engine.platform_.files, Process().VideoTempFile, "what was recorded") {}

VideoTrack::~VideoTrack() {
  Release();
  if (temp_.Rescued()) engine_.DeleteTempFile(temp_.Path());
}

bool VideoTrack::Start() {
  if (!engine_.DeleteTempFile(temp_.Path())) {
    engine_.RaiseError("Can not delete video temp file.");
    sample_.Reset();
    return false;
  }
  const bool created = CreateFile();
  sample_.Reset();
  if (created) temp_.Start();
  return created;
}

// Creates the temporary video file with one compressing video stream whose format is the
// sample frame's; raises the failing step's message.
bool VideoTrack::CreateFile() {
  Platform& platform = engine_.platform_;
  if (AVIFileOpen(file_, platform.files, temp_.Path(), OF_WRITE | OF_CREATE) != AVIERR_OK) {
    file_.reset();
    const std::string cause = platform.files.WriteProblem(temp_.Path());
    engine_.RaiseError("Error on create AVI file. " + temp_.Path() +
                       (cause.empty() ? "" : ": " + cause) + ".");
    fileNotMade_ = true;
    return false;
  }

  const BitmapInfoHeader& header = sample_.Header();
  width_ = header.width;
  height_ = header.height;
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
  const AviResult result = AVIStreamWrite(compressed_, position, 1, frame.Pixels(),
                                          static_cast<std::int32_t>(frame.Header().sizeImage),
                                          AVIIF_KEYFRAME, nullptr, nullptr);
  if (result == AVIERR_DISKFULL) outOfRoom_ = true;
  return result == AVIERR_OK;
}

bool VideoTrack::TakesPicture(const ImageView& image) const {
  return image.width == width_ && image.height == height_ && AVIStreamTakesPictures(compressed_);
}

bool VideoTrack::WritePicture(const ImageView& image, int position) {
  const AviResult result =
      AVIStreamWritePicture(compressed_, position, PictureRows{image.pixels, image.stride, 4});
  if (result == AVIERR_DISKFULL) outOfRoom_ = true;
  return result == AVIERR_OK;
}

void VideoTrack::NoteResult(AviResult result) {
  if (result == AVIERR_DISKFULL) outOfRoom_ = true;
  releasedWhole_ &= result == AVIERR_OK;
}

Result VideoTrack::Finish() {
  Release();
  const Result rescued = temp_.Rescue();
  if (!rescued) return rescued;
  if (!temp_.Note().empty()) engine_.RaiseError(temp_.Note());
  // A full disk leaves the file cut short, which the assembly reads as it is.
  if (releasedWhole_ || outOfRoom_) return Result::Ok();
  // The disk refused the last data or the index.
  return Result::Failed("Error on write data to AVI stream.");
}

std::int64_t VideoTrack::KeptMilliseconds() {
  PAVIFILE file;
  PAVISTREAM stream;
  AVISTREAMINFOA info;
  if (AVIFileOpen(file, engine_.platform_.files, temp_.Path(), OF_READ) != AVIERR_OK) return 0;
  const bool read = AVIFileGetStream(file, stream, streamtypeVIDEO, 0) == AVIERR_OK &&
                    AVIStreamInfo(stream, info) == AVIERR_OK && info.dwRate > 0;
  AVIFileRelease(file);
  if (!read) return 0;
  return static_cast<std::int64_t>(info.dwLength) * info.dwScale * 1000 / info.dwRate;
}

// Releases what was obtained, in the order the handles must go. The compressed stream goes
// last of the streams: releasing it finishes the file, and a failure then is a failed write.
void VideoTrack::Release() {
  if (released_) return;
  released_ = true;
  if (preparedOptions_) AVISaveOptionsFree(1, &preparedOptions_);
  preparedOptions_ = nullptr;
  if (raw_) NoteResult(AVIStreamRelease(raw_));
  if (compressed_) NoteResult(AVIStreamRelease(compressed_));
  if (file_) NoteResult(AVIFileRelease(file_));
}

}  // namespace orvenna
