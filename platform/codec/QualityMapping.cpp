#include "platform/codec/QualityMapping.h"

#include <algorithm>

#include "platform/RecordingDefaults.h"

namespace orvenna {

double QuantiserForQuality(std::uint32_t quality, const QuantiserScale& scale) {
  constexpr double kDefault = kFrontEndDefaults.compressionQuality;
  constexpr double kTop = 10000;
  const double q = std::min<double>(quality, kTop);
  if (q <= kDefault) return scale.worst + (scale.good - scale.worst) * (q / kDefault);
  return scale.good + (scale.best - scale.good) * ((q - kDefault) / (kTop - kDefault));
}

}  // namespace orvenna
