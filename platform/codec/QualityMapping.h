#pragma once

#include <cstdint>

namespace orvenna {

// An encoder's quantiser scale, smaller values giving better pictures.
struct QuantiserScale {
  double worst;  // at quality 0
  double good;   // at the front end's default quality (RecordingDefaults)
  double best;   // at quality 10000
};

// Maps quality 0..10000 (larger is better; larger values count as 10000) onto `scale`,
// piecewise linear through the three anchors. The middle anchor sits at the default so that
// a recording at the default quality gets the value the encoder's own users call good, and
// the upper quarter of the range spreads over the fine steps near the best value.
double QuantiserForQuality(std::uint32_t quality, const QuantiserScale& scale);

// The scales of the encoders:
// - MPEG-4 part 2 and Motion JPEG: the fixed quantiser 31..2, 3 at the default (about what
//   "-q:v 3" gives elsewhere); 2 is the encoders' own lower bound.
constexpr QuantiserScale kMpegQuantiser{31, 3, 2};
// - H.264: the constant rate factor 51..1, 18 at the default (near visually lossless); 0 is
//   left out because it switches to a lossless profile that few players decode.
constexpr QuantiserScale kH264RateFactor{51, 18, 1};
// - Cinepak: the rate-distortion weight in quantiser units, 2 (the encoder's own default)
//   at the default quality.
constexpr QuantiserScale kCinepakWeight{12, 2, 0.5};
// - MS Video 1: the squared error a block may gain per byte it saves, 0 at the best quality
//   (every block coded with the least error).
constexpr QuantiserScale kMsVideo1BytePenalty{25600, 800, 0};

}  // namespace orvenna
