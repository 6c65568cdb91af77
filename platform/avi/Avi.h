#pragma once

// The AVI file library: writing a video stream frame by frame through a compressor, reading
// the first stream of an AVI or RIFF WAVE file, and saving such streams into a new AVI file
// without recompressing them.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Bitmap.h"
#include "platform/Files.h"
#include "platform/VideoCompression.h"

namespace orvenna {

using AviResult = std::int32_t;

constexpr AviResult AviError(std::uint32_t code) {
  return static_cast<AviResult>(code);
}

constexpr AviResult AVIERR_OK = 0;
constexpr AviResult REGDB_E_CLASSNOTREG = AviError(0x80040154);
constexpr AviResult AVIERR_UNSUPPORTED = AviError(0x80044065);
constexpr AviResult AVIERR_BADFORMAT = AviError(0x80044066);
constexpr AviResult AVIERR_MEMORY = AviError(0x80044067);
constexpr AviResult AVIERR_INTERNAL = AviError(0x80044068);
constexpr AviResult AVIERR_BADFLAGS = AviError(0x80044069);
constexpr AviResult AVIERR_BADPARAM = AviError(0x8004406A);
constexpr AviResult AVIERR_BADSIZE = AviError(0x8004406B);
constexpr AviResult AVIERR_BADHANDLE = AviError(0x8004406C);
constexpr AviResult AVIERR_FILEREAD = AviError(0x8004406D);
constexpr AviResult AVIERR_FILEWRITE = AviError(0x8004406E);
constexpr AviResult AVIERR_FILEOPEN = AviError(0x8004406F);
constexpr AviResult AVIERR_COMPRESSOR = AviError(0x80044070);
constexpr AviResult AVIERR_NOCOMPRESSOR = AviError(0x80044071);
constexpr AviResult AVIERR_READONLY = AviError(0x80044072);
constexpr AviResult AVIERR_NODATA = AviError(0x80044073);
constexpr AviResult AVIERR_BUFFERTOOSMALL = AviError(0x80044074);
constexpr AviResult AVIERR_CANTCOMPRESS = AviError(0x80044075);
constexpr AviResult AVIERR_USERABORT = AviError(0x800440C6);
constexpr AviResult AVIERR_ERROR = AviError(0x800440C7);
// Our own: a write failed for want of room (a full disk, the user's quota, the largest file the
// process may write). Everything else about it is as AVIERR_FILEWRITE.
constexpr AviResult AVIERR_DISKFULL = AviError(0x800440D0);

// Open modes of AVIFileOpen.
constexpr unsigned OF_READ = 0x0000;
constexpr unsigned OF_WRITE = 0x0001;
constexpr unsigned OF_CREATE = 0x1000;

constexpr std::uint32_t streamtypeVIDEO = FourCC('v', 'i', 'd', 's');
constexpr std::uint32_t streamtypeAUDIO = FourCC('a', 'u', 'd', 's');

constexpr std::uint32_t AVIIF_KEYFRAME = 0x10;

// Flags of AVICOMPRESSOPTIONS.
constexpr std::uint32_t AVICOMPRESSF_KEYFRAMES = 0x4;
constexpr std::uint32_t AVICOMPRESSF_VALID = 0x8;

// The stream header, 140 bytes, as it is handed to AVIFileCreateStream.
struct AVISTREAMINFOA {
  std::uint32_t fccType = 0;
  std::uint32_t fccHandler = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwCaps = 0;
  std::uint16_t wPriority = 0;
  std::uint16_t wLanguage = 0;
  std::uint32_t dwScale = 0;
  std::uint32_t dwRate = 0;
  std::uint32_t dwStart = 0;
  std::uint32_t dwLength = 0;
  std::uint32_t dwInitialFrames = 0;
  std::uint32_t dwSuggestedBufferSize = 0;
  std::uint32_t dwQuality = 0;
  std::uint32_t dwSampleSize = 0;
  std::int32_t rcFrameLeft = 0;
  std::int32_t rcFrameTop = 0;
  std::int32_t rcFrameRight = 0;
  std::int32_t rcFrameBottom = 0;
  std::uint32_t dwEditCount = 0;
  std::uint32_t dwFormatChangeCount = 0;
  char szName[64] = {};
};
static_assert(sizeof(AVISTREAMINFOA) == 140);

// Compression options of a compressing stream.
struct AVICOMPRESSOPTIONS {
  std::uint32_t fccType = 0;
  std::uint32_t fccHandler = 0;
  std::uint32_t dwKeyFrameEvery = 0;
  std::uint32_t dwQuality = 0;
  std::uint32_t dwBytesPerSecond = 0;
  std::uint32_t dwFlags = 0;
  void* lpFormat = nullptr;
  std::uint32_t cbFormat = 0;
  void* lpParms = nullptr;
  std::uint32_t cbParms = 0;
  std::uint32_t dwInterleaveEvery = 0;
};

class AviFile;
class AviStream;
// Handles share ownership: a stream stays valid after its file handle is released. The handles
// of one file are used by one thread at a time; different files may be used on different
// threads.
using PAVIFILE = std::shared_ptr<AviFile>;
using PAVISTREAM = std::shared_ptr<AviStream>;

// Progress of AVISaveV: percent 0..100; a non-zero answer stops the save.
using AVISAVECALLBACK = std::function<std::int32_t(int percent)>;

void AVIFileInit();
void AVIFileExit();

// Opens `path` with OF_READ, or OF_WRITE | OF_CREATE to create a new AVI file. All file access
// goes through `files`.
AviResult AVIFileOpen(PAVIFILE& file, Files& files, const std::string& path, unsigned mode);
// Creates a stream in a file opened for writing.
AviResult AVIFileCreateStream(const PAVIFILE& file, PAVISTREAM& stream, const AVISTREAMINFOA& info);
// Gets the stream of type `fccType` (0: any) at `index` of a file opened for reading.
AviResult AVIFileGetStream(const PAVIFILE& file, PAVISTREAM& stream, std::uint32_t fccType,
                           std::int32_t index);
// Wraps a raw video stream in one that compresses every written frame with the compressor
// named by the options, found through `codecs`.
AviResult AVIMakeCompressedStream(PAVISTREAM& compressed, const PAVISTREAM& source,
                                  const AVICOMPRESSOPTIONS* options,
                                  VideoCompressionManager& codecs);
// Fills `info` with the stream's header; dwLength is the number of positions (video) or blocks
// (audio) the stream holds.
AviResult AVIStreamInfo(const PAVISTREAM& stream, AVISTREAMINFOA& info);
// Copies the stream's format to `format` and sets `*formatSize` to its size; with a null
// `format` only the size is given. AVIERR_BUFFERTOOSMALL when `*formatSize` is too small.
AviResult AVIStreamReadFormat(const PAVISTREAM& stream, std::int32_t pos, void* format,
                              std::int32_t* formatSize);
// Sets the format at position `pos` (0): for video a bitmap information header, with the
// colour table at 8 bits per pixel.
AviResult AVIStreamSetFormat(const PAVISTREAM& stream, std::int32_t pos, const void* format,
                             std::int32_t formatSize);
// Writes `samples` samples at position `start`. Positions skipped stay empty.
AviResult AVIStreamWrite(const PAVISTREAM& stream, std::int32_t start, std::int32_t samples,
                         const void* buffer, std::int32_t bufferSize, std::uint32_t flags,
                         std::int32_t* samplesWritten, std::int32_t* bytesWritten);
// Whether the compressing stream takes frames as pictures of 32-bit pixels (AVIStreamWritePicture):
// its compressor converts them into its own format itself, and the stream's format holds 24
// or 32 bits per pixel, so no colour is lost by skipping the packed frame.
bool AVIStreamTakesPictures(const PAVISTREAM& stream);
// Writes one frame at position `start` from a picture of the stream format's size, as
// AVIStreamWrite writes a packed frame holding the same pixels; AVIERR_UNSUPPORTED for a stream
// that does not take pictures. The picture may be reused when the call returns.
AviResult AVIStreamWritePicture(const PAVISTREAM& stream, std::int32_t start,
                                const PictureRows& picture);
// Releasing the last handle of a written file completes it on disk; the result of
// completing it (AVIERR_FILEWRITE when the disk refuses, AVIERR_DISKFULL when it is full)
// comes back from the last release.
// Releasing the last handle of a compressing stream first stores the frames it is still
// encoding; a failure among them (AVIERR_COMPRESSOR, AVIERR_FILEWRITE) comes back from that
// release.
AviResult AVIStreamRelease(PAVISTREAM& stream);
AviResult AVIFileRelease(PAVIFILE& file);
AviResult AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options);

// The name prefix of the files that saves are written into before they take their place:
// ".orvenna-save-" and twelve hexadecimal digits.
inline constexpr char kAviSaveFilePrefix[] = ".orvenna-save-";
// A new, empty file for a save under a free name of that kind in `folder` (ending with '/',
// or empty for the working folder), opened exclusively; `path` names it. Null when the folder
// refuses new files.
std::unique_ptr<File> AVICreateSaveFile(Files& files, const std::string& folder, std::string& path);
// Writes what AVISaveV writes into `output` (a new, empty file) and flushes it to the disk;
// the caller puts the file in place (or removes it). AVIERR_DISKFULL when the disk ran out of
// room.
AviResult AVISaveInto(File& output, const AVISAVECALLBACK& callback, int count,
                      PAVISTREAM* streams);
// Writes a new AVI file from `count` streams read from files (a video stream, then an optional
// audio stream; a null video stream saves the audio alone) as they stand, interleaved about
// once per second. `options` are not looked at (nothing is recompressed) and may be null.
// The callback hears 0, then growing percentages, then 100; a non-zero answer stops the save
// with AVIERR_USERABORT, leaving a complete file of what was copied.
// The file is written under a temporary name in the folder of `path` and takes the place of
// whatever stands at `path` only once it is complete and flushed to the disk; a save that
// fails leaves `path` as it was and no temporary file behind.
AviResult AVISaveV(Files& files, const std::string& path, const AVISAVECALLBACK& callback,
                   int count, PAVISTREAM* streams, AVICOMPRESSOPTIONS** options);

}  // namespace orvenna
