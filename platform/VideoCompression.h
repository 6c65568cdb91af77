#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/Result.h"
#include "platform/Shell.h"

namespace orvenna {

// Answers of a compressor.
constexpr long ICERR_OK = 0;
constexpr long ICERR_UNSUPPORTED = -1;
constexpr long ICERR_BADFORMAT = -2;
constexpr long ICERR_INTERNAL = -100;

// Messages a compressor answers.
constexpr std::uint32_t ICM_COMPRESS_QUERY = 0x4006;
constexpr std::uint32_t ICM_CONFIGURE = 0x500A;
constexpr std::uint32_t ICM_ABOUT = 0x500B;

// Open modes.
constexpr unsigned ICMODE_COMPRESS = 1;
constexpr unsigned ICMODE_QUERY = 4;

constexpr std::uint32_t ICTYPE_VIDEO = FourCC('v', 'i', 'd', 'c');

// The compressor information record, 568 bytes.
struct ICINFO {
  std::uint32_t dwSize = sizeof(ICINFO);
  std::uint32_t fccType = 0;
  std::uint32_t fccHandler = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwVersion = 0;
  std::uint32_t dwVersionICM = 0;
  char16_t szName[16] = {};
  char16_t szDescription[128] = {};
  char16_t szDriver[128] = {};
};
static_assert(sizeof(ICINFO) == 568);

// An open compressor instance. Not shared between threads.
class VideoCompressor {
 public:
  virtual ~VideoCompressor() = default;

  // Does the compressor accept frames of this format (header, then the colour table at
  // 8 bits per pixel)? ICERR_OK when it does.
  virtual long CompressQuery(const BitmapInfoHeader& input) = 0;
  // ICERR_OK when the compressor has an about box / a configuration dialog.
  virtual long QueryAbout() = 0;
  virtual long QueryConfigure() = 0;
  // Shows the dialog modally, owned by `parent`.
  virtual long About(WindowHandle parent) = 0;
  virtual long Configure(WindowHandle parent) = 0;
  virtual ICINFO GetInfo() = 0;
};

// Settings handed to an encoder when a recording starts.
struct EncoderSettings {
  std::uint32_t quality = 0;        // 0..10000
  std::uint32_t keyFrameEvery = 0;  // 0: the encoder's own choice
  // The frames a second the stream plays at, as rate / scale; encoders that keep their own
  // timing (H.264) declare it.
  std::uint32_t rate = 30;
  std::uint32_t scale = 1;
};

// One encoded frame.
struct EncodedFrame {
  std::vector<std::uint8_t> data;
  bool keyFrame = false;
};

// What FrameEncoder::Finish hands out.
enum class FinishResult { kPacket, kDone, kFailed };

// The most frames an encoder holds back before it hands their packets out.
constexpr unsigned kMaxHeldFrames = 8;

// A picture as it lies in memory, of the size of an encoder's input format: pixels of blue,
// green, red (3 bytes) or blue, green, red, spare (4 bytes); `top` points at the top row and
// `stride` goes one row down (negative for bottom-up rows).
struct PictureRows {
  const std::uint8_t* top = nullptr;
  std::ptrdiff_t stride = 0;
  int bytesPerPixel = 0;
};

// A frame made ready for an encoder in the encoder's own pixel format (by FrameEncoder::Stage).
class StagedFrame {
 public:
  virtual ~StagedFrame() = default;
};

// Encodes frames of one format into one packet each, in order. Not shared between threads,
// except Stage.
class FrameEncoder {
 public:
  virtual ~FrameEncoder() = default;
  // The stream format of the output: a bitmap information header naming the codec, followed
  // by the codec's extra data.
  virtual const std::vector<std::uint8_t>& OutputFormat() const = 0;
  // Encodes the pixel area of one frame of the input format; a failure says why.
  // An encoder that works on several frames at once may leave `out.data` empty: the packet
  // of this frame then comes out of a later call, packets staying in the order of frames.
  virtual Result Encode(const std::uint8_t* pixels, std::size_t size, EncodedFrame& out) = 0;

  // Whether the encoder converts pictures into its own pixel format apart from encoding them:
  // Stage, on any one thread while earlier frames are being encoded, then EncodeStaged on
  // the encoding thread, in the order of the frames. This spares the packed frame and its
  // copy, and the caller's thread shares the work.
  virtual bool Stages() const { return false; }
  // Null when no memory could be had.
  virtual std::unique_ptr<StagedFrame> Stage(const PictureRows&) { return nullptr; }
  // Like Encode, for a frame from Stage.
  virtual Result EncodeStaged(std::unique_ptr<StagedFrame>, EncodedFrame&) {
    return Result::Failed("this encoder takes no staged frames");
  }
  // After the last frame: the next packet still held back (kPacket), none left (kDone), or
  // a failure. No frame may be encoded after it.
  virtual FinishResult Finish(EncodedFrame&) { return FinishResult::kDone; }
};

// The failure of a frame handed to an encoder without pixels, or with fewer bytes than one
// picture of its input format (`wanted`); Ok otherwise.
inline Result CheckFrame(const std::uint8_t* pixels, std::size_t size, std::size_t wanted) {
  if (pixels && size >= wanted) return Result::Ok();
  return Result::Failed("a frame of " + std::to_string(pixels ? size : 0) +
                        " bytes is shorter than the " + std::to_string(wanted) +
                        " bytes of a picture");
}

// The installed video compressors, enumerated by index. Any thread.
class VideoCompressionManager {
 public:
  virtual ~VideoCompressionManager() = default;
  // Fills `info` with the type and handler of the compressor of type `fccType` at `index`;
  // false when there is none.
  virtual bool Info(std::uint32_t fccType, int index, ICINFO& info) = 0;
  // Null when no compressor of that type and handler exists or it cannot be opened.
  virtual std::unique_ptr<VideoCompressor> Open(std::uint32_t fccType, std::uint32_t fccHandler,
                                                unsigned mode) = 0;
  // An encoder for frames of `inputFormat` (a bitmap information header, then the colour
  // table at 8 bits per pixel); null when the compressor refuses them.
  virtual std::unique_ptr<FrameEncoder> NewEncoder(std::uint32_t fccHandler,
                                                   const std::vector<std::uint8_t>& inputFormat,
                                                   const EncoderSettings& settings) = 0;
  // The version of the video library; its high word holds the major version in its high
  // byte and the minor version in its low byte (0x010A0000 is version 1.10).
  virtual std::uint32_t Version() const = 0;
};

}  // namespace orvenna
