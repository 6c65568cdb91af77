#pragma once

#include "platform/codec/CompressionManager.h"

namespace orvenna {

// The installed compressors of this system: the libavcodec encoders the linked library has,
// in a fixed order (MS Video 1, ZMBV, H.264, MPEG-4, Motion JPEG, FFV1, HuffYUV, Ut Video,
// Cinepak, PNG), then uncompressed frames. More drivers can be registered. Any thread.
class LibavCompressionManager : public CompressionManager {
 public:
  explicit LibavCompressionManager(Shell& shell);
};

}  // namespace orvenna
