#pragma once

#include "platform/codec/CompressionManager.h"

namespace orvenna {

// The installed compressors of this system in a fixed order: H.264, then MS Video 1 and ZMBV
// (our own coders), then the other libavcodec encoders the linked library has (MPEG-4,
// Motion JPEG, FFV1, HuffYUV, Ut Video, Cinepak, PNG), then uncompressed frames. More drivers can
// be registered. Any thread.
class LibavCompressionManager : public CompressionManager {
 public:
  explicit LibavCompressionManager(Shell& shell);
};

}  // namespace orvenna
