#include "engine/VideoTrack.h"

#include <algorithm>
#include <utility>

#include "engine/ProcessState.h"
#include "engine/SessionContext.h"
#include "platform/ThreadRole.h"

namespace orvenna {

namespace {

const char* const kWriteFailed = "Error on write data to AVI stream.";

}  // namespace

VideoTrack::VideoTrack(const Platform& platform, SessionSink& sink, const VideoStreamSetup& setup,
                       PackedFrame sample)
    : platform_(platform),
      sink_(sink),
      setup_(setup),
      sample_(std::move(sample)),
      temp_(platform.files, Process().VideoTempFile, "what was recorded") {}

VideoTrack::~VideoTrack() {
  Release();
  if (temp_.Rescued()) sink_.DeleteTempFile(temp_.Path());
}

Result VideoTrack::Start() {
  ORVENNA_CHECK_THREAD(Recording, "VideoTrack::Start");
  if (!sink_.DeleteTempFile(temp_.Path())) {
    sample_.Reset();
    return Result::Failed("Can not delete video temp file.");
  }
  Result created = CreateFile();
  sample_.Reset();
  if (created) temp_.Start();
  return created;
}

// Creates the temporary video file with one compressing video stream whose format is the
// sample frame's; a failure carries the failing step's message.
Result VideoTrack::CreateFile() {
  const Platform& platform = platform_;
  if (AVIFileOpen(file_, platform.files, temp_.Path(), OF_WRITE | OF_CREATE) != AVIERR_OK) {
    file_.reset();
    const std::string cause = platform.files.WriteProblem(temp_.Path());
    fileNotMade_ = true;
    return Result::Failed("Error on create AVI file. " + temp_.Path() +
                          (cause.empty() ? "" : ": " + cause) + ".");
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
    return Result::Failed("Error on create AVI stream.");
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
    return Result::Failed("Error on compress AVI stream.");
  }

  if (AVIStreamSetFormat(compressed_, 0, sample_.Data(),
                         static_cast<std::int32_t>(sample_.FormatSize())) != AVIERR_OK) {
    return Result::Failed("Error on set AVI stream format.");
  }
  return Result::Ok();
}

Result VideoTrack::Write(const PackedFrame& frame, int position) {
  ORVENNA_CHECK_THREAD(Recording, "VideoTrack::Write");
  return Written(AVIStreamWrite(compressed_, position, 1, frame.Pixels(),
                                static_cast<std::int32_t>(frame.Header().sizeImage), AVIIF_KEYFRAME,
                                nullptr, nullptr));
}

Result VideoTrack::Written(AviResult result) {
  if (result == AVIERR_OK) return Result::Ok();
  if (result != AVIERR_DISKFULL) return Result::Failed(kWriteFailed);
  outOfRoom_ = true;
  return Result::Failed(kWriteFailed, FailureKind::OutOfRoom);
}

bool VideoTrack::TakesPicture(const ImageView& image) const {
  return image.width == width_ && image.height == height_ && AVIStreamTakesPictures(compressed_);
}

Result VideoTrack::WritePicture(const ImageView& image, int position) {
  ORVENNA_CHECK_THREAD(Recording, "VideoTrack::WritePicture");
  return Written(
      AVIStreamWritePicture(compressed_, position, PictureRows{image.pixels, image.stride, 4}));
}

void VideoTrack::NoteResult(AviResult result) {
  if (result == AVIERR_DISKFULL) outOfRoom_ = true;
  releasedWhole_ &= result == AVIERR_OK;
}

Result VideoTrack::Finish() {
  ORVENNA_CHECK_THREAD(Recording, "VideoTrack::Finish");
  Release();
  const Result rescued = temp_.Rescue();
  if (!rescued) return rescued;
  if (!temp_.Note().empty()) notices_.push_back(temp_.Note());
  // A full disk leaves the file cut short, which the assembly reads as it is.
  if (releasedWhole_ || outOfRoom_) return Result::Ok();
  // The disk refused the last data or the index.
  return Result::Failed(kWriteFailed);
}

std::vector<std::string> VideoTrack::TakeNotices() {
  return std::exchange(notices_, {});
}

std::int64_t VideoTrack::KeptMilliseconds() {
  PAVIFILE file;
  PAVISTREAM stream;
  AVISTREAMINFOA info;
  if (AVIFileOpen(file, platform_.files, temp_.Path(), OF_READ) != AVIERR_OK) return 0;
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
