#pragma once

#include <memory>

#include "platform/VideoCompression.h"
#include "platform/codec/LibavDriverDescription.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace orvenna {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

// Opens `codec` for `width` x `height` frames in `format`, configured as `description` says
// with the dialog's `choice` (may be null) and the recording's `settings`: quality on the
// encoder's own scale, the key-frame interval as the group of pictures, no B-frames, and the
// description's threading. Null when the encoder refuses. Any thread.
CodecContextPtr OpenEncoderContext(const AVCodec& codec, const LibavDriverDescription& description,
                                   const ConfigureChoice* choice, int width, int height,
                                   AVPixelFormat format, const EncoderSettings& settings);

// The quality each frame must carry for encoders that take it per frame; 0 for the others.
int FrameQuality(const AVCodecContext& context, const LibavDriverDescription& description);

}  // namespace orvenna
