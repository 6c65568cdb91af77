#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/Bitmap.h"
#include "platform/VideoCompression.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace orvenna {

// The libavutil pixel format of a packed frame's pixels at 8 (palette), 16 (5-5-5),
// 24 (blue, green, red) or 32 (blue, green, red, spare) bits; AV_PIX_FMT_NONE otherwise.
AVPixelFormat DibPixelFormat(int bitsPerPixel);

// Whether `input` describes packed frames: uncompressed, bottom-up, at one of those depths,
// of a size libavutil considers sane.
bool IsPackedFrameFormat(const BitmapInfoHeader& input);
// Ok for packed frames, else a failure naming the format.
Result PackedFrameFormat(const BitmapInfoHeader& input);

// Converts the bottom-up pixel area of packed frames of one size and depth into frames of an
// encoder's pixel format: a row-flipping copy when the formats agree, libswscale otherwise;
// and pictures of 24 or 32-bit pixels (ConvertPicture) by loops of its own.
// RGB to YUV uses the BT.601 matrix, in studio range or, when asked, full range; 4:2:0
// chroma is the mean of each 2 x 2 block. Palette colours convert exactly, and 5-bit
// channels widen by repeating their top bits (5-5-5 white stays white).
// Keeps its scalers and buffers between frames. One thread at a time.
class DibFrameConverter {
 public:
  DibFrameConverter() = default;
  ~DibFrameConverter();
  DibFrameConverter(const DibFrameConverter&) = delete;
  DibFrameConverter& operator=(const DibFrameConverter&) = delete;

  // Whether frames at `bitsPerPixel` can be converted into `target`.
  static bool CanConvert(int bitsPerPixel, AVPixelFormat target);

  // Prepares conversion of `width` x `height` frames at `bitsPerPixel` (with `colours` at 8
  // bits) into `target`. False when libswscale cannot do it.
  bool Setup(int width, int height, int bitsPerPixel, std::span<const RgbQuad> colours,
             AVPixelFormat target, bool fullRangeYuv);

  // Bytes of the pixel area of one input frame.
  std::size_t InputBytes() const { return rowBytes_ * static_cast<std::size_t>(height_); }

  // Converts one frame's pixels (InputBytes() of them) into `frame`, which has the target
  // format and size and writable buffers.
  void Convert(const std::uint8_t* pixels, AVFrame& frame);

  // Whether ConvertPicture can be used: 24 or 32-bit frames into 4:2:0 or a layout of RGB.
  bool ConvertsPictures() const;
  // Converts a picture of the frames' size into `frame` like Convert. Uses nothing that
  // changes, so one thread may do this while another converts with Convert.
  void ConvertPicture(const PictureRows& picture, AVFrame& frame) const;

 private:
  void Reset();

  int width_ = 0;
  int height_ = 0;
  std::size_t rowBytes_ = 0;
  AVPixelFormat source_ = AV_PIX_FMT_NONE;
  AVPixelFormat target_ = AV_PIX_FMT_NONE;
  std::array<std::uint32_t, 256> palette_{};  // 0xAARRGGBB, opaque
  // Palette and 5-5-5 pixels widened to 32 bits first, for targets libswscale would not
  // reach exactly from them.
  SwsContext* widener_ = nullptr;
  std::vector<std::uint8_t> widened_;
  SwsContext* scaler_ = nullptr;  // null when the formats agree or for 4:2:0 targets
  bool toYuv420_ = false;         // 4:2:0 targets are converted by ConvertToYuv420
  bool fullRangeYuv_ = false;
};

}  // namespace orvenna
