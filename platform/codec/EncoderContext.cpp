#include "platform/codec/EncoderContext.h"

#include <algorithm>
#include <cmath>
#include <thread>

extern "C" {
#include <libavutil/opt.h>
}

namespace orvenna {
namespace {

// One tick a frame, at the rate the stream plays at: the container keeps the rate too, but an
// encoder that writes timing into its own stream (H.264) declares this one.
AVRational FrameDuration(const EncoderSettings& settings) {
  AVRational duration{1, 30};
  const auto limit = static_cast<std::int64_t>(INT32_MAX);
  if (settings.rate > 0 && settings.scale > 0)
    av_reduce(&duration.num, &duration.den, settings.scale, settings.rate, limit);
  return duration;
}

bool SetOptions(AVCodecContext& context, const std::vector<EncoderOption>& options) {
  for (const auto& option : options) {
    if (av_opt_set(&context, option.name.c_str(), option.value.c_str(), AV_OPT_SEARCH_CHILDREN) <
        0) {
      return false;
    }
  }
  return true;
}

bool SetQuality(AVCodecContext& context, const LibavDriverDescription& description,
                std::uint32_t quality) {
  const double value = QuantiserForQuality(quality, description.scale);
  switch (description.quality) {
    case QualityControl::kNone:
      return true;
    case QualityControl::kFixedQuantiser:
      context.flags |= AV_CODEC_FLAG_QSCALE;
      context.global_quality = static_cast<int>(std::lround(value * FF_QP2LAMBDA));
      return true;
    case QualityControl::kRateFactor:
      return av_opt_set_double(context.priv_data, "crf", value, 0) >= 0;
    case QualityControl::kFrameWeight:
      context.global_quality = static_cast<int>(std::lround(value * FF_LAMBDA_SCALE));
      return true;
  }
  return false;
}

void SetThreads(AVCodecContext& context, Threading threading) {
  switch (threading) {
    case Threading::kNone:
      context.thread_count = 1;
      break;
    case Threading::kSlices:
      context.thread_count = 0;  // one per core
      context.thread_type = FF_THREAD_SLICE;
      break;
    case Threading::kEncoder:
      context.thread_count = 0;
      break;
    case Threading::kFrames:
      // One frame per core in flight.
      context.thread_count =
          static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, kMaxHeldFrames));
      context.thread_type = FF_THREAD_FRAME;
      break;
  }
}

}  // namespace

CodecContextPtr OpenEncoderContext(const AVCodec& codec, const LibavDriverDescription& description,
                                   const ConfigureChoice* choice, int width, int height,
                                   AVPixelFormat format, const EncoderSettings& settings) {
  CodecContextPtr context(avcodec_alloc_context3(&codec));
  if (!context) return nullptr;
  context->width = width;
  context->height = height;
  context->pix_fmt = format;
  context->time_base = FrameDuration(settings);
  context->framerate = av_inv_q(context->time_base);
  context->max_b_frames = 0;
  if (description.fullRangeYuv) context->color_range = AVCOL_RANGE_JPEG;
  if (format == AV_PIX_FMT_YUV420P) {
    // Say which matrix the converter used, so players do not guess by picture size.
    context->colorspace = AVCOL_SPC_SMPTE170M;
    if (!description.fullRangeYuv) context->color_range = AVCOL_RANGE_MPEG;
  }
  if (settings.keyFrameEvery > 0) {
    // Some encoders take the interval from the one field, some from the other.
    const int interval = static_cast<int>(std::min<std::uint32_t>(settings.keyFrameEvery, 1 << 20));
    context->gop_size = interval;
    context->keyint_min = interval;
  }
  SetThreads(*context, description.threading);
  if (!SetOptions(*context, description.options) ||
      (choice && !SetOptions(*context, choice->options)) ||
      !SetQuality(*context, description, settings.quality)) {
    return nullptr;
  }
  if (avcodec_open2(context.get(), &codec, nullptr) < 0) return nullptr;
  return context;
}

int FrameQuality(const AVCodecContext& context, const LibavDriverDescription& description) {
  const bool perFrame = description.quality == QualityControl::kFixedQuantiser ||
                        description.quality == QualityControl::kFrameWeight;
  return perFrame ? context.global_quality : 0;
}

}  // namespace orvenna
