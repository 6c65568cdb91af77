// The handle operations of the AVI file library: opening, creating and getting streams,
// reading their header and format, writing, and releasing.

#include <algorithm>
#include <cstring>

#include "platform/avi/Avi.h"
#include "platform/avi/CompressedStream.h"
#include "platform/avi/Handles.h"

namespace orvenna {
namespace {

// Releases one handle of a written file; when it was the last, the file is completed and the
// result of completing it returned.
AviResult ReleaseTarget(std::shared_ptr<avi::WriteTarget> target) {
  if (!target || target.use_count() > 1) return AVIERR_OK;
  return target->Finish();
}

}  // namespace

// The library keeps no process-wide state: every handle carries what it needs.
void AVIFileInit() {}
void AVIFileExit() {}

AviResult AVIFileOpen(PAVIFILE& file, Files& files, const std::string& path, unsigned mode) {
  file.reset();
  if (mode == (OF_WRITE | OF_CREATE)) {
    std::unique_ptr<File> created = files.Open(path, OpenMode::Create);
    if (!created) return AVIERR_FILEOPEN;
    file = std::make_shared<AviFile>(std::make_shared<avi::WriteTarget>(std::move(created)));
    return AVIERR_OK;
  }
  if (mode != OF_READ) return AVIERR_BADFLAGS;
  std::shared_ptr<File> opened = files.Open(path, OpenMode::Read);
  if (!opened) return AVIERR_FILEOPEN;
  avi::StreamSources streams;
  if (const AviResult result = avi::ReadStreams(opened, streams); result != AVIERR_OK) {
    return result;
  }
  file = std::make_shared<AviFile>(std::move(streams));
  return AVIERR_OK;
}

AviResult AVIFileCreateStream(const PAVIFILE& file, PAVISTREAM& stream,
                              const AVISTREAMINFOA& info) {
  stream.reset();
  if (!file) return AVIERR_BADHANDLE;
  if (!file->Target()) return AVIERR_READONLY;
  if (const AviResult result = file->Target()->CreateStream(info); result != AVIERR_OK) {
    return result;
  }
  stream = std::make_shared<avi::RawWriteStream>(file->Target());
  return AVIERR_OK;
}

AviResult AVIFileGetStream(const PAVIFILE& file, PAVISTREAM& stream, std::uint32_t fccType,
                           std::int32_t index) {
  stream.reset();
  if (!file) return AVIERR_BADHANDLE;
  if (index < 0) return AVIERR_BADPARAM;
  std::int32_t seen = 0;
  for (const auto& source : file->Streams()) {
    if (fccType != 0 && source->info.fccType != fccType) continue;
    if (seen++ == index) {
      stream = std::make_shared<avi::ReadStream>(source);
      return AVIERR_OK;
    }
  }
  return AVIERR_NODATA;
}

AviResult AVIMakeCompressedStream(PAVISTREAM& compressed, const PAVISTREAM& source,
                                  const AVICOMPRESSOPTIONS* options,
                                  VideoCompressionManager& codecs) {
  compressed.reset();
  if (!source) return AVIERR_BADHANDLE;
  if (options == nullptr) return AVIERR_BADPARAM;
  if (!source->Target() || source->Info().fccType != streamtypeVIDEO) {
    return AVIERR_UNSUPPORTED;
  }
  const std::uint32_t handler = options->fccHandler;
  if (!avi::CompressedStream::IsUncompressedHandler(handler)) {
    ICINFO info;
    bool installed = false;
    for (int i = 0; !installed && codecs.Info(ICTYPE_VIDEO, i, info); ++i) {
      installed = info.fccHandler == handler;
    }
    if (!installed) return AVIERR_NOCOMPRESSOR;
  }
  EncoderSettings settings;
  settings.quality = options->dwQuality;
  settings.keyFrameEvery =
      (options->dwFlags & AVICOMPRESSF_KEYFRAMES) != 0 ? options->dwKeyFrameEvery : 0;
  if (source->Info().dwRate > 0 && source->Info().dwScale > 0) {
    settings.rate = source->Info().dwRate;
    settings.scale = source->Info().dwScale;
  }
  compressed = std::make_shared<avi::CompressedStream>(source, handler, settings, codecs);
  return AVIERR_OK;
}

AviResult AVIStreamInfo(const PAVISTREAM& stream, AVISTREAMINFOA& info) {
  if (!stream) return AVIERR_BADHANDLE;
  info = stream->Info();
  return AVIERR_OK;
}

AviResult AVIStreamReadFormat(const PAVISTREAM& stream, std::int32_t pos, void* format,
                              std::int32_t* formatSize) {
  if (!stream) return AVIERR_BADHANDLE;
  if (formatSize == nullptr || pos < 0) return AVIERR_BADPARAM;
  const std::vector<std::uint8_t> bytes = stream->Format();
  const auto size = static_cast<std::int32_t>(bytes.size());
  if (format != nullptr) {
    if (*formatSize < size) return AVIERR_BUFFERTOOSMALL;
    std::memcpy(format, bytes.data(), bytes.size());
  }
  *formatSize = size;
  return AVIERR_OK;
}

AviResult AVIStreamSetFormat(const PAVISTREAM& stream, std::int32_t pos, const void* format,
                             std::int32_t formatSize) {
  if (!stream) return AVIERR_BADHANDLE;
  return stream->SetFormat(pos, format, formatSize);
}

AviResult AVIStreamWrite(const PAVISTREAM& stream, std::int32_t start, std::int32_t samples,
                         const void* buffer, std::int32_t bufferSize, std::uint32_t flags,
                         std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
  if (!stream) return AVIERR_BADHANDLE;
  return stream->Write(start, samples, buffer, bufferSize, flags, samplesWritten, bytesWritten);
}

bool AVIStreamTakesPictures(const PAVISTREAM& stream) {
  return stream && stream->TakesPictures();
}

AviResult AVIStreamWritePicture(const PAVISTREAM& stream, std::int32_t start,
                                const PictureRows& picture) {
  if (!stream) return AVIERR_BADHANDLE;
  return stream->WritePicture(start, picture);
}

AviResult AVIStreamRelease(PAVISTREAM& stream) {
  if (!stream) return AVIERR_BADHANDLE;
  // Frames still being encoded are stored first, and a failure among them is this call's.
  const AviResult flushed = stream.use_count() == 1 ? stream->Finish() : AVIERR_OK;
  std::shared_ptr<avi::WriteTarget> target = stream->Target();
  stream.reset();
  const AviResult released = ReleaseTarget(std::move(target));
  return flushed != AVIERR_OK ? flushed : released;
}

AviResult AVIFileRelease(PAVIFILE& file) {
  if (!file) return AVIERR_BADHANDLE;
  std::shared_ptr<avi::WriteTarget> target = file->Target();
  file.reset();
  return ReleaseTarget(std::move(target));
}

AviResult AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options) {
  // Options never own memory of the library's: there is nothing to free.
  if (count < 0 || (count > 0 && options == nullptr)) return AVIERR_BADPARAM;
  return AVIERR_OK;
}

}  // namespace orvenna
