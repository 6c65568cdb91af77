#include <cstring>

#include "engine/Vistrel.h"

namespace orvenna {

// Creates the temporary video file with one compressing video stream whose format is the
// sample frame's. Raises the failing step's message and answers false on failure. The sample
// frame is released once the format is set, whether or not that worked.
bool TVistrel::CreateVideoFile(SessionVideoFile& video, PackedFrame& sample) {
  ProcessState& process = Process();
  if (AVIFileOpen(video.file, platform_.files, process.VideoTempFile, OF_WRITE | OF_CREATE) !=
      AVIERR_OK) {
    video.file.reset();
    RaiseError("Error on create AVI file.");
    FreeDIB(sample);
    return false;
  }

  const BitmapInfoHeader& header = sample.Header();
  AVISTREAMINFOA info;
  info.fccType = streamtypeVIDEO;
  info.fccHandler = CompressorFcc();
  info.dwFlags = 12;
  info.dwScale = 1;
  info.dwRate = static_cast<std::uint32_t>(FPSPlayBack());
  info.dwSuggestedBufferSize = header.sizeImage;
  info.rcFrameRight = header.width;
  info.rcFrameBottom = header.height;
  const int selected = SelectedCompressor();
  if (selected >= 0 && selected < compressorCount_) {
    // The short name, one byte per UTF-16 unit.
    const ICINFO& entry = compressorTable_[selected];
    for (int i = 0; i < 16; ++i) info.szName[i] = static_cast<char>(entry.szName[i] & 0xFF);
  }
  if (AVIFileCreateStream(video.file, video.raw, info) != AVIERR_OK) {
    video.raw.reset();
    RaiseError("Error on create AVI stream.");
    FreeDIB(sample);
    return false;
  }

  video.options = AVICOMPRESSOPTIONS{};
  video.options.fccType = streamtypeVIDEO;
  video.options.fccHandler = CompressorFcc();
  video.options.dwKeyFrameEvery = static_cast<std::uint32_t>(KeyFramesEvery());
  video.options.dwQuality = static_cast<std::uint32_t>(CompressionQuality());
  video.options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
  video.preparedOptions = &video.options;
  if (AVIMakeCompressedStream(video.compressed, video.raw, video.preparedOptions,
                              platform_.codecs) != AVIERR_OK) {
    video.compressed.reset();
    RaiseError("Error on compress AVI stream.");
    FreeDIB(sample);
    return false;
  }

  const AviResult formatResult = AVIStreamSetFormat(video.compressed, 0, sample.Data(),
                                                    static_cast<std::int32_t>(sample.FormatSize()));
  FreeDIB(sample);
  if (formatResult != AVIERR_OK) {
    RaiseError("Error on set AVI stream format.");
    return false;
  }
  return true;
}

bool TVistrel::WriteVideoFrame(SessionVideoFile& video, const PackedFrame& frame, int position) {
  return AVIStreamWrite(video.compressed, position, 1, frame.Pixels(),
                        static_cast<std::int32_t>(frame.Header().sizeImage), AVIIF_KEYFRAME,
                        nullptr, nullptr) == AVIERR_OK;
}

// Releases what was obtained, in the order the handles must go. The compressed stream goes
// last of the streams: releasing it finishes the file, and a failure then is a failed write.
bool TVistrel::ReleaseVideoFile(SessionVideoFile& video) {
  if (video.preparedOptions) AVISaveOptionsFree(1, &video.preparedOptions);
  video.preparedOptions = nullptr;
  bool written = true;
  if (video.raw) written &= AVIStreamRelease(video.raw) == AVIERR_OK;
  if (video.compressed) written &= AVIStreamRelease(video.compressed) == AVIERR_OK;
  if (video.file) written &= AVIFileRelease(video.file) == AVIERR_OK;
  return written;
}

}  // namespace orvenna
