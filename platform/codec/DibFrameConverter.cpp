#include "platform/codec/DibFrameConverter.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "platform/codec/RgbLayout.h"
#include "platform/codec/Yuv420.h"

namespace orvenna {
namespace {

constexpr int kScaleFlags = SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP;

bool IsPackedRgb(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) &&
         !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR);
}

}  // namespace

AVPixelFormat DibPixelFormat(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
      return AV_PIX_FMT_PAL8;
    case 16:
      return AV_PIX_FMT_RGB555LE;
    case 24:
      return AV_PIX_FMT_BGR24;
    case 32:
      return AV_PIX_FMT_BGR0;
    default:
      return AV_PIX_FMT_NONE;
  }
}

bool IsPackedFrameFormat(const BitmapInfoHeader& input) {
  return input.compression == 0 && input.width > 0 && input.height > 0 &&
         DibPixelFormat(input.bitCount) != AV_PIX_FMT_NONE &&
         av_image_check_size(static_cast<unsigned>(input.width),
                             static_cast<unsigned>(input.height), 0, nullptr) == 0;
}

Result PackedFrameFormat(const BitmapInfoHeader& input) {
  if (IsPackedFrameFormat(input)) return Result::Ok();
  return Result::Failed(
      "frames of " + std::to_string(input.width) + " x " + std::to_string(input.height) +
      " pixels at " + std::to_string(input.bitCount) + " bits per pixel, compression " +
      std::to_string(input.compression) + ", are not uncompressed pictures the encoders take");
}

DibFrameConverter::~DibFrameConverter() {
  Reset();
}

void DibFrameConverter::Reset() {
  sws_freeContext(widener_);
  sws_freeContext(scaler_);
  widener_ = nullptr;
  scaler_ = nullptr;
  widened_.clear();
  toYuv420_ = false;
}

bool DibFrameConverter::CanConvert(int bitsPerPixel, AVPixelFormat target) {
  const AVPixelFormat source = DibPixelFormat(bitsPerPixel);
  if (source == AV_PIX_FMT_NONE) return false;
  return source == target || (sws_isSupportedInput(source) && sws_isSupportedOutput(target));
}

bool DibFrameConverter::Setup(int width, int height, int bitsPerPixel,
                              std::span<const RgbQuad> colours, AVPixelFormat target,
                              bool fullRangeYuv) {
  Reset();
  if (!CanConvert(bitsPerPixel, target) || width <= 0 || height <= 0) return false;
  source_ = DibPixelFormat(bitsPerPixel);
  target_ = target;
  width_ = width;
  height_ = height;
  rowBytes_ = DibRowBytes(width, bitsPerPixel);

  palette_.fill(0xFF000000u);
  const std::size_t count = std::min(colours.size(), palette_.size());
  for (std::size_t i = 0; i < count; ++i) {
    palette_[i] = 0xFF000000u | std::uint32_t{colours[i].red} << 16 |
                  std::uint32_t{colours[i].green} << 8 | colours[i].blue;
  }
  if (source_ == target) return true;

  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  AVPixelFormat scaled = source_;
  if ((source_ == AV_PIX_FMT_RGB555LE || source_ == AV_PIX_FMT_PAL8) && !IsPackedRgb(target)) {
    // libswscale converts palette and 5-bit pixels exactly only into packed RGB: into planar
    // RGB or YUV it shifts 5-bit channels (white turns grey) and takes palette colours through
    // a rounded YUV table. So these pixels are widened to 32 bits first.
    widener_ = sws_getContext(width, height, source_, width, height, AV_PIX_FMT_BGR0, kScaleFlags,
                              nullptr, nullptr, nullptr);
    if (!widener_) return false;
    widened_.resize(4 * pixels);
    scaled = AV_PIX_FMT_BGR0;
  }
  if (target == AV_PIX_FMT_YUV420P) {
    // Converted here: libswscale's own subsampling resamples odd sizes with a slightly wrong
    // ratio, which shifts colours by up to a pixel towards the far edges, and its exact path
    // (full-resolution chroma, then halved) costs several times as much.
    toYuv420_ = true;
    fullRangeYuv_ = fullRangeYuv;
    return true;
  }
  scaler_ = sws_getContext(width, height, scaled, width, height, target, kScaleFlags, nullptr,
                           nullptr, nullptr);
  if (!scaler_) return false;
  const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
  sws_setColorspaceDetails(scaler_, bt601, 1, bt601, fullRangeYuv ? 1 : 0, 0, 1 << 16, 1 << 16);
  return true;
}

void DibFrameConverter::Convert(const std::uint8_t* pixels, AVFrame& frame) {
  // Bottom-up rows: start at the last row in memory and step backwards.
  const std::uint8_t* source[4] = {pixels + rowBytes_ * static_cast<std::size_t>(height_ - 1),
                                   reinterpret_cast<const std::uint8_t*>(palette_.data()), nullptr,
                                   nullptr};
  int sourceStrides[4] = {-static_cast<int>(rowBytes_), 0, 0, 0};
  if (!scaler_ && !toYuv420_) {
    const int bytesPerRow = av_image_get_linesize(source_, width_, 0);
    av_image_copy_plane(frame.data[0], frame.linesize[0], source[0], sourceStrides[0], bytesPerRow,
                        height_);
    if (source_ == AV_PIX_FMT_PAL8) std::memcpy(frame.data[1], palette_.data(), 1024);
    return;
  }
  if (widener_) {
    std::uint8_t* widened[4] = {widened_.data(), nullptr, nullptr, nullptr};
    const int widenedStrides[4] = {4 * width_, 0, 0, 0};
    sws_scale(widener_, source, sourceStrides, 0, height_, widened, widenedStrides);
    source[0] = widened_.data();
    sourceStrides[0] = 4 * width_;
  }
  if (toYuv420_) {
    ConvertPicture(PictureRows{source[0], sourceStrides[0], source_ == AV_PIX_FMT_BGR24 ? 3 : 4},
                   frame);
    return;
  }
  sws_scale(scaler_, source, sourceStrides, 0, height_, frame.data, frame.linesize);
}

bool DibFrameConverter::ConvertsPictures() const {
  return (source_ == AV_PIX_FMT_BGR24 || source_ == AV_PIX_FMT_BGR0) &&
         (toYuv420_ || IsRgbLayout(target_));
}

void DibFrameConverter::ConvertPicture(const PictureRows& picture, AVFrame& frame) const {
  if (!toYuv420_) {
    RearrangeRgb(picture, width_, height_, frame);
    return;
  }
  const Yuv420Planes planes{frame.data[0],     frame.data[1],     frame.data[2],
                            frame.linesize[0], frame.linesize[1], frame.linesize[2]};
  ConvertToYuv420(picture.top, picture.stride, picture.bytesPerPixel, width_, height_,
                  fullRangeYuv_, planes);
}

}  // namespace orvenna
